#include "platform/DesktopEntry.h"

#include <algorithm>
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

// What the user typed after an application is the files of its Exec line.
TEST(DesktopEntry, CommandsTakeTheFiles) {
    using Commands = std::vector<Args>;
    struct Case {
        const char* name;
        const char* exec;
        Args files;
        Commands commands;
    };
    const Case cases[] = {
        {"list code", "app %U", {"a b", "c"}, {{"app", "a b", "c"}}},
        {"list code without files", "app %F --end", {}, {{"app", "--end"}}},
        {"no file code appends", "app -x", {"a", "b"}, {{"app", "-x", "a", "b"}}},
        {"quoted program", "\"/opt/My App/run\" %f", {"x"}, {{"/opt/My App/run", "x"}}},
        {"escapes in quotes",
         "sh -c \"echo \\\\$1 \\\"q\\\"\" %f",
         {"x"},
         {{"sh", "-c", "echo $1 \"q\"", "x"}}},
        {"percent", "app 100%% %%f", {"x"}, {{"app", "100%", "%f", "x"}}},
        {"code inside a word", "app --file=%f", {"x"}, {{"app", "--file=x"}}},
        {"code inside a word without files", "app --file=%f", {}, {{"app", "--file="}}},
        {"single code runs once per file",
         "app --file=%u %f",
         {"a", "b"},
         {{"app", "--file=a", "a"}, {"app", "--file=b", "b"}}},
        {"list code inside a word is one file",
         "app --all=%U",
         {"a", "b"},
         {{"app", "--all=a"}, {"app", "--all=b"}}},
        {"icon name entry",
         "app %i %c %k %d %D %n %N %v %m",
         {},
         {{"app", "--icon", "app-icon", "App Name", "@ENTRY@"}}},
        {"unknown code stays", "app %z %", {}, {{"app", "%z", "%"}}},
        {"file code alone without files", "%f", {}, {}},
        {"list code alone without files", "%U", {}, {}},
        {"unterminated quote", "app \"x", {"a"}, {}},
        {"empty", "", {"a"}, {}},
    };
    qvtest::TempDir dir;
    for (const auto& c : cases) {
        const auto path = dir.write("a.desktop", std::string("[Desktop Entry]\nName=App Name\n"
                                                             "Icon=app-icon\nExec=") +
                                                     c.exec + "\n");
        DesktopEntry entry;
        ASSERT_TRUE(entry.load(path.string()));
        Commands expected = c.commands;
        for (auto& command : expected)
            std::replace(command.begin(), command.end(), std::string("@ENTRY@"), path.string());
        EXPECT_EQ(entry.commands(c.files), expected) << c.name;
    }
}

TEST(DesktopEntry, NoIconNoIconOption) {
    qvtest::TempDir dir;
    DesktopEntry entry;
    ASSERT_TRUE(entry.load(dir.write("a.desktop", "[Desktop Entry]\nExec=app %i %c\n").string()));
    EXPECT_EQ(entry.commands({}), std::vector<Args>{{"app"}});
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
