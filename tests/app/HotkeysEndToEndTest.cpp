// The hot keys of the running program under an X display, pressed through
// XTest as a user presses them: every press counts, also when the previous
// one gave the focus to one of the program's own windows.
#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <gtest/gtest.h>

#include <memory>

#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace qvtest::e2e;

namespace {

const std::string launchBoxTitle = "^Quorvalent$";
const std::string consoleTitle = "^Console - Quorvalent$";

// One key stroke and the state the windows must reach after it (a window
// not named keeps its state).
struct Step {
    const char* keys;
    const char* what;
    std::optional<bool> launchBox;
    std::optional<bool> console;
};

// The user on the test display, with these settings of their own.
void withSettings(UserTree& user, const std::string& ini) {
    user.env["QT_QPA_PLATFORM"] = "xcb";
    fs::create_directories(user.config / "Quorvalent/User");
    std::ofstream(user.config / "Quorvalent/User/Quorvalent.ini") << ini;
}

} // namespace

TEST(EndToEndOnDisplay, EveryPressOfAHotkeyCounts) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    UserTree user;
    withSettings(user, "[app]\nhotkey_paste = Ctrl+Shift+F6\nhotkey_history = Ctrl+Shift+F7\n"
                       "hotkey_console = Ctrl+Shift+F8\n");

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Init done in")) << readText(user.output);
    const char* runKey = "ctrl+Super_L+k";
    const Step steps[] = {
        {runKey, "Run shows", true, {}},
        {runKey, "Run hides the open LaunchBox", false, {}},
        {runKey, "Run shows again", true, {}},
        {"Escape", "Esc hides", false, {}},
        {runKey, "Run shows once more", true, {}},
        {runKey, "Run hides", false, {}},
        {"ctrl+shift+F7", "History shows", true, {}},
        {runKey, "Run hides the history", false, {}},
        {"ctrl+shift+F7", "History shows again", true, {}},
        {runKey, "Run hides the history", false, {}},
        {"ctrl+shift+F6", "Paste shows", true, {}},
        {runKey, "Run hides the paste", false, {}},
        {"ctrl+shift+F6", "Paste shows again", true, {}},
        {"ctrl+shift+F8", "Console shows over the LaunchBox", true, true},
        {"ctrl+shift+F8", "Console hides", true, false},
        {"ctrl+shift+F8", "Console shows again", true, true},
        {"ctrl+shift+F8", "Console hides again", true, false},
    };
    // Found when first shown (the hidden main window has the LaunchBox's
    // title too).
    std::string box, console;
    auto check = [&](std::string& id, const std::string& title, bool mapped) {
        if (id.empty() && mapped)
            id = waitVisibleWindow(title);
        ASSERT_FALSE(id.empty()) << title << readText(user.log);
        ASSERT_TRUE(waitMapped(id, mapped)) << readText(user.log);
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(xdotool(std::string("key ") + step.keys));
        if (step.launchBox) {
            ASSERT_NO_FATAL_FAILURE(check(box, launchBoxTitle, *step.launchBox));
        }
        if (step.console) {
            ASSERT_NO_FATAL_FAILURE(check(console, consoleTitle, *step.console));
        }
        // A user sees the window come up before pressing again.
        if (step.console.value_or(false)) {
            ASSERT_TRUE(waitFocused(console));
        } else if (!step.console && *step.launchBox) {
            ASSERT_TRUE(waitFocused(box));
        }
    }

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}

// A key another X client holds cannot be registered; once that client lets
// it go, the tray menu's "Reload Configuration" registers it, although no
// setting changed.
TEST(EndToEndOnDisplay, AReloadTakesAHotkeyAnotherClientReleased) {
    if (!std::getenv("DISPLAY") || !std::getenv("QV_XVFB_SCREEN"))
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    UserTree user;
    withSettings(user, "[app]\nhotkey_console = Ctrl+Shift+F8\n");
    // The plugins hear of the reload after the windows applied it.
    fs::create_directories(user.config / "Quorvalent/Packages/Listener");
    std::ofstream(user.config / "Quorvalent/Packages/Listener/listener.py")
        << "import quorvalent\n"
           "class Listener(quorvalent.Plugin):\n"
           "    def on_events(self, flags):\n"
           "        print('listener events', flags)\n";
    std::unique_ptr<Display, int (*)(Display*)> other(XOpenDisplay(nullptr), &XCloseDisplay);
    ASSERT_TRUE(other);
    const KeyCode f8 = XKeysymToKeycode(other.get(), XK_F8);
    const Window root = DefaultRootWindow(other.get());
    XGrabKey(other.get(), f8, ControlMask | ShiftMask, root, True, GrabModeAsync, GrabModeAsync);
    XSync(other.get(), False);

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Failed to register the 'Console' hotkey"))
        << readText(user.output) << readText(user.log);
    ASSERT_TRUE(waitForText(user.log, "Plugin loaded: Listener.Listener")) << readText(user.log);
    XUngrabKey(other.get(), f8, ControlMask | ShiftMask, root);
    XSync(other.get(), False);

    // The failure's box is still up: the tray menu is what the user has.
    chooseFromTrayMenu("n");
    ASSERT_TRUE(waitForText(user.log, "listener events 3")) << readText(user.log);

    ASSERT_TRUE(xdotool("key ctrl+shift+F8"));
    EXPECT_FALSE(waitVisibleWindow(consoleTitle).empty()) << readText(user.log);
    EXPECT_EQ(occurrences(readText(user.log), "Failed to register the 'Console' hotkey"), 1u)
        << readText(user.log);

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(user.output);
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << readText(user.output);
}
