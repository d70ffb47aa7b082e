// The LaunchBox on a real X server with a window manager: mapped, active,
// typed into with XTest, hidden when the focus leaves, and a screenshot.

#include "tests/windows/WndRunFixture.h"

#include "core/MessageBox.h"
#include "windows/ModalBox.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace Gui;
using namespace qvtest;

namespace {

bool onXServer() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// Runs the event loop until the condition holds or 10 seconds pass.
template <typename Condition> bool processUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int xdotool(const std::string& args) {
    return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str());
}

class WndRunOnDisplay : public WndRunTest {
protected:
    void SetUp() override {
        qtApp();
        if (!onXServer())
            GTEST_SKIP() << "needs the display of scripts/with-display.sh";
        // The screen of the X server.
        const QScreen* screen = QGuiApplication::primaryScreen();
        screens->list = {monitor(1, toSysRect(screen->geometry()),
                                 toSysRect(screen->availableGeometry()), 96, true)};
        Sys::setDisplayService(screens);
        theme->layout = Theme::LayoutAll;
        for (const wchar_t* label : {L"Terminal", L"Text Editor", L"Files", L"Settings"})
            host.items.push_back(makeItem(label));
        box = std::make_unique<WndRun>(nullptr, theme, host, icons);
    }
    void TearDown() override {
        box.reset();
        Sys::setDisplayService(nullptr);
    }
};

TEST_F(WndRunOnDisplay, ShowsActiveTakesTypedKeysAndSavesAScreenshot) {
    box->show(true);
    ASSERT_TRUE(processUntil([&] {
        return box->hwnd()->windowHandle() && box->hwnd()->windowHandle()->isExposed() &&
               QApplication::activeWindow() == box->hwnd();
    })) << "the window manager did not map and activate the LaunchBox";
    EXPECT_TRUE(box->searchBox().hasFocus());

    ASSERT_EQ(xdotool("type --delay 20 te"), 0);
    ASSERT_TRUE(processUntil([&] { return box->searchBox().getText() == L"te"; }));
    EXPECT_EQ(labels(), (std::vector<wstr>{L"Terminal", L"Text Editor"}));
    ASSERT_EQ(xdotool("key Down"), 0);
    ASSERT_TRUE(processUntil([&] { return box->list().currentIndex() == 1; }));
    box->list().hwnd()->repaint();

    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    const QImage image =
        box->hwnd()->screen()->grabWindow(0).toImage().copy(box->hwnd()->frameGeometry());
    ASSERT_TRUE(image.save(folder + "/launchbox.png"));
    // What was shown is the window's own drawing: the result list's colours.
    const QRect list = box->list().hwnd()->geometry();
    EXPECT_EQ(image.pixelColor(list.left() + 1, list.top() + 1).rgb(),
              QColor::fromRgba(theme->colours[Theme::ListItemBack]).rgb());

    ASSERT_EQ(xdotool("key Return"), 0);
    ASSERT_TRUE(processUntil([&] { return !box->isVisible(); }));
    const auto executes = host.messages(PluginMsg::kindExecute);
    ASSERT_EQ(executes.size(), 1u);
    EXPECT_EQ(executes[0].data.item->label(), L"Text Editor");
}

TEST_F(WndRunOnDisplay, HidesWhenAnotherWindowTakesTheFocus) {
    host.settings->hideOnFocusLost = FocusLostImmediate;
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    QWidget other;
    other.setGeometry(10, 10, 200, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(processUntil([&] { return !box->isVisible(); }));
}

// A confirmation asked from the LaunchBox takes the focus; the LaunchBox
// stays to take the answer.
TEST_F(WndRunOnDisplay, StaysWhileItsConfirmationHasTheFocus) {
    host.settings->hideOnFocusLost = FocusLostImmediate;
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    bool confirmationActive = false;
    bool visibleMeanwhile = false;
    int ticks = 0;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal)
            return;
        ++ticks;
        if (QApplication::activeWindow() == modal)
            confirmationActive = true;
        // The 1 ms focus timer has had many passes once the box was active.
        if ((confirmationActive && ticks >= 40) || ticks >= 400) {
            visibleMeanwhile = box->isVisible();
            modal->reject();
        }
    });
    watch.start();
    ModalBox::show(box.get(), L"Erase?", MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING);
    EXPECT_TRUE(confirmationActive);
    EXPECT_TRUE(visibleMeanwhile);
}

} // namespace

namespace {

// Showing while another window of the desktop is active: the window manager
// hands the focus over (what "--show" and the hot key rely on).
TEST_F(WndRunOnDisplay, ShowingTakesTheFocusFromAnActiveWindow) {
    QWidget other;
    other.setGeometry(10, 10, 200, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == &other; }));
    box->show(true);
    EXPECT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
}

} // namespace
