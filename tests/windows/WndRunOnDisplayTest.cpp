// The LaunchBox on a real X server with a window manager: mapped, active,
// typed into with XTest, hidden when the focus leaves, and a screenshot.

#include "tests/support/WaitFor.h"
#include "tests/windows/WndRunFixture.h"

#include "core/MessageBox.h"
#include "gui/WndClass.h"
#include "windows/ModalBox.h"
#include "windows/WndSatellite.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QDropEvent>
#include <QGuiApplication>
#include <QListView>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <QClipboard>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>

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

// Holds the left button down; lets it go at the end of the scope, also when
// an assertion failed meanwhile, so that the next test finds it up.
class ButtonHeld {
public:
    ButtonHeld() : held_(xdotool("mousedown 1") == 0) {}
    ~ButtonHeld() { release(); }
    ButtonHeld(const ButtonHeld&) = delete;
    ButtonHeld& operator=(const ButtonHeld&) = delete;

    bool held() const { return held_; }
    bool release() { return !std::exchange(held_, false) || xdotool("mouseup 1") == 0; }

private:
    bool held_;
};

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
        ButtonHeld button;
        ASSERT_TRUE(button.held());
        // The window manager takes the keyboard while it moves a window,
        // which it starts once the pointer moved with the button held.
        ASSERT_EQ(xdotool("mousemove_relative -- 1 1"), 0);
        ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() != box->hwnd(); }))
            << "the window manager took no move";
        ASSERT_EQ(xdotool("mousemove_relative -- 60 40"), 0);
        ASSERT_EQ(xdotool("mousemove_relative -- 20 10"), 0);
        ASSERT_TRUE(button.release());
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

// The satellite shows what the selected row shows: the item's own image, or
// the program's icon that the row draws for an item without one. Without a
// selected item no satellite window is on the screen, not even an empty
// square.
TEST_F(WndRunOnDisplay, TheSatelliteShowsTheIconOfTheSelectedRow) {
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
    const QImage programIcon =
        loadIcon(101, int(theme->satelliteSize)).pixmap(int(theme->satelliteSize)).toImage();
    const auto centreOf = [](const QImage& image) {
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("showing " + std::to_string(round + 1));
        box->show(true);
        ASSERT_TRUE(processUntil([&] { return mappedOnServer(*box->hwnd()); }));
        WndSatellite& satellite = *box->satellite();
        const auto settled = [&](bool mapped) {
            return processUntil([&] { return mappedOnServer(*satellite.hwnd()) == mapped; });
        };
        EXPECT_TRUE(settled(false)) << "an empty box";
        box->searchBox().setText(L"term");
        EXPECT_TRUE(settled(true)) << "an item without an image of its own";
        ASSERT_TRUE(satellite.shownImage());
        EXPECT_EQ(centreOf(*satellite.shownImage()), centreOf(programIcon));
        box->searchBox().setText(L"files");
        EXPECT_TRUE(processUntil([&] {
            return satellite.shownImage() &&
                   centreOf(*satellite.shownImage()) == QColor(Qt::darkCyan);
        })) << "an item with an image";
        box->searchBox().setText(L"no such thing");
        EXPECT_TRUE(settled(false)) << "no item";
        box->searchBox().setText(L"settings");
        EXPECT_TRUE(settled(true));
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

namespace {

// The grip: the LaunchBox's child along its right edge.
QWidget& gripOf(WndRun& box) {
    QWidget& window = *box.hwnd();
    QWidget* grip = window.childAt(window.width() - 1, window.height() / 2);
    EXPECT_TRUE(grip);
    return grip ? *grip : window;
}

// The rows the list shows whole from top to bottom, whether each row shown is
// as wide as the list's viewport, and whether the list scrolls sideways.
struct ListShape {
    int wholeRows = 0;
    bool rowsFillTheWidth = true;
    bool sidewaysScrollBar = false;
};

ListShape shapeOf(WndRun& box) {
    auto* view = qobject_cast<QListView*>(box.list().hwnd());
    ListShape shape;
    shape.sidewaysScrollBar = view->horizontalScrollBar()->isVisible();
    const QRect viewport = view->viewport()->rect();
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        if (!viewport.intersects(rect))
            continue;
        shape.rowsFillTheWidth = shape.rowsFillTheWidth && rect.left() == viewport.left() &&
                                 rect.right() == viewport.right();
        shape.wholeRows += rect.top() >= viewport.top() && rect.bottom() <= viewport.bottom();
    }
    return shape;
}

// What the X server shows of the window.
QImage onScreen(QWidget& window) {
    return window.screen()->grabWindow(0).toImage().copy(window.frameGeometry());
}

// Saved once the window shows its background at the top left corner.
void saveScreenshot(QWidget& window, const Theme& theme, const QString& name) {
    const QRgb background = QColor::fromRgba(theme.colours[Theme::Background]).rgb();
    EXPECT_TRUE(processUntil([&] { return onScreen(window).pixel(1, 1) == background; }));
    const QString folder = QString(QV_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    EXPECT_TRUE(onScreen(window).save(folder + "/" + name));
}

// Widened with its grip, an item executed, then shown with the history: the
// box is back at its usual width and its list is laid out for it, rows as
// wide as the list (their right-aligned "#n" and actions not cut), no
// sideways scroll bar, the last row whole.
TEST_F(WndRunOnDisplay, TheListFollowsTheBoxWidthAfterAGripResize) {
    host.settings->maxHeight = 3;
    for (const auto& item : host.items)
        host.actions[item->baseId()] = {makeAction(L"open", L"Open"), makeAction(L"edit", L"Edit")};
    host.history = host.items;
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    box->searchBox().setText(L"e");
    const int width = frame().width();
    const int margin = theme->controlMargin.x;
    QWidget& grip = gripOf(*box);
    ASSERT_EQ(xdotool("mousemove " + screenPoint(grip, grip.rect().center())), 0);
    ButtonHeld button;
    ASSERT_TRUE(button.held());
    ASSERT_EQ(xdotool("mousemove_relative -- 141 0"), 0);
    ASSERT_TRUE(processUntil([&] { return frame().width() == width + 141; }))
        << frame().width() << " after the grip's drag from " << width;
    ASSERT_TRUE(button.release());
    EXPECT_EQ(box->list().hwnd()->width(), width + 141 - 2 * margin);

    ASSERT_EQ(xdotool("key Return"), 0);
    ASSERT_TRUE(processUntil([&] { return !box->isVisible(); }));
    box->showMode(true, WndRun::ShowHistory);
    ASSERT_TRUE(processUntil([&] {
        return mappedOnServer(*box->hwnd()) && box->list().count() == 4 &&
               box->hwnd()->windowHandle()->geometry() == box->hwnd()->geometry();
    }));
    saveScreenshot(*box->hwnd(), *theme, "launchbox-history-after-resize.png");
    EXPECT_EQ(frame().width(), width);
    EXPECT_EQ(box->list().hwnd()->width(), width - 2 * margin);
    const ListShape shape = shapeOf(*box);
    EXPECT_FALSE(shape.sidewaysScrollBar);
    EXPECT_TRUE(shape.rowsFillTheWidth);
    EXPECT_EQ(shape.wholeRows, 3);
}

// The pixels of that colour in the window's own drawing, outside its search
// box and list (whose text may blend into any colour).
int backgroundPixels(WndRun& box, QRgb colour) {
    const QImage image = onScreen(*box.hwnd());
    const QRect children[] = {box.searchBox().hwnd()->geometry(), box.list().hwnd()->geometry()};
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour &&
                     std::none_of(std::begin(children), std::end(children),
                                  [&](const QRect& child) { return child.contains(x, y); });
    return count;
}

// Another theme while the box is shown, as a reload applies it: no pixel of
// the old background is left (the grip's strip along the right edge
// included), the theme's margin is kept on both sides of the list, and the
// box is as high as its rows in the new theme. Then one that changes the
// colours alone.
TEST_F(WndRunOnDisplay, ASwitchedThemeRepaintsTheWholeBoxWithItsMargins) {
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    box->searchBox().setText(L"e");
    ASSERT_EQ(labels().size(), 4u);
    const std::map<wstr, wstr> themes[] = {
        {{L"color_background", L"#1c3a5e"},
         {L"color_faded", L"#e0c040"},
         {L"control_margin", L"12,12"}},
        {{L"color_background", L"#5e1c3a"}, {L"control_margin", L"12,12"}},
    };
    for (const auto& values : themes) {
        SCOPED_TRACE(wstr::toUtf8(values.at(L"color_background")));
        const QRgb before = QColor::fromRgba(theme->colours[Theme::Background]).rgb();
        ASSERT_TRUE(processUntil([&] { return backgroundPixels(*box, before) > 0; }));
        theme->initialize(box->hwnd(), values);
        box->applyTheme();
        const QRgb after = QColor::fromRgba(theme->colours[Theme::Background]).rgb();
        EXPECT_TRUE(processUntil([&] { return backgroundPixels(*box, before) == 0; }))
            << backgroundPixels(*box, before) << " pixels of the old background";
        saveScreenshot(*box->hwnd(), *theme, "launchbox-theme-switch.png");
        const QImage image = onScreen(*box->hwnd());
        const QRect list = box->list().hwnd()->geometry();
        EXPECT_EQ(list.left(), 12);
        EXPECT_EQ(image.width() - 1 - list.right(), 12) << "the right margin";
        int strip = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = list.right() + 1; x < image.width(); ++x)
                strip += image.pixel(x, y) != after;
        EXPECT_EQ(strip, 0) << "pixels of another colour in the right margin";
        EXPECT_EQ(shapeOf(*box).wholeRows, 4) << "rows cut";
    }
}

// A click on the body without a move is no drag: the window manager takes no
// move, the box stays where it is and keeps the keyboard.
TEST_F(WndRunOnDisplay, AQuickClickOnTheBodyLeavesTheKeyboardToTheSearchBox) {
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    const QPoint before = frame().topLeft();
    const std::pair<const char*, const wchar_t*> rounds[] = {{"te", L"te"}, {"x", L"tex"}};
    for (const auto& [typed, text] : rounds) {
        // The status line's band, which moves down as rows come.
        const QRect band = box->statusRect();
        ASSERT_FALSE(band.isEmpty());
        const std::string at = screenPoint(*box->hwnd(), band.topLeft() + QPoint(4, 2));
        ASSERT_EQ(xdotool("mousemove " + at + " click 1"), 0);
        ASSERT_EQ(xdotool(std::string("type --delay 20 ") + typed), 0);
        EXPECT_TRUE(processUntil([&] { return box->searchBox().getText() == text; }))
            << wstr::toUtf8(box->searchBox().getText());
    }
    EXPECT_EQ(frame().topLeft(), before) << "moved to " << frame().x() << "," << frame().y();
    EXPECT_TRUE(host.captured.empty()) << "a click recorded as a move";
}

// Placed at the mouse near the bottom right corner, the box moves up so
// that the rows max_height allows fit in the work area.
TEST_F(WndRunOnDisplay, AtTheMouseNearTheBottomCornerTheBoxShowsItsRows) {
    host.settings->geometry.mode = GeometrySetting::MousePos;
    host.settings->maxHeight = 3;
    const QRect work = box->hwnd()->screen()->availableGeometry();
    screens->cursor = Sys::Point{work.right() - 4, work.bottom() - 4};
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    box->searchBox().setText(L"e");
    ASSERT_EQ(labels().size(), 4u);
    ASSERT_TRUE(processUntil(
        [&] { return box->hwnd()->windowHandle()->geometry() == box->hwnd()->geometry(); }));
    EXPECT_EQ(shapeOf(*box).wholeRows, 3);
    EXPECT_TRUE(work.contains(frame()))
        << frame().x() << "," << frame().y() << " " << frame().width() << "x" << frame().height();
    EXPECT_EQ(frame().right(), work.right()) << "still at the mouse";
}

// Where a row of the result list is on the screen, as xdotool takes it.
std::string rowPoint(WndRun& box, int row) {
    auto* view = static_cast<QListView*>(box.list().hwnd());
    return screenPoint(*view->viewport(), view->visualRect(view->model()->index(row, 0)).center());
}

// In single-click mode a click on a row executes it: the rows show the hand
// under the pointer, and a reload that ends the mode takes it away again.
TEST_F(WndRunOnDisplay, SingleClickRowsShowTheHand) {
    box->show(true);
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == box->hwnd(); }));
    box->searchBox().setText(L"e");
    ASSERT_EQ(labels().size(), 4u);
    const QWidget* rows = static_cast<QListView*>(box->list().hwnd())->viewport();
    ASSERT_EQ(xdotool("mousemove " + rowPoint(*box, 1)), 0);
    ASSERT_TRUE(processUntil([&] { return QApplication::widgetAt(QCursor::pos()) == rows; }));
    for (bool singleClick : {true, false, true}) {
        SCOPED_TRACE(singleClick ? "single click" : "double click");
        host.settings->singleClick = singleClick;
        box->applyTheme();
        const QWidget* under = QApplication::widgetAt(QCursor::pos());
        ASSERT_EQ(under, rows);
        EXPECT_EQ(under->cursor().shape(), singleClick ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

// Takes what is dropped on it as text.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }
    QString dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        dropped = event->mimeData()->text();
        event->acceptProposedAction();
    }
};

// A row dragged with either button goes out as the item's target; a right
// click that does not move opens the item's menu instead.
TEST_F(WndRunOnDisplay, EitherButtonDragsARowOut) {
    DropTarget target;
    target.setGeometry(700, 450, 300, 200);
    target.show();
    box->show(true);
    ASSERT_TRUE(processUntil([&] {
        return QApplication::activeWindow() == box->hwnd() && target.windowHandle() &&
               target.windowHandle()->isExposed();
    }));
    const std::string drop = screenPoint(target, target.rect().center());
    for (int button : {1, 3}) {
        SCOPED_TRACE("button " + std::to_string(button));
        box->searchBox().setText(L"files");
        ASSERT_EQ(labels(), std::vector<wstr>{L"Files"});
        target.dropped.clear();
        const std::string b = std::to_string(button);
        // Queued at once: the drag's own loop takes the moves and the release.
        ASSERT_EQ(xdotool("mousemove " + rowPoint(*box, 0) + " mousedown " + b +
                          " mousemove_relative 30 30 mousemove " + drop +
                          " mousemove_relative 5 5 mouseup " + b),
                  0);
        EXPECT_TRUE(processUntil([&] { return target.dropped == "target:Files"; }))
            << target.dropped.toStdString();
        EXPECT_TRUE(host.itemMenus.empty());
    }
    ASSERT_EQ(xdotool("mousemove " + rowPoint(*box, 0) + " click 3"), 0);
    ASSERT_TRUE(processUntil([&] { return !host.itemMenus.empty(); }));
    EXPECT_EQ(host.itemMenus[0]->label(), L"Files");
}

} // namespace
