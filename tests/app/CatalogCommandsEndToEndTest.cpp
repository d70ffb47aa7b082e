// The program's own commands in its catalog ("Quorvalent: ..."), typed into
// the LaunchBox of the running program and executed with Enter under an X
// display: each does what the same tray-menu command does, twice in a row.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qvtest::e2e;

namespace {

const std::string launchBoxTitle = "^Quorvalent$";

// The program with a package whose plugin writes each "events" message it
// gets into the log, so that a reload of the configuration shows.
class CatalogCommandsOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        user.env["QT_QPA_PLATFORM"] = "xcb";
        const fs::path package = user.config / "Quorvalent/Packages/Listener";
        fs::create_directories(package);
        std::ofstream(package / "listener.py") << "import quorvalent\n"
                                                  "class Listener(quorvalent.Plugin):\n"
                                                  "    def on_events(self, flags):\n"
                                                  "        print('listener events', flags)\n";
        program = std::make_unique<Program>(std::vector<std::string>{}, user.env, user.output);
        ASSERT_TRUE(program->started());
        ASSERT_TRUE(waitForText(user.log, "Plugin loaded: Listener.Listener"))
            << readText(user.output) << readText(user.log);
    }

    // Opens the LaunchBox, types the command's label and presses Enter; the
    // LaunchBox hides, the command having been taken.
    void execute(const std::string& label, const std::string& screenshot = {}) {
        ASSERT_NO_FATAL_FAILURE(enterInLaunchBox(user, box, label, [&] {
            if (!screenshot.empty()) {
                EXPECT_TRUE(saveScreenshot(box, screenshot));
            }
        }));
        ASSERT_TRUE(waitMapped(box, false)) << readText(user.log);
    }

    // A window of that title comes up; it is closed as a user closes it.
    std::string expectWindow(const std::string& title, const std::string& screenshot = {}) {
        const std::string id = waitVisibleWindow(title);
        EXPECT_FALSE(id.empty()) << title << "\n" << readText(user.log);
        if (id.empty())
            return id;
        EXPECT_TRUE(waitFocused(id)) << title;
        if (!screenshot.empty()) {
            EXPECT_TRUE(saveScreenshot(id, screenshot));
        }
        EXPECT_TRUE(xdotool("key Escape"));
        EXPECT_TRUE(waitMapped(id, false)) << title;
        return id;
    }

    bool historyHolds(const std::string& label) {
        return waitFor([&] {
            const fs::path history = findFile(user.config, ".history");
            return !history.empty() && readText(history).find(label) != std::string::npos;
        });
    }

    UserTree user;
    std::unique_ptr<Program> program;
    std::string box;
};

TEST_F(CatalogCommandsOnDisplay, EachRunsFromTheLaunchBoxAsTheTrayMenusDoes) {
    const std::string reloaded = "listener events 3";
    struct Case {
        const char* label;
        // The effect, given the log as it was before the command.
        std::function<void(int time, const std::string& logBefore)> effect;
        const char* launchBoxShot = "";
    };
    const Case cases[] = {
        {"Quorvalent: Console", [&](int, auto&) { expectWindow("^Console - Quorvalent$"); }},
        {"Quorvalent: Diagnostic Window",
         [&](int time, auto&) {
             expectWindow("^Diagnostic - Quorvalent$", time ? "" : "diag-window.png");
         }},
        {"Quorvalent: About",
         [&](int time, auto&) { expectWindow("^About Quorvalent$", time ? "" : "about-box.png"); },
         "launchbox-results.png"},
        {"Quorvalent: Clear History",
         [&](int, auto&) {
             // The confirmation has the LaunchBox's title; Esc answers Cancel.
             std::string confirmation;
             ASSERT_TRUE(waitFor([&] {
                 confirmation = visibleWindow(launchBoxTitle);
                 return !confirmation.empty() && confirmation != box;
             })) << readText(user.log);
             ASSERT_TRUE(waitFocused(confirmation));
             ASSERT_TRUE(xdotool("key Escape"));
             ASSERT_TRUE(waitMapped(confirmation, false));
         }},
        {"Quorvalent: Reload Configuration",
         [&](int, const std::string& logBefore) {
             // The plugins are told that the settings changed.
             ASSERT_TRUE(waitFor([&] {
                 return occurrences(readText(user.log), reloaded) ==
                        occurrences(logBefore, reloaded) + 1;
             })) << readText(user.log);
         }},
    };
    for (int time = 0; time < 2; ++time) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + " #" + std::to_string(time + 1));
            const std::string logBefore = readText(user.log);
            ASSERT_NO_FATAL_FAILURE(execute(c.label, time ? "" : c.launchBoxShot));
            ASSERT_NO_FATAL_FAILURE(c.effect(time, logBefore));
            // The executed command counts as a hit; Cancel kept the history.
            EXPECT_TRUE(historyHolds(c.label)) << readText(user.log);
        }
    }

    ASSERT_NO_FATAL_FAILURE(execute("Quorvalent: Exit"));
    EXPECT_EQ(program->exitCode(), std::optional<int>(0)) << readText(user.output);
    std::string log = readText(user.log);
    while (!log.empty() && (log.back() == '\n' || log.back() == '\r'))
        log.pop_back();
    const std::string last = "Shutting down with code 0.";
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), last.size())), last) << log;
}

} // namespace
