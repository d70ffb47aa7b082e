#include "core/SysTerminal.h"

#include "core/Logger.h"
#include "core/SysEnv.h"
#include "platform/TerminalEmulator.h"

namespace Sys {

std::vector<std::string> terminalCommand(const wstr& entry,
                                         const std::vector<std::string>& command) {
    wstr tried;
    for (const auto& terminal : Platform::TerminalEmulator::known()) {
        const wstr name = wstr::fromUtf8(terminal.program().c_str());
        const wstr found = resolveExecutable(name, {}, {});
        if (!found.empty())
            return terminal.commandLine(wstr::toUtf8(found), command);
        tried += (tried.empty() ? L"" : L", ") + name;
    }
    wstr message;
    logMessage(
        Logger::Error,
        wstr::format(message, L"No terminal emulator found to run {} (tried {})", entry, tried));
    return {};
}

} // namespace Sys
