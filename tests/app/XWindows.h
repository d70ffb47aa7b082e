#pragma once

// The windows of the program under test as X shows them, found and driven
// with xdotool (input through XTest), as a user's desktop sees them.

#include "tests/app/EndToEnd.h"
#include "tests/support/QtTestApp.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>

namespace qvtest::e2e {

inline bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

// The id of the first mapped window whose title matches the regular
// expression, empty when none is.
inline std::string visibleWindow(const std::string& title) {
    return runCommand("xdotool search --onlyvisible --name '" + title + "' 2>/dev/null | head -1");
}

inline bool isMapped(const std::string& id) {
    return runCommand("xwininfo -id " + id + " 2>/dev/null | grep 'Map State'")
               .find("IsViewable") != std::string::npos;
}

// Waits until the window is mapped, or unmapped.
inline bool waitMapped(const std::string& id, bool mapped) {
    return waitFor([&] { return isMapped(id) == mapped; });
}

// Waits for a mapped window of that title and returns its id; empty when
// none came in time.
inline std::string waitVisibleWindow(const std::string& title) {
    std::string id;
    waitFor([&] { return !(id = visibleWindow(title)).empty(); });
    return id;
}

// Waits until the window has the keyboard focus (the window manager's
// active window may still name a window that was hidden).
inline bool waitFocused(const std::string& id) {
    return waitFor([&] { return runCommand("xdotool getwindowfocus") == id; });
}

// Where the window of that X id is on the desktop (its own area, without the
// window manager's frame); empty when it cannot be read.
struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowGeometry&) const = default;
};
inline WindowGeometry windowGeometry(const std::string& id) {
    // xwininfo's position is the window's own; xdotool's counts a
    // reparenting window manager's frame twice.
    const std::string info = runCommand("xwininfo -id " + id + " 2>/dev/null");
    auto value = [&](const std::string& label) {
        const auto at = info.find(label);
        return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + label.size());
    };
    return {value("Absolute upper-left X:"), value("Absolute upper-left Y:"), value("Width:"),
            value("Height:")};
}
inline std::ostream& operator<<(std::ostream& out, const WindowGeometry& g) {
    return out << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
}

// The height of the visible window of that X id.
inline int windowHeight(const std::string& id) {
    return windowGeometry(id).height;
}

// Saves what the window shows as a PNG under the build folder (the test
// process's Qt application reads it from the X server).
inline bool saveScreenshot(const std::string& id, const std::string& name) {
    qvtest::qtApp();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(WId(std::stoul(id)))
                         .save(QString::fromStdString(std::string(QV_BUILD_DIR) + "/" + name));
}

// Opens the running program's LaunchBox (a start with "--show"), types the
// text and, once the box grew by the rows of its results, calls beforeEnter
// (a screenshot) and presses Enter. `box` keeps the LaunchBox's id once found.
inline void enterInLaunchBox(const UserTree& user, std::string& box, const std::string& text,
                             const std::function<void()>& beforeEnter = {}) {
    Program show({"--show"}, user.env, user.output);
    ASSERT_EQ(show.exitCode(), std::optional<int>(0)) << readText(user.output);
    if (box.empty())
        box = waitVisibleWindow("^Quorvalent$");
    ASSERT_FALSE(box.empty()) << readText(user.log);
    ASSERT_TRUE(waitMapped(box, true));
    ASSERT_TRUE(waitFocused(box)) << "the LaunchBox did not get the focus";
    const int empty = windowHeight(box);
    ASSERT_TRUE(xdotool("type --delay 20 '" + text + "'"));
    ASSERT_TRUE(waitFor([&] { return windowHeight(box) > empty; })) << readText(user.log);
    if (beforeEnter)
        beforeEnter();
    ASSERT_TRUE(xdotool("key Return"));
}

// Pops the tray menu up with a right click on the program's icon in the tray
// host's panel, and chooses an entry by its underlined key ("c" for
// "Configure Quorvalent"). The menu is mapped before it takes the keyboard,
// and a key pressed in between goes to whichever window has the focus (a
// slow machine makes that likely): the key is pressed again while the menu
// stays up, as the menu goes once it has taken the key.
inline void chooseFromTrayMenu(const std::string& key) {
    auto shown = [] {
        std::set<std::string> ids;
        std::istringstream lines(
            runCommand("xdotool search --onlyvisible --classname '^quorvalent$' 2>/dev/null"));
        for (std::string id; std::getline(lines, id);)
            ids.insert(id);
        return ids;
    };
    const std::set<std::string> before = shown();
    const std::string panel = runCommand("xdotool search --name '^panel$' 2>/dev/null | head -1");
    // The menu is up: a window that was not shown before (a box closed just
    // before may still be on its way out, which is no sign of the menu). A
    // click that comes while the program still ends that box's modal loop
    // is not taken: the icon is clicked again, as a user would.
    std::string menu;
    auto menuShown = [&] {
        for (const std::string& id : shown())
            if (!before.contains(id))
                menu = id;
        return !menu.empty();
    };
    for (int tries = 0; tries < 5 && menu.empty(); ++tries) {
        runCommand("xdotool mousemove --window " + panel + " 12 12 click 3");
        qvtest::waitFor(menuShown, std::chrono::seconds(10), std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(menu.empty()) << "the tray menu did not come up";
    auto menuUp = [&] { return shown().contains(menu); };
    for (int tries = 0; tries < 5 && menuUp(); ++tries) {
        runCommand("xdotool key " + key);
        qvtest::waitFor([&] { return !menuUp(); }, std::chrono::seconds(15),
                        std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(menuUp()) << "the menu never took the key";
}

} // namespace qvtest::e2e
