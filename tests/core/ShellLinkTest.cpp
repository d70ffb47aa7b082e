#include "core/ShellLink.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path program = bin.write("editor", "#!/bin/sh\n");
        fs::permissions(program, fs::perms::owner_all);
        env.set("PATH", bin.str()).set("QV_APPS", "/opt/apps");
    }

    Sys::ShellLink load(const std::string& name, const std::string& content) {
        Sys::ShellLink link;
        Sys::loadShellLink(link, wide(dir.write(name, content)));
        return link;
    }

    qvtest::TempDir dir, bin;
    qvtest::ScopedEnv env;
};

TEST_F(ShellLinkTest, ApplicationEntry) {
    Sys::ShellLink link = load("editor.desktop", "# comment\n"
                                                 "[Desktop Entry]\n"
                                                 "Type=Application\n"
                                                 "Name=Editor\n"
                                                 "Comment=Edits\\stext\n"
                                                 "Comment[de]=Bearbeitet Text\n"
                                                 "Exec=editor --title \"My Files\" %F --x=%%U %i\n"
                                                 "Path=%QV_APPS%/work\n"
                                                 "Icon=%QV_APPS%/editor.png\n"
                                                 "[Desktop Action New]\n"
                                                 "Exec=other\n");
    EXPECT_TRUE(link.loaded());
    EXPECT_EQ(link.target(), wide(bin.path() / "editor"));
    EXPECT_EQ(Sys::resolveMsiShortcut(link), link.target());
    EXPECT_EQ(link.arguments(), L"--title \"My Files\" --x=%U");
    EXPECT_EQ(link.workingDirectory(), L"/opt/apps/work");
    EXPECT_EQ(link.description(), L"Edits text");
    EXPECT_EQ(link.iconPath(), L"/opt/apps/editor.png");
    EXPECT_EQ(link.iconIndex(), 0);
}

TEST_F(ShellLinkTest, TargetIsExpandedArgumentsAreNot) {
    Sys::ShellLink link =
        load("a.desktop", "[Desktop Entry]\nExec=%QV_APPS%/tool.sh %QV_APPS% \"\"\n");
    EXPECT_EQ(link.target(), L"/opt/apps/tool.sh");
    EXPECT_EQ(link.arguments(), L"%QV_APPS% \"\"");

    Sys::ShellLink unresolved = load("b.desktop", "[Desktop Entry]\nExec=not-installed -v\n");
    EXPECT_EQ(unresolved.target(), L"not-installed");
    EXPECT_EQ(unresolved.arguments(), L"-v");
}

TEST_F(ShellLinkTest, LinkEntryTargetsItsUrl) {
    Sys::ShellLink link = load("site.desktop", "[Desktop Entry]\nType=Link\n"
                                               "URL=https://example.org/a b\nIcon=web\n");
    EXPECT_EQ(link.target(), L"https://example.org/a b");
    EXPECT_EQ(link.arguments(), L"");
    EXPECT_EQ(link.iconPath(), L"web");
}

TEST_F(ShellLinkTest, AnythingElseLoadsEmpty) {
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"plain.desktop", "Exec=editor\n"},
             {"other.desktop", "[Desktop Action x]\nExec=editor\n"},
             {"binary.lnk", std::string("L\0\0\0\x01\x14\x02\0", 8)},
             {"unterminated.desktop", "[Desktop Entry]\nExec=\"editor\nComment=c\n"}}) {
        Sys::ShellLink link = load(name, content);
        EXPECT_TRUE(link.target().empty()) << name;
        EXPECT_TRUE(link.arguments().empty()) << name;
    }
    Sys::ShellLink missing;
    Sys::loadShellLink(missing, wide(dir.path() / "missing.desktop"));
    EXPECT_FALSE(missing.loaded());
    EXPECT_TRUE(missing.path().empty());

    Sys::ShellLink link = load("x.desktop", "[Desktop Entry]\nExec=editor\n");
    link.clear();
    EXPECT_FALSE(link.loaded());
    EXPECT_TRUE(link.target().empty());
}

} // namespace
