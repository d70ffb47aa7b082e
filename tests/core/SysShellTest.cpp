#include "core/SysShell.h"

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/Error.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;
using qvtest::waitFor;
using Lines = std::vector<std::string>;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

// Records its folder and its arguments, one a line, in $QV_MARKER (written
// beside and renamed, so the file appears complete), and whether descriptor
// 200 was inherited.
const char* const kMarkerScript = "#!/bin/sh\n"
                                  "{ pwd; echo \"$(basename \"$0\")\";"
                                  " if [ -e /proc/$$/fd/200 ]; then echo fd200; fi;"
                                  " for a in \"$@\"; do printf '%s\\n' \"$a\"; done; }"
                                  " > \"$QV_MARKER.tmp\" && mv \"$QV_MARKER.tmp\" \"$QV_MARKER\"\n";

Lines readLines(const fs::path& file) {
    std::ifstream in(file);
    Lines lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Our children that have ended but were not reaped.
int zombieChildren() {
    int zombies = 0;
    std::string self = std::to_string(getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        if (!std::getline(in, stat))
            continue;
        size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state, ppid;
        fields >> state >> ppid;
        zombies += state == "Z" && ppid == self;
    }
    return zombies;
}

class ShellExecute : public ::testing::Test {
protected:
    void SetUp() override {
        script("tool");
        script("xdg-open");
        fs::create_directories(work.path() / "sub folder");
        env.set("PATH", bin.str() + ":/usr/bin:/bin")
            .set("QV_MARKER", marker().string())
            .unset("VISUAL")
            .unset("EDITOR");
    }

    fs::path script(const std::string& name) {
        fs::path file = bin.write(name, kMarkerScript);
        fs::permissions(file, fs::perms::owner_all);
        return file;
    }
    fs::path marker() const { return out.path() / "marker"; }

    // The marker's lines once it has appeared.
    Lines run() {
        EXPECT_TRUE(waitFor([&] { return fs::exists(marker()); })) << "no marker";
        Lines lines = readLines(marker());
        fs::remove(marker());
        return lines;
    }

    qvtest::TempDir bin, work, out;
    qvtest::ScopedEnv env;
};

TEST_F(ShellExecute, RunsAProgramWithSplitParametersInItsFolder) {
    wstr folder = wide(work.path() / "sub folder");
    ASSERT_EQ(Sys::shellExecute(wide(bin.path() / "tool"), L"one \"two words\" a\\\\\"b c\"", L"",
                                folder),
              0u);
    EXPECT_EQ(run(),
              (Lines{(work.path() / "sub folder").string(), "tool", "one", "two words", "a\\b c"}));
    EXPECT_EQ(Platform::lastError(), 0u);
}

TEST_F(ShellExecute, BareNamesAreFoundInPath) {
    ASSERT_EQ(Sys::shellExecute(L"tool", L"x", L"open"), 0u);
    Lines lines = run();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], fs::current_path().string());
    EXPECT_EQ(lines[2], "x");
}

// Started from a folder holding programs named like those of PATH (or like
// none), a bare name never runs the folder's own, even with "." in PATH.
TEST_F(ShellExecute, BareNamesAreNeverTakenFromTheCurrentFolder) {
    qvtest::TempDir here;
    for (const char* name : {"tool", "only-here", "notes.txt"}) {
        const fs::path planted = here.write(name, "#!/bin/sh\necho planted > \"$QV_MARKER\"\n");
        fs::permissions(planted, fs::perms::owner_all);
    }
    const fs::path saved = fs::current_path();
    fs::current_path(here.path());
    env.set("PATH", ".:" + bin.str() + ":/usr/bin:/bin");
    const uint32_t onPath = Sys::shellExecute(L"tool");
    const uint32_t onlyHere = Sys::shellExecute(L"only-here");
    const uint32_t document = Sys::shellExecute(L"notes.txt");
    fs::current_path(saved);
    EXPECT_EQ(onPath, 0u);
    EXPECT_EQ(run(), (Lines{here.str(), "tool"})) << "PATH's program, not the planted one";
    EXPECT_EQ(onlyHere, Platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(document, Platform::ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(marker()));
}

TEST_F(ShellExecute, DocumentsFoldersAndUrlsGoToXdgOpen) {
    fs::path document = work.write("notes.txt", "text");
    const std::vector<wstr> targets = {wide(document), wide(work.path()),
                                       L"https://example.org/?q=a b",
                                       L"mailto:someone@example.org"};
    for (const auto& target : targets) {
        ASSERT_EQ(Sys::shellExecute(target, L"ignored", L"open"), 0u);
        EXPECT_EQ(run(), (Lines{fs::current_path().string(), "xdg-open", wstr::toUtf8(target)}));
    }
    ASSERT_EQ(Sys::shellExecute(wide(work.path()), L"", L"explore"), 0u);
    EXPECT_EQ(run().back(), work.str());
}

// Media without permissions mark every file executable: only a real
// program (ELF or "#!") is run, anything else is opened.
TEST_F(ShellExecute, ExecutableDocumentsAreOpenedNotRun) {
    for (const char* content : {"%PDF-1.4 report", "#", ""}) {
        fs::path document = work.write("report.pdf", content);
        fs::permissions(document, fs::perms::owner_all);
        ASSERT_EQ(Sys::shellExecute(wide(document), L"", L"open"), 0u) << content;
        EXPECT_EQ(run(), (Lines{fs::current_path().string(), "xdg-open", document.string()}))
            << content;
    }
}

TEST_F(ShellExecute, EditUsesVisualThenEditor) {
    fs::path document = work.write("config.ini", "[x]");
    script("my-editor");
    env.set("EDITOR", "my-editor --wait");
    ASSERT_EQ(Sys::shellExecute(wide(document), L"", L"edit"), 0u);
    EXPECT_EQ(run(),
              (Lines{fs::current_path().string(), "my-editor", "--wait", document.string()}));

    env.set("VISUAL", "tool");
    ASSERT_EQ(Sys::shellExecute(wide(document), L"", L"EDIT"), 0u);
    EXPECT_EQ(run(), (Lines{fs::current_path().string(), "tool", document.string()}));

    env.unset("VISUAL").unset("EDITOR");
    ASSERT_EQ(Sys::shellExecute(wide(document), L"", L"edit"), 0u);
    EXPECT_EQ(run(), (Lines{fs::current_path().string(), "xdg-open", document.string()}));
}

TEST_F(ShellExecute, DesktopEntriesRunTheirProgram) {
    fs::path entry = work.write("tool.desktop", "[Desktop Entry]\nType=Application\n"
                                                "Exec=tool --from-entry %U\nPath=" +
                                                    work.str() + "\n");
    fs::permissions(entry, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Sys::shellExecute(wide(entry), L"extra", L""), 0u);
    EXPECT_EQ(run(), (Lines{work.str(), "tool", "--from-entry", "extra"}));

    fs::path url =
        work.write("site.desktop", "[Desktop Entry]\nType=Link\nURL=https://example.org\n");
    fs::permissions(url, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Sys::shellExecute(wide(url)), 0u);
    EXPECT_EQ(run().back(), "https://example.org");
}

// A downloaded entry is not run: only one the user made executable or one in
// an applications folder of the XDG data folders (subfolders included) is.
TEST_F(ShellExecute, OnlyTrustedDesktopEntriesRun) {
    qvtest::TempDir data, system;
    env.set("XDG_DATA_HOME", data.str()).set("XDG_DATA_DIRS", "/nowhere:" + system.str());
    struct Row {
        const char* name;
        fs::path entry;
        fs::perms mode;
        bool runs;
    };
    const fs::perms plain = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read;
    const Row rows[] = {
        {"0644 among downloads", work.path() / "report.pdf.desktop", plain, false},
        {"0644 beside an applications folder", data.path() / "applicationsX/a.desktop", plain,
         false},
        {"0644 climbing out of one", data.path() / "applications/../b.desktop", plain, false},
        {"0744 among downloads", work.path() / "tool.desktop", plain | fs::perms::owner_exec, true},
        {"0644 in the user's applications", data.path() / "applications/c.desktop", plain, true},
        {"0644 below a system one", system.path() / "applications/sub/d.desktop", plain, true},
    };
    fs::create_directories(data.path() / "applications");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::create_directories(row.entry.lexically_normal().parent_path());
        std::ofstream(row.entry.lexically_normal())
            << "[Desktop Entry]\nType=Application\nExec=tool ran \"" << row.name << "\"\n";
        fs::permissions(row.entry.lexically_normal(), row.mode);
        if (!row.runs) {
            EXPECT_EQ(Sys::shellExecute(wide(row.entry)), Platform::ERROR_ACCESS_DENIED);
            continue;
        }
        ASSERT_EQ(Sys::shellExecute(wide(row.entry)), 0u);
        EXPECT_EQ(run(), (Lines{fs::current_path().string(), "tool", "ran", row.name}));
    }
    EXPECT_FALSE(fs::exists(marker())) << "a refused entry ran after all";
}

// Typed parameters are the files of the Exec line, each argument kept whole.
TEST_F(ShellExecute, DesktopEntriesTakeParametersAsTheirFiles) {
    fs::path entry = work.write("tool.desktop", "[Desktop Entry]\nType=Application\n"
                                                "Exec=\"tool\" --in=%f \"a \\\\\\\\ b\" 5%%\n");
    fs::permissions(entry, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Sys::shellExecute(wide(entry), L"\"my file\"", L""), 0u);
    EXPECT_EQ(run(), (Lines{fs::current_path().string(), "tool", "--in=my file", "a \\ b", "5%"}));

    // Field codes alone name no program without files: the entry is opened
    // as a document instead.
    fs::path bare = work.write("bare.desktop", "[Desktop Entry]\nType=Application\nExec=%U\n");
    fs::permissions(bare, fs::perms::owner_exec, fs::perm_options::add);
    ASSERT_EQ(Sys::shellExecute(wide(bare)), 0u);
    EXPECT_EQ(run(), (Lines{fs::current_path().string(), "xdg-open", bare.string()}));
}

// Terminal=true: the program runs in the first terminal emulator found.
TEST_F(ShellExecute, TerminalEntriesRunInATerminal) {
    fs::path entry = work.write("vi.desktop", "[Desktop Entry]\nType=Application\nTerminal=true\n"
                                              "Exec=tool %F\nPath=" +
                                                  work.str() + "\n");
    fs::permissions(entry, fs::perms::owner_exec, fs::perm_options::add);
    script("xterm");
    ASSERT_EQ(Sys::shellExecute(wide(entry), L"\"a b\" c"), 0u);
    const std::string tool = (bin.path() / "tool").string();
    EXPECT_EQ(run(), (Lines{work.str(), "xterm", "-e", tool, "a b", "c"}));
    script("x-terminal-emulator");
    ASSERT_EQ(Sys::shellExecute(wide(entry), L"c"), 0u);
    EXPECT_EQ(run(), (Lines{work.str(), "x-terminal-emulator", "-e", tool, "c"}));

    // None: an error in the log names the entry, and nothing runs.
    env.set("PATH", bin.str());
    fs::remove(bin.path() / "xterm");
    fs::remove(bin.path() / "x-terminal-emulator");
    qvtest::LogRecords log;
    EXPECT_EQ(Sys::shellExecute(wide(entry), L"c"), Platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        log.matching(Logger::Error, L"No terminal emulator found to run " + wide(entry) +
                                        L" (tried x-terminal-emulator, gnome-terminal, konsole, "
                                        L"xfce4-terminal, mate-terminal, xterm)")
            .size(),
        1u);
    EXPECT_FALSE(fs::exists(marker()));
}

TEST_F(ShellExecute, ChildrenInheritNoDescriptorAndAreReaped) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0); // deliberately without close-on-exec
    ASSERT_EQ(dup2(pipeFds[0], 200), 200);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Sys::shellExecute(wide(bin.path() / "tool"), L"", L""), 0u);
        Lines lines = run();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "fd200"), 0);
    }
    close(200);
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_TRUE(waitFor([] { return zombieChildren() == 0; }));
}

TEST_F(ShellExecute, Failures) {
    fs::path program = bin.path() / "tool";
    struct Case {
        const char* name;
        wstr file;
        wstr verb;
        wstr folder;
        uint32_t error;
    };
    const Case cases[] = {
        {"runas", wide(program), L"runas", L"", Platform::ERROR_NOT_SUPPORTED},
        {"properties", wide(program), L"properties", L"", Platform::ERROR_NOT_SUPPORTED},
        {"missing file", wide(work.path() / "missing"), L"", L"", Platform::ERROR_FILE_NOT_FOUND},
        {"unknown bare name", L"no-such-program", L"", L"", Platform::ERROR_FILE_NOT_FOUND},
        {"empty file", L"", L"", L"", Platform::ERROR_FILE_NOT_FOUND},
        {"folder that is a file", wide(program), L"", wide(program), Platform::ERROR_DIRECTORY},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sys::shellExecute(c.file, L"", c.verb, c.folder), c.error) << c.name;
        EXPECT_EQ(Platform::lastError(), c.error) << c.name;
    }
    fs::remove(bin.path() / "xdg-open");
    env.set("PATH", bin.str());
    EXPECT_EQ(Sys::shellExecute(L"https://example.org"), Sys::ERROR_NO_ASSOCIATION);
    EXPECT_FALSE(fs::exists(marker()));
}

TEST(ParseIconLocation, Cases) {
    qvtest::ScopedEnv env;
    env.set("QV_ICONS", "/usr/share/qv");
    struct Case {
        const wchar_t* text;
        const wchar_t* path;
        int32_t index;
    };
    const Case cases[] = {
        {L"", L"", 0},
        {L"   @", L"", 0},
        {L"  @%QV_ICONS%/shell32.dll,-3", L"/usr/share/qv/shell32.dll", -3},
        {L"/icons/app.png", L"/icons/app.png", 0},
        {L"/icons/app.ico,2", L"/icons/app.ico", 2},
        {L"/icons/app.ico, 7 ", L"/icons/app.ico", 7},
        {L"imageres,dll", L"imageres.dll", 0},
        {L"control,CPL,4", L"control.CPL", 4},
        {L"/a,b/icon.png", L"/a,b/icon.png", 0},
        {L"/a/report, final.png", L"/a/report, final.png", 0},
        {L"/a/x,1,2", L"/a/x,1", 2},
    };
    for (const auto& c : cases) {
        Sys::IconLocation location = Sys::parseIconLocation(c.text);
        EXPECT_EQ(location.path, c.path) << c.text;
        EXPECT_EQ(location.index, c.index) << c.text;
    }
}

class UrlSchemeHandler : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"browser", "mailer"}) {
            fs::path program = root.write(std::string("bin/") + name, "#!/bin/sh\n");
            fs::permissions(program, fs::perms::owner_all);
        }
        env.set("PATH", (root.path() / "bin").string())
            .set("HOME", (root.path() / "home").string())
            .set("XDG_CONFIG_HOME", (root.path() / "config").string())
            .set("XDG_CONFIG_DIRS", (root.path() / "etc").string())
            .set("XDG_DATA_HOME", (root.path() / "data").string())
            .set("XDG_DATA_DIRS", (root.path() / "share").string())
            .unset("XDG_CURRENT_DESKTOP");
        root.write(
            "share/applications/browser.desktop",
            "[Desktop Entry]\nType=Application\nExec=browser --new-window %u\nIcon=web-browser\n");
        root.write("share/applications/mail.desktop",
                   "[Desktop Entry]\nType=Application\nExec=\"mailer\" --compose=%U %i %c\n");
        root.write("share/applications/broken.desktop",
                   "[Desktop Entry]\nType=Application\nExec=not-installed %u\n");
        root.write("share/applications/mimeapps.list",
                   "[Default Applications]\nx-scheme-handler/http=browser.desktop\n"
                   "x-scheme-handler/mailto=mail.desktop\n");
    }
    wstr program(const char* name) const { return wide(root.path() / "bin" / name); }

    qvtest::TempDir root;
    qvtest::ScopedEnv env;
};

TEST_F(UrlSchemeHandler, ReadsTheDefaultApplication) {
    wstr command, icon;
    ASSERT_TRUE(Sys::urlSchemeHandler(command, {L"http"}, &icon));
    EXPECT_EQ(command, program("browser") + L" --new-window %1");
    EXPECT_EQ(icon, L"web-browser");

    ASSERT_TRUE(Sys::urlSchemeHandler(command, {L"MAILTO"}, &icon));
    EXPECT_EQ(command, program("mailer") + L" --compose=%1");
    EXPECT_EQ(icon, L"@" + program("mailer") + L",0");
    EXPECT_TRUE(Sys::urlSchemeHandler(command, {L"mailto"}, nullptr));
}

TEST_F(UrlSchemeHandler, UserChoiceComesFirstAndMissingHandlersArePassedOver) {
    root.write("config/mimeapps.list",
               "[Added Associations]\nx-scheme-handler/http=mail.desktop\n"
               "[Default Applications]\n"
               "x-scheme-handler/http=gone.desktop;broken.desktop;mail.desktop\n");
    wstr command;
    ASSERT_TRUE(Sys::urlSchemeHandler(command, {L"http"}, nullptr));
    EXPECT_EQ(command, program("mailer") + L" --compose=%1");

    root.write("config/mimeapps.list",
               "[Default Applications]\nx-scheme-handler/ftp=broken.desktop\n");
    wstr icon = L"stale";
    ASSERT_TRUE(Sys::urlSchemeHandler(command, {L"ftp", L"gopher", L"http"}, &icon));
    EXPECT_EQ(command, program("browser") + L" --new-window %1");
    EXPECT_EQ(icon, L"web-browser");

    EXPECT_FALSE(Sys::urlSchemeHandler(command, {L"ftp", L"gopher"}, &icon));
    EXPECT_TRUE(command.empty());
    EXPECT_TRUE(icon.empty());
}

} // namespace
