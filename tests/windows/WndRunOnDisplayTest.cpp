// The LaunchBox on a real X server with a window manager: mapped, active,
// typed into with XTest, hidden when the focus leaves, and a screenshot.

#include "tests/support/WaitFor.h"
#include "tests/windows/WndRunFixture.h"

#include "core/MessageBox.h"
#include "windows/ModalBox.h"
#include "windows/WndSatellite.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <QClipboard>

#include <chrono>
#include <cstdlib>
#include <string>

// Last: Xlib's macros clash with names of the headers above.
#include <X11/Xlib.h>

using namespace Gui;
using namespace qvtest;

namespace {

bool onXServer() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// Runs the event loop until the condition holds or the limit passes.
template <typename Condition> bool processUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + qvtest::slowMachineLimit;
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

namespace {

// Where a point of the widget is on the screen, as xdotool takes it.
std::string screenPoint(const QWidget& widget, QPoint at) {
    const QPoint global = widget.mapToGlobal(at);
    return std::to_string(global.x()) + " " + std::to_string(global.y());
}

// The X server's word on whether the widget's window is mapped and viewable.
bool mappedOnServer(QWidget& widget) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !widget.windowHandle() || !widget.testAttribute(Qt::WA_WState_Created))
        return false;
    XSync(x11->display(), False);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(x11->display(), Window(widget.winId()), &attributes))
        return false;
    return attributes.map_state == IsViewable;
}

// Dragged by its body (the status line's band, the window's own), the box
// goes where the user put it; afterwards it is again the program that sizes
// it: a search without results gives it its base height, Alt+X expands and
// collapses it, and the program's own moves are not taken for the user's.
TEST_F(WndRunOnDisplay, AfterADragByTheBodyTheProgramSizesTheBoxAgain) {
    host.settings->maxHeight = 2;
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    const int base = frame().height();
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("drag " + std::to_string(round));
        box->searchBox().setText(L"e");
        ASSERT_EQ(labels().size(), 4u);
        const int twoRows = frame().height();
        ASSERT_GT(twoRows, base);
        const QPoint before = frame().topLeft();
        const QRect band = box->statusRect();
        ASSERT_FALSE(band.isEmpty());
        ASSERT_EQ(xdotool("mousemove " + screenPoint(*box->hwnd(), band.topLeft() + QPoint(4, 2))),
                  0);
        ASSERT_EQ(xdotool("mousedown 1"), 0);
        // The window manager takes the keyboard while it moves a window.
        ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() != box->hwnd(); }))
            << "the window manager took no move";
        ASSERT_EQ(xdotool("mousemove_relative -- 60 40"), 0);
        ASSERT_EQ(xdotool("mousemove_relative -- 20 10"), 0);
        ASSERT_EQ(xdotool("mouseup 1"), 0);
        ASSERT_TRUE(processUntil([&] {
            return frame().topLeft() == before + QPoint(80, 50) &&
                   !(QGuiApplication::mouseButtons() & Qt::LeftButton);
        })) << "the window manager did not move the box: "
            << frame().x() << "," << frame().y() << " from " << before.x() << "," << before.y();
        const std::size_t recorded = host.captured.size();
        EXPECT_GT(recorded, 0u) << "the user's move is recorded";

        box->searchBox().setText(L"no such thing");
        EXPECT_TRUE(labels().empty());
        EXPECT_EQ(frame().height(), base) << "a search without results";
        EXPECT_EQ(frame().topLeft(), before + QPoint(80, 50));

        box->searchBox().setText(L"e");
        EXPECT_EQ(frame().height(), twoRows) << "max_height caps the rows";
        box->searchBox().sendMessage(KeyDown, 'X', ModAlt);
        EXPECT_TRUE(box->expanded());
        EXPECT_GT(frame().height(), twoRows) << "expanded, every row";
        // Typing places the box again; none of that is the user's geometry,
        // and the box stays expanded.
        box->searchBox().setText(L"t");
        box->searchBox().setText(L"e");
        const QRect expanded = frame();
        ASSERT_TRUE(processUntil([&] {
            return box->hwnd()->windowHandle()->geometry().topLeft() == expanded.topLeft();
        }));
        EXPECT_TRUE(box->expanded());
        box->searchBox().sendMessage(KeyDown, 'X', ModAlt);
        EXPECT_FALSE(box->expanded());
        EXPECT_EQ(frame().height(), twoRows) << "the rows are capped again";
        EXPECT_EQ(host.captured.size(), recorded) << "program moves recorded as the user's";
    }
}

// The middle button pastes the X primary selection as the paste keys paste
// the clipboard: one line, runs of blanks as one space.
TEST_F(WndRunOnDisplay, AMiddleClickPastesTheSelectionCleaned) {
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    const struct {
        const char* selection;
        const wchar_t* pasted;
    } cases[] = {
        {"first \t\t line\n\n second  ", L"first line second"},
        {"a\tb", L"a b"},
    };
    for (const auto& c : cases) {
        box->searchBox().setText(L"");
        QGuiApplication::clipboard()->setText(QString::fromUtf8(c.selection),
                                              QClipboard::Selection);
        const QWidget& edit = *box->searchBox().hwnd();
        ASSERT_EQ(
            xdotool("mousemove " + screenPoint(edit, QPoint(10, edit.height() / 2)) + " click 2"),
            0);
        EXPECT_TRUE(processUntil([&] { return box->searchBox().getText() == c.pasted; }))
            << wstr::toUtf8(box->searchBox().getText());
    }
}

// No image for the selected item: no satellite window on the screen, not
// even an empty square; an item with an image brings it back.
TEST_F(WndRunOnDisplay, NoSatelliteWindowIsMappedWithoutAnImage) {
    box.reset();
    theme->satelliteShow = Theme::ShowAlways;
    class OneIcon : public ItemIcons {
    public:
        QImage icon(const CatalogItemPtr& item, int size, bool) override {
            if (item->label() != L"Files")
                return {};
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::darkCyan);
            return image;
        }
    } oneIcon;
    box = std::make_unique<WndRun>(nullptr, theme, host, oneIcon);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("showing " + std::to_string(round + 1));
        box->show(true);
        ASSERT_TRUE(processUntil([&] { return mappedOnServer(*box->hwnd()); }));
        QWidget& satellite = *box->satellite()->hwnd();
        const auto settled = [&](bool mapped) {
            return processUntil([&] { return mappedOnServer(satellite) == mapped; });
        };
        EXPECT_TRUE(settled(false)) << "an empty box";
        box->searchBox().setText(L"term");
        EXPECT_TRUE(settled(false)) << "an item without an image";
        box->searchBox().setText(L"files");
        EXPECT_TRUE(settled(true)) << "an item with an image";
        box->searchBox().setText(L"settings");
        EXPECT_TRUE(settled(false)) << "the next item has none";
        box->show(false);
        EXPECT_TRUE(settled(false));
    }
}

} // namespace

namespace {

// A confirmation asked on behalf of a window that is not on screen (the
// tray's, whose main window never shows) opens in the middle of that
// window's screen; one asked from the LaunchBox opens over it.
TEST_F(WndRunOnDisplay, AConfirmationOpensCentredOnItsOwnersScreen) {
    const QRect screen = box->hwnd()->screen()->availableGeometry();
    for (bool ownerShown : {false, true, false}) {
        SCOPED_TRACE(ownerShown ? "owner shown" : "owner hidden");
        if (ownerShown) {
            box->show(true);
            ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
        } else {
            box->show(false);
        }
        QRect shown;
        QTimer watch;
        watch.setInterval(5);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!modal || !modal->windowHandle() || !modal->windowHandle()->isExposed())
                return;
            shown = modal->frameGeometry();
            modal->reject();
        });
        watch.start();
        ModalBox::show(box.get(), L"Clear the history?",
                       MessageBox::MB_OKCANCEL | MessageBox::MB_ICONWARNING);
        const QPoint centre = shown.center();
        if (ownerShown)
            EXPECT_TRUE(shown.contains(box->hwnd()->frameGeometry().center()))
                << centre.x() << "," << centre.y();
        else
            EXPECT_LE((centre - screen.center()).manhattanLength(), 40)
                << centre.x() << "," << centre.y() << " instead of " << screen.center().x() << ","
                << screen.center().y();
    }
}

} // namespace
