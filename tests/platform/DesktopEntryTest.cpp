#include "platform/DesktopEntry.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

using Platform::DesktopEntry;
using Args = std::vector<std::string>;

TEST(DesktopEntry, SplitExec) {
    struct Case {
        const char* exec;
        std::optional<Args> args;
    };
    const Case cases[] = {
        {"prog %U", Args{"prog", "%U"}},
        {"  prog   a  ", Args{"prog", "a"}},
        {"\"/opt/My App/run\" --x=\"a b\"", Args{"/opt/My App/run", "--x=a b"}},
        {"sh -c \"echo \\\"hi\\\" \\$HOME \\\\ \\`x\\`\"",
         Args{"sh", "-c", "echo \"hi\" $HOME \\ `x`"}},
        {"prog \"\"", Args{"prog", ""}},
        {"prog --flag=%%", Args{"prog", "--flag=%%"}},
        {"prog \"unterminated", std::nullopt},
        {"", Args{}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopEntry::splitExec(c.exec), c.args) << c.exec;
}

TEST(DesktopEntry, ExecArgumentsReplaceFieldCodes) {
    qvtest::TempDir dir;
    DesktopEntry entry;
    ASSERT_TRUE(entry.load(
        dir.write("a.desktop", "[Desktop Entry]\nExec=app %U --in=%f 100%% %i %c %k %HOME% \"\"\n")
            .string()));
    EXPECT_EQ(entry.execArguments("%1"), (Args{"app", "%1", "--in=%1", "100%", "%HOME%", ""}));
    EXPECT_EQ(entry.execArguments(""), (Args{"app", "--in=", "100%", "%HOME%", ""}));
    ASSERT_TRUE(entry.load(dir.write("b.desktop", "[Desktop Entry]\nExec=\"app\n").string()));
    EXPECT_TRUE(entry.execArguments("%1").empty());
}

TEST(DesktopEntry, ReadsTheMainGroupOnly) {
    qvtest::TempDir dir;
    auto path = dir.write("a.desktop", "[Desktop Action x]\nExec=early\n"
                                       "[Desktop Entry]\n"
                                       "Name = Spaced  \n"
                                       "Name[fr]=Localised\n"
                                       "Comment=tab\\there\\nline\\\\ and \\s space\\q\n"
                                       "# Exec=commented\n"
                                       "Exec=main\n"
                                       "[Other]\nExec=late\n");
    DesktopEntry entry;
    ASSERT_TRUE(entry.load(path.string()));
    EXPECT_EQ(entry.value("Exec"), "main");
    EXPECT_EQ(entry.value("Name"), "Spaced");
    EXPECT_EQ(entry.value("Comment"), "tab\there\nline\\ and   space\\q");
    EXPECT_FALSE(entry.has("Icon"));
    EXPECT_EQ(entry.value("Icon"), "");

    EXPECT_FALSE(entry.load(dir.write("b.desktop", "Exec=x\n").string()));
    EXPECT_FALSE(entry.has("Exec"));
    EXPECT_FALSE(entry.load((dir.path() / "missing").string()));
}

} // namespace
