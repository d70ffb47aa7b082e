// The main window on a real X display (scripts/with-display.sh: Xvfb,
// openbox, and trayer as the tray host); input comes from xdotool through
// XTest.

#include "windows/WndMain.h"

#include "app/AppConfig.h"
#include "app/MainLoop.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/WaitFor.h"
#include "tests/windows/FakeWindowsHost.h"
#include "windows/X11HotkeyGrabber.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <gtest/gtest.h>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <string>

namespace {

// Handles Qt's events until the condition holds or the time has passed.
template <typename Condition>
bool spinUntil(Condition condition, int64_t ms = qvtest::slowMachineLimit.count()) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

Display* qtDisplay() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// The X window that shows the tray icon: Qt's widget for it.
QWidget* trayIconWidget() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (std::string(widget->metaObject()->className()) == "QSystemTrayIconSys")
            return widget;
    }
    return nullptr;
}

// The icon's window was reparented into the tray host's window.
bool embeddedInTray() {
    QWidget* widget = trayIconWidget();
    if (!widget)
        return false;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(qtDisplay(), Window(widget->winId()), &root, &parent, &children, &count))
        return false;
    if (children)
        XFree(children);
    return parent != 0 && parent != root;
}

class MainWindowOnDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        if (QGuiApplication::platformName() != "xcb" || !std::getenv("QV_XVFB_SCREEN"))
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        // Windows of earlier tests must not take the clicks meant for the tray.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() &&
                std::string(widget->metaObject()->className()) != "QSystemTrayIconSys")
                widget->hide();
        }
        if (QWidget* grabber = QWidget::mouseGrabber())
            grabber->releaseMouse();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    // The middle of the icon's window on the screen, as X places it inside
    // the tray host.
    static std::string iconCenter() {
        QWidget* widget = trayIconWidget();
        Display* display = qtDisplay();
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, Window(widget->winId()), &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, Window(widget->winId()), DefaultRootWindow(display),
                              attributes.width / 2, attributes.height / 2, &x, &y, &child);
        return std::to_string(x) + " " + std::to_string(y);
    }

    qvtest::FakeWindowsHost host;
};

TEST_F(MainWindowOnDisplayTest, TheIconDocksAndAClickTogglesTheLaunchBox) {
    WndMain main(host, host, nullptr);
    ASSERT_TRUE(spinUntil([&] {
        return QSystemTrayIcon::isSystemTrayAvailable() && main.trayIconDocked() &&
               embeddedInTray();
    }));
    // After the windows of other tests the window manager may take the
    // first click for itself: a user would click again.
    for (int attempt = 0; attempt < 3 && host.calls.empty(); ++attempt) {
        ASSERT_TRUE(xdotool("mousemove " + iconCenter() + " click 1"));
        spinUntil([&] { return !host.calls.empty(); }, 10000);
    }
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.front(), "toggle");
}

// A right click pops the tray menu up (saved as build/tray-menu.png); its
// Exit closes the main window, which ends the loop with 0.
TEST_F(MainWindowOnDisplayTest, TheTrayMenuPopsUpAndItsExitEndsTheLoop) {
    WndMain main(host, host, nullptr);
    ASSERT_TRUE(spinUntil([&] { return main.trayIconDocked() && embeddedInTray(); }));
    bool saved = false;
    int shownTicks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* popup = QApplication::activePopupWidget();
        // A few ticks: the menu is painted by then.
        if (!popup || !popup->isVisible() || ++shownTicks < 4)
            return;
        if (!saved) {
            saved = QGuiApplication::primaryScreen()->grabWindow(0).save(QString(QV_BUILD_DIR) +
                                                                         "/tray-menu.png");
            return;
        }
        auto* menu = qobject_cast<QMenu*>(popup);
        QAction* exit = main.trayMenu().action(TrayMenu::Exit);
        if (!menu || !exit)
            return;
        const QPoint at = menu->mapToGlobal(menu->actionGeometry(exit).center());
        xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1");
    });
    watch.start(100);
    for (int attempt = 0; attempt < 3 && main.exists(); ++attempt) {
        ASSERT_TRUE(xdotool("mousemove " + iconCenter() + " click 3"));
        spinUntil([&] { return !main.exists(); }, 20000);
    }
    ASSERT_FALSE(main.exists()) << saved << " " << shownTicks;
    watch.stop();
    EXPECT_TRUE(saved);
    MainLoop loop;
    EXPECT_EQ(loop.exec(), 0);
}

TEST_F(MainWindowOnDisplayTest, AHotkeySentThroughXTestReachesItsWindow) {
    WndMain main(host, host, X11HotkeyGrabber::create());
    AppConfig config; // Run: Ctrl+Win+K
    config.hotkeyHistory = parseHotkey(L"Alt+Shift+J");
    qvtest::RecordingMessageBox::Installed boxes;
    main.registerHotkeys(true, &config);
    ASSERT_TRUE(boxes.box->shown().empty()) << wstr::toUtf8(boxes.box->shown()[0].text);
    ASSERT_TRUE(xdotool("key ctrl+Super_L+k"));
    ASSERT_TRUE(xdotool("key alt+shift+j"));
    ASSERT_TRUE(spinUntil([&] { return host.calls.size() >= 2; }))
        << (host.calls.empty() ? "" : host.calls[0]);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"toggle", "show 2"}));
    // Released keys are no longer the program's.
    main.registerHotkeys(false, &config);
    ASSERT_TRUE(xdotool("key ctrl+Super_L+k"));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(host.calls.size(), 2u);
}

// A hot key that shows a window of the program gives that window the focus
// while the key is still down; the key's release must still end the press,
// or the next press passes for a repeat. Each press reaches the handler once.
TEST_F(MainWindowOnDisplayTest, EveryPressCountsWhenTheHotkeyFocusesAWindowOfOurs) {
    // Each show maps a new window, which the window manager focuses.
    struct Host : qvtest::FakeWindowsHost {
        std::unique_ptr<QWidget> window;
        void toggleLaunchBox() override {
            FakeWindowsHost::toggleLaunchBox();
            if (window) {
                window.reset();
                return;
            }
            window = std::make_unique<QWidget>();
            window->setWindowTitle("toggled");
            window->resize(200, 100);
            window->show();
            window->activateWindow();
        }
    } toggler;
    WndMain main(toggler, toggler, X11HotkeyGrabber::create());
    AppConfig config; // Run: Ctrl+Win+K
    main.registerHotkeys(true, &config);
    for (std::size_t press = 1; press <= 4; ++press) {
        ASSERT_TRUE(xdotool("key ctrl+Super_L+k"));
        ASSERT_TRUE(spinUntil([&] { return toggler.calls.size() >= press; })) << press;
        // As a user does, the next press comes once the window is up.
        if (toggler.window) {
            ASSERT_TRUE(spinUntil([&] { return toggler.window->isActiveWindow(); })) << press;
        }
    }
    EXPECT_EQ(toggler.calls, std::vector<std::string>(4, "toggle"));
}

// The hot key that comes while the program is busy, right after the window
// manager gave the focus to a window just shown: the handler must see that
// window active, as the Run hot key's toggle decides by it. Qt handles the
// focus and the key in one go here, as it does when its thread was busy.
TEST_F(MainWindowOnDisplayTest, AHotkeySeesTheFocusThatCameBeforeIt) {
    struct Host : qvtest::FakeWindowsHost {
        QWidget* watched = nullptr;
        void toggleLaunchBox() override {
            calls.push_back(watched && watched->isActiveWindow() ? "active" : "inactive");
        }
    } recorder;
    WndMain main(recorder, recorder, X11HotkeyGrabber::create());
    AppConfig config; // Run: Ctrl+Win+K
    main.registerHotkeys(true, &config);
    QWidget first, second;
    first.setWindowTitle("first");
    second.setWindowTitle("second");
    for (QWidget* window : {&first, &second})
        window->resize(200, 100);
    first.show();
    first.activateWindow();
    ASSERT_TRUE(spinUntil([&] { return first.isActiveWindow(); }));
    recorder.watched = &second;

    // From here Qt handles no event until the key was pressed.
    second.show();
    XFlush(qtDisplay());
    Display* observer = XOpenDisplay(nullptr);
    ASSERT_NE(observer, nullptr);
    const auto focused = [&] {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(observer, &focus, &revert);
        return focus == Window(second.winId());
    };
    ASSERT_TRUE(qvtest::waitFor(focused)) << "the window manager gives a new window the focus";
    XCloseDisplay(observer);
    ASSERT_TRUE(xdotool("key ctrl+Super_L+k"));
    ASSERT_TRUE(spinUntil([&] { return !recorder.calls.empty(); }));
    EXPECT_EQ(recorder.calls, std::vector<std::string>{"active"});
}

TEST_F(MainWindowOnDisplayTest, AKeyAnotherClientGrabbedFirstFailsWithTheXError) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const Window root = DefaultRootWindow(other);
    XGrabKey(other, XKeysymToKeycode(other, XK_F10), ControlMask | Mod1Mask, root, True,
             GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    WndMain main(host, host, X11HotkeyGrabber::create());
    AppConfig config;
    config.hotkeyRun = parseHotkey(L"Ctrl+Alt+F10");
    config.hotkeyConsole = parseHotkey(L"Ctrl+Shift+F8");
    qvtest::RecordingMessageBox::Installed boxes;
    main.registerHotkeys(true, &config);
    ASSERT_EQ(boxes.box->shown().size(), 1u);
    EXPECT_EQ(boxes.box->shown()[0].text,
              L"Failed to register the 'Run' hotkey \"Ctrl+Alt+F10\"! Please reconfigure. "
              L"Error 10: BadAccess (attempt to access private resource denied)");
    // The others still work.
    ASSERT_TRUE(xdotool("key ctrl+shift+F8"));
    ASSERT_TRUE(spinUntil([&] { return !host.calls.empty(); }));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"toggle console"}));
    XCloseDisplay(other);
}

} // namespace
