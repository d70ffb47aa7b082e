#include "platform/TerminalEmulator.h"

#include <gtest/gtest.h>

namespace {

using Platform::TerminalEmulator;
using Args = std::vector<std::string>;

const TerminalEmulator& named(const std::string& program) {
    for (const auto& terminal : TerminalEmulator::known())
        if (terminal.program() == program)
            return terminal;
    throw std::runtime_error("unknown terminal " + program);
}

// Each emulator gets the command after the option it reads it from, every
// argument still whole; Debian's choice of the user's terminal comes first.
TEST(TerminalEmulator, CommandLines) {
    const Args command{"/usr/bin/vim", "my file.txt", "-c", "set nu"};
    struct Case {
        const char* program;
        Args before;
    };
    const Case cases[] = {
        {"x-terminal-emulator", {"-e"}}, {"gnome-terminal", {"--"}}, {"konsole", {"-e"}},
        {"xfce4-terminal", {"-x"}},      {"mate-terminal", {"-x"}},  {"xterm", {"-e"}},
    };
    for (const auto& c : cases) {
        Args expected{std::string("/bin/") + c.program};
        expected.insert(expected.end(), c.before.begin(), c.before.end());
        expected.insert(expected.end(), command.begin(), command.end());
        EXPECT_EQ(named(c.program).commandLine(expected.front(), command), expected) << c.program;
    }
    EXPECT_EQ(TerminalEmulator::known().front().program(), "x-terminal-emulator");
}

} // namespace
