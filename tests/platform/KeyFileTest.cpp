#include "platform/KeyFile.h"

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace {

// What desktops write: CRLF line ends, tabs and spaces around keys and
// values, comments, lines outside any group, a key given twice.
TEST(KeyFile, ReadsGroupsWithoutTheBlanksAroundKeysAndValues) {
    qvtest::TempDir dir;
    const auto file = dir.write("settings.ini", "orphan=1\r\n"
                                                "# comment\r\n"
                                                "  [Settings]\t\r\n"
                                                "\tgtk-icon-theme-name =  Plain Colours \r\n"
                                                "empty=\r\n"
                                                "  \r\n"
                                                "gtk-icon-theme-name=Later\n"
                                                "[Icon Theme]\n"
                                                "Directories = 32x32/apps, 48x48/apps\n");
    const auto groups = Platform::readKeyFile(file.string());
    const std::map<std::string, Platform::KeyFileGroup> expected{
        {"Settings", {{"gtk-icon-theme-name", "Later"}, {"empty", ""}}},
        {"Icon Theme", {{"Directories", "32x32/apps, 48x48/apps"}}},
    };
    EXPECT_EQ(groups, expected);
    EXPECT_TRUE(Platform::readKeyFile((dir.path() / "missing").string()).empty());
}

} // namespace
