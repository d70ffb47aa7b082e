// The program's commands that open something outside it (the change log, the
// documentation, the web site, the profile folder, the configuration), from
// the tray menu and from the LaunchBox of the running program: they open
// with the configured program or the desktop's opener, and where neither
// exists they say in the log what to install or set, and count no hit.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace qvtest::e2e;

namespace {

// The log's error records that hold the text.
std::vector<std::string> errorRecords(const fs::path& log, const std::string& text) {
    std::vector<std::string> found;
    std::istringstream lines(readText(log));
    for (std::string line; std::getline(lines, line);)
        if (line.find(" [E] ") != std::string::npos && line.find(text) != std::string::npos)
            found.push_back(line);
    return found;
}

// The program with a PATH of one private folder (no desktop opener unless a
// test puts one there), no editor variables and no desktop applications.
class OpenCommandsOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        user.env["QT_QPA_PLATFORM"] = "xcb";
        user.env["PATH"] = bin.string();
        user.env["XDG_DATA_DIRS"] = (user.dir.path() / "sys").string();
        user.env.erase("VISUAL");
        user.env.erase("EDITOR");
        fs::create_directories(bin);
        fs::create_directories(user.config / "Quorvalent/User");
    }

    void start() {
        program = std::make_unique<Program>(std::vector<std::string>{}, user.env, user.output);
        ASSERT_TRUE(program->started());
        ASSERT_TRUE(waitForText(user.log, "] Init done in ")) << readText(user.output);
        ASSERT_TRUE(waitForText(user.log, "Plugin loaded: Internal.About")) << readText(user.log);
    }

    // A program that appends its arguments to a record file.
    fs::path recorder(const std::string& name) {
        const fs::path script = bin / name;
        std::ofstream(script) << "#!/bin/sh\necho \"$@\" >> '" << records.string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    size_t recorded(const std::string& text) {
        std::istringstream lines(readText(records));
        size_t n = 0;
        for (std::string line; std::getline(lines, line);)
            n += line == text;
        return n;
    }

    // Opens the LaunchBox, types the command's label and presses Enter; a
    // command that runs hides the box, one that cannot leaves it open.
    void execute(const std::string& label, bool runs = true) {
        ASSERT_NO_FATAL_FAILURE(enterInLaunchBox(user, box, label));
        if (runs) {
            ASSERT_TRUE(waitMapped(box, false)) << readText(user.log);
        }
    }

    std::string history() {
        const fs::path file = findFile(user.config, ".history");
        return file.empty() ? std::string() : readText(file);
    }

    void exit() {
        Program exit({"--exit"}, user.env, user.output);
        EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
        EXPECT_EQ(program->exitCode(), std::optional<int>(0)) << readText(user.output);
    }

    UserTree user;
    const fs::path bin = user.dir.path() / "bin";
    const fs::path records = user.dir.path() / "records.txt";
    const std::string changeLog = std::string(QV_BUILD_DIR) + "/CHANGELOG.md";
    std::unique_ptr<Program> program;
    std::string box;
};

TEST_F(OpenCommandsOnDisplay, ShowChangeLogOpensTheInstalledChangeLog) {
    ASSERT_TRUE(fs::is_regular_file(changeLog)) << "the build installs it";
    recorder("xdg-open");
    ASSERT_NO_FATAL_FAILURE(start());

    chooseFromTrayMenu("l");
    EXPECT_TRUE(waitFor([&] { return recorded(changeLog) == 1; })) << readText(user.log);
    ASSERT_NO_FATAL_FAILURE(execute("Quorvalent: ChangeLog"));
    EXPECT_TRUE(waitFor([&] { return recorded(changeLog) == 2; })) << readText(user.log);

    // The configured editor comes before the desktop's opener.
    const fs::path editor = recorder("my-editor");
    std::ofstream(user.config / "Quorvalent/User/Quorvalent.ini")
        << "[external]\nconfig_editor = \"" << editor.string() << "\" --read-only\n";
    ASSERT_TRUE(waitForText(user.log, "Application configuration has changed"));
    ASSERT_NO_FATAL_FAILURE(execute("Quorvalent: ChangeLog"));
    EXPECT_TRUE(waitFor([&] { return recorded("--read-only " + changeLog) == 1; }))
        << readText(user.log);
    chooseFromTrayMenu("l");
    EXPECT_TRUE(waitFor([&] { return recorded("--read-only " + changeLog) == 2; }))
        << readText(user.log);
    EXPECT_EQ(recorded(changeLog), 2u) << "the opener was not asked";
    EXPECT_TRUE(
        waitFor([&] { return history().find("Quorvalent: ChangeLog") != std::string::npos; }));
    EXPECT_TRUE(errorRecords(user.log, "").empty()) << readText(user.log);
    exit();
}

// Without xdg-open and without a configured program, each command gives one
// error record in words that name what to install or set, and none is a hit.
TEST_F(OpenCommandsOnDisplay, WithoutAnOpenerEachCommandSaysWhatToInstallOrSet) {
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string install = "No program to open it was found: install xdg-utils, which "
                                "provides the desktop's opener xdg-open. Or set ";
    struct Case {
        const char* typed;
        const char* command; // the item's target
        std::string opened;
        const char* setting;
    };
    const std::string profile = (user.config / "Quorvalent").string();
    const std::string docs = "https://quorvalent.org/docs/";
    // "Online Documentation" and "Online Help" are one item (one target).
    const Case cases[] = {
        {"Quorvalent: Browse Profile Dir", "browse_profiledir", profile, "file_explorer"},
        {"Quorvalent: Online", "onlinedocs", docs, "web_browser"},
        {"Quorvalent: Website", "website", docs, "web_browser"},
        {"Quorvalent: Configure", "app_config",
         (user.config / "Quorvalent/User/Quorvalent.ini").string(), "config_editor"},
        {"Quorvalent: ChangeLog", "changelog", changeLog, "config_editor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string record = "(" + std::string(c.command) + ") cannot run: ";
        ASSERT_NO_FATAL_FAILURE(execute(c.typed, false));
        ASSERT_TRUE(waitFor([&] { return !errorRecords(user.log, record).empty(); }))
            << readText(user.log);
        EXPECT_TRUE(isMapped(box)) << "the box stays open";
        const int tall = windowHeight(box);
        // Emptied, Esc closes it.
        ASSERT_TRUE(xdotool("key ctrl+a BackSpace"));
        ASSERT_TRUE(waitFor([&] { return windowHeight(box) < tall; }));
        ASSERT_TRUE(xdotool("key Escape"));
        ASSERT_TRUE(waitMapped(box, false));
        const auto found = errorRecords(user.log, record);
        ASSERT_EQ(found.size(), 1u) << readText(user.log);
        EXPECT_NE(found[0].find("cannot run: Cannot open \"" + c.opened + "\": " + install +
                                c.setting + " in the [external] section of your configuration."),
                  std::string::npos)
            << found[0];
    }
    // The tray menu's Show Change Log says the same, once.
    const std::string record = "] Cannot open \"" + changeLog + "\": " + install;
    chooseFromTrayMenu("l");
    ASSERT_TRUE(waitFor([&] { return errorRecords(user.log, record).size() == 1; }))
        << readText(user.log);

    // A command that ran is a hit; those that could not run are none.
    ASSERT_NO_FATAL_FAILURE(execute("Quorvalent: Console"));
    ASSERT_TRUE(waitFor([&] { return history().find("Quorvalent: Console") != std::string::npos; }))
        << readText(user.log);
    for (const Case& c : cases)
        EXPECT_EQ(history().find("\"" + std::string(c.command) + "\""), std::string::npos)
            << c.command;
    EXPECT_EQ(readText(user.log).find("1155"), std::string::npos) << readText(user.log);
    exit();
}

} // namespace
