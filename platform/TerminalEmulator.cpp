#include "platform/TerminalEmulator.h"

namespace Platform {

const std::vector<TerminalEmulator>& TerminalEmulator::known() {
    // Each takes the command as separate arguments after its option:
    // "-e" of xterm (and of x-terminal-emulator, which Debian requires to
    // behave so), "--" of gnome-terminal, "-x" of the xfce and MATE ones.
    static const std::vector<TerminalEmulator> emulators{
        {"x-terminal-emulator", {"-e"}}, {"gnome-terminal", {"--"}}, {"konsole", {"-e"}},
        {"xfce4-terminal", {"-x"}},      {"mate-terminal", {"-x"}},  {"xterm", {"-e"}},
    };
    return emulators;
}

std::vector<std::string>
TerminalEmulator::commandLine(const std::string& found,
                              const std::vector<std::string>& command) const {
    std::vector<std::string> line{found};
    line.insert(line.end(), beforeCommand_.begin(), beforeCommand_.end());
    line.insert(line.end(), command.begin(), command.end());
    return line;
}

} // namespace Platform
