#pragma once

#include <string>
#include <vector>

#include "core/Wstr.h"

namespace Sys {

// The command line that runs `command` in the first terminal emulator of
// Platform::TerminalEmulator::known() found in PATH. Empty when there is
// none, after logging an error naming `entry`, what asked for the terminal.
// Any thread.
std::vector<std::string> terminalCommand(const wstr& entry,
                                         const std::vector<std::string>& command);

} // namespace Sys
