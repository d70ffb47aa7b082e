#include "gui/Wnd.h"
#include "gui/InputSink.h"
#include "gui/VirtualKey.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"
#include "tests/support/FakeDisplay.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace Gui;
using qvtest::WndRecorder;

namespace {

class WndTest : public ::testing::Test {
protected:
    void SetUp() override { qvtest::qtApp(); }
};

void press(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &event);
}

TEST_F(WndTest, CreationBindsAndDestructionUnbinds) {
    WndRecorder wnd;
    auto* widget = new QWidget;
    Wnd::create(wnd, widget);
    EXPECT_EQ(wnd.hwnd(), widget);
    EXPECT_TRUE(wnd.exists());
    EXPECT_EQ(Wnd::fromHandle(widget), &wnd);
    ASSERT_FALSE(wnd.messages.empty());
    EXPECT_EQ(wnd.messages.front().message, NcCreate);
    wnd.setText(wstr(L"ab\0cd", 5));
    EXPECT_EQ(wnd.getText(), L"ab");
    EXPECT_EQ(wnd.getTextLength(), 5);

    wnd.close(0);
    EXPECT_EQ(wnd.messages.back().message, NcDestroy);
    EXPECT_FALSE(wnd.exists());
    EXPECT_EQ(wnd.hwnd(), nullptr);
    EXPECT_EQ(Wnd::fromHandle(widget), nullptr);
    // The object still answers, unbound.
    EXPECT_EQ(wnd.getText(), L"");
    EXPECT_EQ(wnd.sendMessage(User), 0);
    QPoint point(5, 5);
    EXPECT_FALSE(wnd.getCursorPos(point));
    EXPECT_EQ(point, QPoint(0, 0));
}

TEST_F(WndTest, WidgetDestroyedByItsParentUnbindsTheObject) {
    WndRecorder child;
    auto parent = std::make_unique<QWidget>();
    Wnd::create(child, new QWidget(parent.get()));
    parent.reset();
    EXPECT_EQ(child.messages.back().message, NcDestroy);
    EXPECT_FALSE(child.exists());
    EXPECT_EQ(child.hwnd(), nullptr);
}

TEST_F(WndTest, NoObjectNoBinding) {
    QWidget widget;
    EXPECT_EQ(Wnd::staticWndProc(&widget, NcCreate, 0, 0), 0);
    EXPECT_EQ(Wnd::fromHandle(&widget), nullptr);
    EXPECT_EQ(Wnd::staticWndProc(&widget, User, 0, 0), 0);
}

// The widget sees a Qt event only when every message made from it was
// passed on.
TEST_F(WndTest, HandledMessagesKeepTheEventFromTheWidget) {
    WndRecorder wnd;
    auto* edit = new QLineEdit;
    Wnd::create(wnd, edit);
    wnd.handler = [](uint32_t message, uintptr_t wParam, intptr_t) -> std::optional<intptr_t> {
        if (message == Char && wParam == L'x')
            return 0;
        return std::nullopt;
    };
    press(edit, Qt::Key_X, Qt::NoModifier, "x");
    press(edit, Qt::Key_Y, Qt::ShiftModifier, "Y");
    EXPECT_EQ(edit->text(), "Y");

    auto keyDowns = std::count_if(wnd.messages.begin(), wnd.messages.end(),
                                  [](const qvtest::Message& m) { return m.message == KeyDown; });
    EXPECT_EQ(keyDowns, 2);
    const qvtest::Message& last = wnd.messages.back();
    EXPECT_EQ(last.message, Char);
    EXPECT_EQ(last.wParam, uintptr_t(L'Y'));
    EXPECT_EQ(last.lParam, intptr_t(ModShift));
}

TEST_F(WndTest, KeyMessagesSentByCodeReachTheWidget) {
    WndRecorder wnd;
    auto* edit = new QLineEdit;
    Wnd::create(wnd, edit);
    edit->setText("abc");
    wnd.sendMessage(KeyDown, VkLeft, ModShift);
    EXPECT_EQ(edit->selectedText(), "c");
    wnd.sendMessage(Char, L'z', 0);
    EXPECT_EQ(edit->text(), "abz");
}

TEST_F(WndTest, PostedMessagesArriveFromTheEventLoop) {
    WndRecorder wnd;
    Wnd::create(wnd, new QWidget);
    EXPECT_TRUE(wnd.postMessage(User + 5, 1, 2));
    EXPECT_FALSE(wnd.got(User + 5));
    QCoreApplication::sendPostedEvents(wnd.hwnd());
    ASSERT_TRUE(wnd.got(User + 5));
    EXPECT_EQ(wnd.messages.back().wParam, 1u);
    EXPECT_EQ(wnd.messages.back().lParam, 2);
}

class Listener : public Wnd::ParentListener {
public:
    intptr_t onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) override {
        seen.push_back(message);
        if (message == KeyDown && wParam == VkReturn)
            return 0;
        return child.wndProc(message, wParam, lParam);
    }
    std::vector<uint32_t> seen;
};

TEST_F(WndTest, ParentListenerGetsTheChildsMessagesFirst) {
    Listener listener;
    WndRecorder child;
    auto* edit = new QLineEdit;
    Wnd::create(child, edit);
    child.setParentListener(&listener);
    child.messages.clear();
    press(edit, Qt::Key_Return, Qt::NoModifier, "\r");
    press(edit, Qt::Key_A, Qt::NoModifier, "a");

    EXPECT_EQ(listener.seen, (std::vector<uint32_t>{KeyDown, KeyDown, Char}));
    // Enter stopped at the parent; the rest went on to the child and the widget.
    ASSERT_EQ(child.messages.size(), 2u);
    EXPECT_EQ(child.messages[0].message, KeyDown);
    EXPECT_EQ(child.messages[0].wParam, uintptr_t('A'));
    EXPECT_EQ(edit->text(), "a");
}

TEST_F(WndTest, DialogResultsGoThroughTheDialogsResultSlot) {
    WndRecorder dialog;
    auto* widget = new QDialog;
    Wnd::create(dialog, widget, true);
    EXPECT_TRUE(dialog.isDialog());
    EXPECT_EQ(dialog.messages.front().message, InitDialog);
    dialog.handler = [](uint32_t message, uintptr_t, intptr_t) -> std::optional<intptr_t> {
        if (message == User + 1)
            return 42;
        return std::nullopt;
    };
    EXPECT_EQ(dialog.wndProc(User + 2, 0, 0), 0) << "unhandled: not handled";
    EXPECT_EQ(dialog.wndProc(User + 1, 0, 0), 1) << "handled: TRUE";
    EXPECT_EQ(dialog.dialogResult(), 42);
    EXPECT_EQ(dialog.sendMessage(User + 1), 42);

    // Ending a dialog keeps it bound until it is destroyed.
    dialog.close(7);
    EXPECT_EQ(widget->result(), 7);
    EXPECT_TRUE(dialog.exists());
}

TEST_F(WndTest, ClosingAHandledWindowIsRefused) {
    WndRecorder wnd;
    auto* widget = new QWidget;
    Wnd::create(wnd, widget);
    widget->show();
    wnd.handler = [](uint32_t message, uintptr_t, intptr_t) -> std::optional<intptr_t> {
        if (message == Close)
            return 0;
        return std::nullopt;
    };
    EXPECT_FALSE(widget->close());
    EXPECT_TRUE(widget->isVisible());
    wnd.handler = nullptr;
    EXPECT_TRUE(widget->close());
    EXPECT_FALSE(widget->isVisible());
}

class RecordingSink : public InputSink {
public:
    bool send(const std::vector<KeyInput>& inputs) override {
        batches.push_back(inputs);
        focusedDuringSend = QApplication::focusWidget();
        return batches.size() <= succeedFor;
    }
    std::vector<std::vector<KeyInput>> batches;
    std::size_t succeedFor = SIZE_MAX;
    QWidget* focusedDuringSend = nullptr;
};

class SendKeyTest : public WndTest {
protected:
    void SetUp() override {
        WndTest::SetUp();
        setInputSink(sink);
    }
    void TearDown() override { setInputSink(nullptr); }
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
};

TEST_F(SendKeyTest, OnlyTheLastPairIsTagged) {
    WndRecorder wnd;
    Wnd::create(wnd, new QLineEdit);
    EXPECT_TRUE(wnd.sendKey(VkDown, 3));
    const std::vector<KeyInput> plain{{VkDown, false, 0}, {VkDown, true, 0}};
    const std::vector<KeyInput> tagged{{VkDown, false, SyntheticKeyTag},
                                       {VkDown, true, SyntheticKeyTag}};
    EXPECT_EQ(sink->batches, (std::vector<std::vector<KeyInput>>{plain, plain, tagged}));

    sink->batches.clear();
    EXPECT_FALSE(wnd.sendKey(VkDown, 0));
    EXPECT_TRUE(sink->batches.empty());
}

TEST_F(SendKeyTest, AFailedSendStopsAndGivesTheFocusBack) {
    QWidget top;
    auto* other = new QLineEdit(&top);
    WndRecorder wnd;
    Wnd::create(wnd, new QLineEdit(&top));
    top.show();
    QApplication::setActiveWindow(&top);
    other->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), other);

    sink->succeedFor = 1;
    EXPECT_FALSE(wnd.sendKey(VkTab, 3));
    EXPECT_EQ(sink->batches.size(), 2u);
    EXPECT_EQ(sink->focusedDuringSend, wnd.hwnd());
    EXPECT_EQ(QApplication::focusWidget(), other);
}

struct ClampCase {
    const char* name;
    Sys::Rect rect;
    Sys::Rect expected;
    bool moved;
    bool resized;
};

TEST(ClampRect, Table) {
    const Sys::Rect bounds{0, 0, 1000, 800};
    const ClampCase cases[] = {
        {"inside", {10, 10, 310, 210}, {10, 10, 310, 210}, false, false},
        {"left of the bounds", {-50, 10, 250, 210}, {0, 10, 300, 210}, true, false},
        {"wider than the bounds", {-50, 10, 1150, 210}, {0, 10, 1000, 210}, true, true},
        {"beyond the right", {900, 10, 1200, 210}, {700, 10, 1000, 210}, true, false},
        {"beyond the bottom", {10, 700, 310, 900}, {10, 600, 310, 800}, true, false},
        {"taller than the bounds", {10, 100, 310, 1000}, {10, 0, 310, 800}, true, true},
        {"near the coordinate limit",
         {INT32_MAX - 10, 0, INT32_MAX, 10},
         {990, 0, 1000, 10},
         true,
         false},
    };
    for (const ClampCase& c : cases) {
        Sys::Rect rect = c.rect;
        bool moved = false;
        bool resized = false;
        EXPECT_EQ(clampRect(rect, bounds, &moved, &resized), c.moved || c.resized) << c.name;
        EXPECT_EQ(toQRect(rect), toQRect(c.expected)) << c.name;
        EXPECT_EQ(moved, c.moved) << c.name;
        EXPECT_EQ(resized, c.resized) << c.name;
    }
}

TEST(FitRectToMonitor, ClampsIntoTheNearestWorkArea) {
    auto screens = std::make_shared<qvtest::Screens>();
    screens->list = {qvtest::monitor(1, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true),
                     qvtest::monitor(2, {1920, 0, 3200, 1024}, {1920, 30, 3200, 1024}, 96, false)};
    Sys::setDisplayService(screens);
    struct Case {
        const char* name;
        Sys::Rect rect;
        Sys::Rect expected;
        Sys::Rect work;
    };
    const Case cases[] = {
        {"mostly on the first", {1700, 10, 2000, 210}, {1620, 10, 1920, 210}, {0, 0, 1920, 1040}},
        {"mostly on the second",
         {1900, 0, 2300, 200},
         {1920, 30, 2320, 230},
         {1920, 30, 3200, 1024}},
        {"off every monitor",
         {5000, 5000, 5100, 5100},
         {3100, 924, 3200, 1024},
         {1920, 30, 3200, 1024}},
    };
    for (const Case& c : cases) {
        Sys::Rect rect = c.rect;
        Sys::Rect work;
        EXPECT_TRUE(fitRectToMonitor(rect, &work)) << c.name;
        EXPECT_EQ(toQRect(rect), toQRect(c.expected)) << c.name;
        EXPECT_EQ(toQRect(work), toQRect(c.work)) << c.name;
    }
    screens->list.clear();
    Sys::Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(fitRectToMonitor(rect));
    EXPECT_EQ(toQRect(rect), QRect(1, 2, 2, 2));
    Sys::setDisplayService(nullptr);
}

} // namespace
