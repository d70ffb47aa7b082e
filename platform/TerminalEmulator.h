#pragma once

#include <string>
#include <vector>

namespace Platform {

// A terminal emulator that can run a given command line.
// Stateless: any thread.
class TerminalEmulator {
public:
    TerminalEmulator(std::string program, std::vector<std::string> beforeCommand)
        : program_(std::move(program)), beforeCommand_(std::move(beforeCommand)) {}

    // The emulators tried for a desktop entry that wants a terminal, in
    // order: Debian's choice of the user's terminal (x-terminal-emulator),
    // then those of the common desktops, then xterm.
    static const std::vector<TerminalEmulator>& known();

    // The program's name, to be found in PATH.
    const std::string& program() const { return program_; }

    // The command line that opens the emulator `found` (its path) running
    // `command`, which stays whole: each of its arguments stays one.
    std::vector<std::string> commandLine(const std::string& found,
                                         const std::vector<std::string>& command) const;

private:
    std::string program_;
    std::vector<std::string> beforeCommand_; // the option(s) after which the command follows
};

} // namespace Platform
