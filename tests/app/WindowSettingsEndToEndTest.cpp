// The settings of the windows as a user changes them while the program runs:
// the user's configuration file is rewritten, the program reloads it, and
// the LaunchBox and the console on the X display show the change. Driven
// with xdotool and wmctrl as a user's desktop drives them.
#include "tests/app/MarkerPackage.h"

#include "tests/app/EndToEnd.h"
#include "tests/app/XWindows.h"

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

using namespace qvtest::e2e;

namespace {

const std::string launchBoxTitle = "^Quorvalent$";
const std::string consoleTitle = "^Console - Quorvalent$";
const std::string runKey = "ctrl+Super_L+k";
const std::string consoleKey = "ctrl+shift+F8";
const std::string reloaded = "Application configuration has changed";

bool onDisplay(int monitors = 1) {
    const char* count = std::getenv("QV_XVFB_SCREENS");
    return std::getenv("DISPLAY") && std::getenv("QV_XVFB_SCREEN") &&
           (count ? std::atoi(count) : 1) >= monitors;
}

// A running program with its user's configuration file and a package of
// twelve items ("Marker 01" to "Marker 12", whose targets are /opt/marker/NN)
// and "Greeter" (/opt/greeter), which takes arguments.
class LiveProgram {
public:
    explicit LiveProgram(const std::string& settings)
        : package_("Marker" + std::to_string(getpid()), marker, items(), {"Greeter"}) {
        user.env["QT_QPA_PLATFORM"] = "xcb";
        fs::create_directories(ini.parent_path());
        write(settings);
    }

    static MarkerPackage::Items items() {
        MarkerPackage::Items list;
        for (int i = 1; i <= 12; ++i) {
            const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
            list.emplace_back("Marker " + number, "/opt/marker/" + number);
        }
        list.emplace_back("Greeter", "/opt/greeter");
        return list;
    }

    void write(const std::string& settings) {
        std::ofstream(ini) << "[app]\nhotkey_console = Ctrl+Shift+F8\n" << settings;
    }

    // Starts the program and waits until the package's items are searchable.
    void start() {
        // The log goes on from the previous run.
        const std::size_t starts = occurrences(readText(user.log), "Init done in");
        program_ = std::make_unique<Program>(std::vector<std::string>{}, user.env, user.output);
        ASSERT_TRUE(program_->started());
        ASSERT_TRUE(waitFor([&] {
            return occurrences(readText(user.log), "Init done in") > starts;
        })) << readText(user.output);
        ASSERT_TRUE(waitFor([&] { return fs::exists(user.localFile(".catalog")); }))
            << readText(user.log);
    }

    // Asks the running program to end, and waits for it.
    void exit() {
        Program request({"--exit"}, user.env, user.output);
        ASSERT_EQ(request.exitCode(), std::optional<int>(0)) << readText(user.output);
        ASSERT_EQ(program_->exitCode(), std::optional<int>(0)) << readText(user.output);
    }

    // Rewrites the configuration file and waits until the program took it.
    void reconfigure(const std::string& settings) {
        const std::size_t before = occurrences(readText(user.log), reloaded);
        write(settings);
        ASSERT_TRUE(waitFor([&] { return occurrences(readText(user.log), reloaded) > before; }))
            << settings << readText(user.log);
    }

    // Opens the LaunchBox with the hot key and waits for the focus.
    void showBox() {
        ASSERT_TRUE(xdotool("key " + runKey));
        // Found anew: a changed window type gives the box a new X window.
        box = waitVisibleWindow(launchBoxTitle);
        ASSERT_FALSE(box.empty()) << readText(user.log);
        ASSERT_TRUE(waitMapped(box, true));
        ASSERT_TRUE(waitFocused(box)) << "the LaunchBox did not get the focus";
    }

    // Closes the LaunchBox if it is open: Esc clears a search, then closes.
    void hideBox() {
        for (int i = 0; i < 3 && !box.empty() && isMapped(box); ++i) {
            const int height = windowHeight(box);
            ASSERT_TRUE(xdotool("windowactivate --sync " + box + " key Escape"));
            waitFor([&] { return !isMapped(box) || windowHeight(box) != height; });
        }
        ASSERT_TRUE(box.empty() || waitMapped(box, false));
    }

    // Types into the LaunchBox, or presses keys, and waits until the box's
    // height stays the same for a while (the search has come back).
    void type(const std::string& text) {
        ASSERT_TRUE(xdotool("type --delay 30 '" + text + "'"));
        settle();
    }
    void keys(const std::string& names) {
        ASSERT_TRUE(xdotool("key --delay 30 " + names));
        settle();
    }
    void settle() {
        int last = -1;
        int same = 0;
        waitFor([&] {
            const int height = windowHeight(box);
            same = height == last ? same + 1 : 0;
            last = height;
            return same >= 10;
        });
    }
    // Waits until the LaunchBox has that height.
    bool heightBecomes(int expected) {
        return waitFor([&] { return windowHeight(box) == expected; });
    }
    std::string properties(const std::string& id) {
        return runCommand("xprop -id " + id + " _NET_WM_STATE _NET_WM_WINDOW_TYPE");
    }

    UserTree user;
    const fs::path ini = user.config / "Quorvalent/User/Quorvalent.ini";
    const fs::path marker = user.dir.path() / "marker.txt";
    std::string box;

private:
    MarkerPackage package_;
    std::unique_ptr<Program> program_;
};

// One setting changed while the program runs, and what the user sees of it
// on the LaunchBox (with the default of every other setting).
struct LiveSetting {
    const char* settings;
    std::function<void(LiveProgram&)> check;
};

// Whether most pixels of the top band of the window are of that colour.
bool topBandIs(const std::string& id, QRgb colour, const std::string& file) {
    if (!saveScreenshot(id, file))
        return false;
    const QImage image(QString::fromStdString(std::string(QV_BUILD_DIR) + "/" + file));
    int hits = 0;
    int total = 0;
    for (int y = 0; y < std::min(image.height(), 30); ++y)
        for (int x = 0; x < image.width(); x += 3, ++total)
            hits += image.pixel(x, y) == colour;
    return total > 0 && hits * 2 > total;
}

} // namespace

TEST(EndToEndOnDisplay, EveryLaunchBoxSettingTakesEffectOnAReload) {
    if (!onDisplay())
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    qvtest::qtApp();
    LiveProgram live("");
    ASSERT_NO_FATAL_FAILURE(live.start());

    // The defaults: the heights of an empty box, of one row and of ten rows
    // (of twelve results), and the item that Up and Enter execute.
    ASSERT_NO_FATAL_FAILURE(live.showBox());
    const WindowGeometry empty = windowGeometry(live.box);
    ASSERT_NO_FATAL_FAILURE(live.type("marker 01"));
    const int oneRow = windowHeight(live.box);
    ASSERT_NO_FATAL_FAILURE(live.keys("BackSpace BackSpace"));
    const int tenRows = windowHeight(live.box);
    ASSERT_GT(oneRow, empty.height);
    const int rows = (tenRows - oneRow) / 9;
    ASSERT_GT(rows, 0) << oneRow << " " << tenRows;
    const std::string defaults = live.properties(live.box);
    EXPECT_EQ(defaults.find("_NET_WM_STATE_ABOVE"), std::string::npos) << defaults;
    EXPECT_NE(defaults.find("_NET_WM_WINDOW_TYPE_NORMAL"), std::string::npos) << defaults;
    ASSERT_NO_FATAL_FAILURE(live.hideBox());
    // "marker 2" finds Marker 02 and Marker 12; Up stays on the first row.
    ASSERT_NO_FATAL_FAILURE(live.showBox());
    ASSERT_NO_FATAL_FAILURE(live.type("marker 2"));
    ASSERT_TRUE(live.heightBecomes(oneRow + rows));
    ASSERT_TRUE(xdotool("key Up Return"));
    ASSERT_TRUE(waitFor([&] { return fs::exists(live.marker); }));
    const std::string first = readText(live.marker);
    const std::string last = first == "/opt/marker/02" ? "/opt/marker/12" : "/opt/marker/02";
    ASSERT_TRUE(waitMapped(live.box, false));
    const int screenWidth = std::atoi(std::getenv("QV_XVFB_SCREEN"));

    QWidget other;
    other.setWindowTitle("Another program");
    other.setGeometry(40, 500, 300, 120);
    other.show();

    const LiveSetting cases[] = {
        {"[gui]\nauto_width = 50\n",
         [&](LiveProgram& p) {
             p.showBox();
             EXPECT_EQ(windowGeometry(p.box).width, screenWidth / 2);
         }},
        {"[gui]\ngeometry = mouse_pos\n",
         [&](LiveProgram& p) {
             ASSERT_TRUE(xdotool("mousemove 300 400"));
             p.showBox();
             const WindowGeometry g = windowGeometry(p.box);
             EXPECT_NEAR(g.x + g.width / 2, 300, 2);
             EXPECT_NEAR(g.y + g.height / 2, 400, 2);
         }},
        {"[gui]\nmax_height = 3\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker");
             EXPECT_TRUE(p.heightBecomes(oneRow + 2 * rows)) << windowHeight(p.box);
         }},
        {"[gui]\nmax_height = 0\nmax_results = 10\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker");
             EXPECT_TRUE(p.heightBecomes(oneRow + 9 * rows)) << windowHeight(p.box);
         }},
        {"[gui]\nmax_height = 0\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker");
             EXPECT_GT(windowHeight(p.box), tenRows) << "no limit but the screen's";
         }},
        {"[gui]\nalways_on_top = yes\n",
         [&](LiveProgram& p) {
             p.showBox();
             EXPECT_NE(p.properties(p.box).find("_NET_WM_STATE_ABOVE"), std::string::npos);
         }},
        {"[gui]\nshow_on_taskbar = no\n",
         [&](LiveProgram& p) {
             p.showBox();
             const std::string shown = p.properties(p.box);
             EXPECT_NE(shown.find("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_UTILITY"),
                       std::string::npos)
                 << shown;
         }},
        {"[gui]\nescape_always_closes = yes\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker");
             ASSERT_TRUE(xdotool("key Escape"));
             EXPECT_TRUE(waitMapped(p.box, false)) << "Esc with a search closes";
         }},
        {"[gui]\nspace_as_tab = yes\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("greeter");
             ASSERT_TRUE(p.heightBecomes(oneRow));
             // The blank takes Greeter as Tab does; what follows is its argument.
             p.type(" one");
             ASSERT_TRUE(p.heightBecomes(oneRow)) << "Greeter is offered with its argument";
             ASSERT_TRUE(xdotool("key Return"));
             EXPECT_TRUE(waitFor([&] { return readText(p.marker) == "/opt/greeter one"; }))
                 << readText(p.marker);
         }},
        {"[gui]\nhide_on_focus_lost = immediate\n",
         [&](LiveProgram& p) {
             p.showBox();
             ASSERT_TRUE(xdotool("windowactivate --sync " + std::to_string(other.winId())));
             EXPECT_TRUE(waitMapped(p.box, false));
         }},
        {"[gui]\nretain_last_search = selected\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker 01");
             ASSERT_TRUE(xdotool("key " + runKey));
             ASSERT_TRUE(waitMapped(p.box, false));
             p.showBox();
             EXPECT_TRUE(p.heightBecomes(oneRow)) << "the search came back";
         }},
        {"[gui]\nloop_list = yes\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker 2");
             ASSERT_TRUE(p.heightBecomes(oneRow + rows));
             ASSERT_TRUE(xdotool("key Up Return"));
             EXPECT_TRUE(waitFor([&] { return readText(p.marker) == last; })) << readText(p.marker);
         }},
        {"[gui]\nsingle_click = yes\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker 03");
             ASSERT_TRUE(p.heightBecomes(oneRow));
             const WindowGeometry g = windowGeometry(p.box);
             const int x = g.x + g.width / 2;
             const int y = g.y + oneRow - 1 - rows / 2;
             ASSERT_TRUE(
                 xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"));
             EXPECT_TRUE(waitFor([&] { return readText(p.marker) == "/opt/marker/03"; }))
                 << readText(p.marker);
         }},
        {"[gui]\nword_separators = e\n",
         [&](LiveProgram& p) {
             p.showBox();
             p.type("marker");
             p.keys("ctrl+BackSpace");
             EXPECT_TRUE(p.heightBecomes(tenRows)) << "the word ended at the e: marke";
         }},
        {"[gui]\ntheme = red\n[theme/red]\ncolor_background = #ff0000\n"
         "color_textbox_back = #ff0000\n",
         [&](LiveProgram& p) {
             p.showBox();
             EXPECT_TRUE(topBandIs(p.box, qRgb(255, 0, 0), "live-theme-launchbox.png"));
         }},
    };
    for (const LiveSetting& c : cases) {
        SCOPED_TRACE(c.settings);
        std::error_code error;
        fs::remove(live.marker, error);
        ASSERT_NO_FATAL_FAILURE(live.reconfigure(c.settings));
        c.check(live);
        ASSERT_NO_FATAL_FAILURE(live.hideBox());
        // Back to the defaults: the box is as it was.
        ASSERT_NO_FATAL_FAILURE(live.reconfigure(""));
        ASSERT_NO_FATAL_FAILURE(live.showBox());
        EXPECT_EQ(windowGeometry(live.box).width, empty.width);
        const std::string restored = live.properties(live.box);
        EXPECT_EQ(restored, defaults);
        ASSERT_NO_FATAL_FAILURE(live.hideBox());
    }
    ASSERT_NO_FATAL_FAILURE(live.exit());
}

// The window manager moves and resizes the console (wmctrl asks it as a
// desktop's pager would); with persistent geometry the console comes back
// there after the program ends, closed or open.
TEST(EndToEndOnDisplay, ThePersistentConsoleComesBackWhereTheWindowManagerPutIt) {
    if (!onDisplay())
        GTEST_SKIP() << "needs the display of scripts/with-display.sh";
    LiveProgram live("[console]\ngeometry = persistent\n");
    std::string console;
    auto showConsole = [&] {
        ASSERT_TRUE(xdotool("key " + consoleKey));
        console = waitVisibleWindow(consoleTitle);
        ASSERT_FALSE(console.empty()) << readText(live.user.log);
        ASSERT_TRUE(waitFocused(console));
    };
    // wmctrl returns before the window manager acts: the geometry is read
    // once it has changed and then held still.
    auto placed = [&](const std::string& geometry) {
        const WindowGeometry old = windowGeometry(console);
        EXPECT_EQ(std::system(("wmctrl -i -r " + console + " -e 0," + geometry).c_str()), 0);
        WindowGeometry now;
        EXPECT_TRUE(waitFor([&] { return !(windowGeometry(console) == old); }));
        waitFor([&] {
            const WindowGeometry before = now;
            now = windowGeometry(console);
            return now == before;
        });
        return now;
    };

    ASSERT_NO_FATAL_FAILURE(live.start());
    ASSERT_NO_FATAL_FAILURE(showConsole());
    const WindowGeometry resized = placed("200,150,900,500");
    ASSERT_EQ(resized.width, 900);
    ASSERT_EQ(resized.height, 500);
    ASSERT_TRUE(xdotool("key Escape"));
    ASSERT_TRUE(waitMapped(console, false));
    ASSERT_NO_FATAL_FAILURE(live.exit());

    ASSERT_NO_FATAL_FAILURE(live.start());
    ASSERT_NO_FATAL_FAILURE(showConsole());
    EXPECT_TRUE(waitFor([&] { return windowGeometry(console) == resized; }))
        << windowGeometry(console) << " instead of " << resized;
    ASSERT_TRUE(saveScreenshot(console, "console-persistent.png"));

    // Moved only, and the program ends with the console open.
    const WindowGeometry moved = placed("320,240,-1,-1");
    ASSERT_NE(moved.x, resized.x);
    ASSERT_EQ(moved.width, 900);
    ASSERT_NO_FATAL_FAILURE(live.exit());
    ASSERT_NO_FATAL_FAILURE(live.start());
    ASSERT_NO_FATAL_FAILURE(showConsole());
    EXPECT_TRUE(waitFor([&] { return windowGeometry(console) == moved; }))
        << windowGeometry(console) << " instead of " << moved;
    ASSERT_NO_FATAL_FAILURE(live.exit());
}

// Two monitors side by side, another program's window active on the right
// one and the pointer on the left one: each geometry setting opens the
// LaunchBox on its monitor.
TEST(EndToEndOnTwoMonitors, TheLaunchBoxOpensOnTheMonitorItsGeometryNames) {
    if (!onDisplay(2))
        GTEST_SKIP() << "needs QV_XVFB_SCREENS=2 scripts/with-display.sh";
    qvtest::qtApp();
    const int width = std::atoi(std::getenv("QV_XVFB_SCREEN"));
    LiveProgram live("");
    ASSERT_NO_FATAL_FAILURE(live.start());
    QWidget other;
    other.setWindowTitle("Another program");
    other.setGeometry(width + 100, 300, 400, 200);
    other.show();

    const struct {
        const char* geometry;
        int monitor;
    } cases[] = {
        {"active_monitor", 2},
        {"mouse_monitor", 1},
        {"monitor_2", 2},
        {"auto", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.geometry);
        ASSERT_NO_FATAL_FAILURE(live.reconfigure(std::string("[gui]\ngeometry = ") + c.geometry));
        ASSERT_TRUE(xdotool("windowactivate --sync " + std::to_string(other.winId())));
        ASSERT_TRUE(xdotool("mousemove 200 200"));
        ASSERT_NO_FATAL_FAILURE(live.showBox());
        const WindowGeometry g = windowGeometry(live.box);
        const int centre = g.x + g.width / 2;
        EXPECT_EQ(centre / width + 1, c.monitor) << g;
        if (c.monitor == 2) {
            EXPECT_TRUE(saveScreenshot(live.box, "launchbox-monitor-2.png"));
        }
        ASSERT_NO_FATAL_FAILURE(live.hideBox());
    }
    ASSERT_NO_FATAL_FAILURE(live.exit());
}
