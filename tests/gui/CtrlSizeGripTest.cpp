#include "gui/CtrlSizeGrip.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"

#include <gtest/gtest.h>

using namespace Gui;

namespace {

class CtrlSizeGripTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        Wnd::create(parent, new QWidget);
        parent.hwnd()->setGeometry(50, 50, 500, 300);
        parent.hwnd()->show();
        parent.handler = [](uint32_t message, uintptr_t,
                            intptr_t lParam) -> std::optional<intptr_t> {
            if (message != GetMinMaxInfo)
                return std::nullopt;
            auto* limits = reinterpret_cast<MinMaxInfo*>(lParam);
            limits->minTrack = {400, 200};
            limits->maxTrack = {900, 700};
            return 0;
        };
    }
    void drag(CtrlSizeGrip& grip, QPoint travel) {
        const QPoint start(5, 5);
        grip.sendMessage(LButtonDown, ButtonLeft, packPoint(start));
        grip.sendMessage(MouseMove, ButtonLeft, packPoint(start + travel));
        grip.sendMessage(LButtonUp, 0, packPoint(start + travel));
    }

    qvtest::WndRecorder parent;
};

TEST_F(CtrlSizeGripTest, DraggingResizesTheParentWithinItsLimits) {
    CtrlSizeGrip grip(parent, CtrlSizeGrip::GripHorizontal | CtrlSizeGrip::GripVertical, Qt::gray,
                      Qt::white);
    grip.hwnd()->setGeometry(480, 280, 20, 20);
    struct Case {
        QPoint travel;
        QSize expected;
    };
    const Case cases[] = {
        {{100, 50}, {600, 350}},
        {{-500, -500}, {400, 200}},
        {{1000, 1000}, {900, 700}},
    };
    for (const Case& c : cases) {
        parent.hwnd()->resize(500, 300);
        drag(grip, c.travel);
        EXPECT_EQ(parent.hwnd()->size(), c.expected) << c.travel.x() << "," << c.travel.y();
    }
    EXPECT_FALSE(grip.dragging());
    EXPECT_EQ(grip.cursorShape(), Qt::SizeFDiagCursor);
}

TEST_F(CtrlSizeGripTest, AHorizontalGripNeverChangesTheHeight) {
    CtrlSizeGrip grip(parent, CtrlSizeGrip::GripHorizontal, Qt::gray, Qt::white);
    grip.hwnd()->setGeometry(480, 280, 20, 20);
    parent.messages.clear();
    drag(grip, {60, 80});
    EXPECT_EQ(parent.hwnd()->size(), QSize(560, 300));
    EXPECT_EQ(grip.cursorShape(), Qt::SizeHorCursor);

    std::vector<uint32_t> sizing;
    for (const qvtest::Message& m : parent.messages)
        if (m.message == EnterSizeMove || m.message == Sizing || m.message == ExitSizeMove)
            sizing.push_back(m.message);
    EXPECT_EQ(sizing, (std::vector<uint32_t>{EnterSizeMove, Sizing, ExitSizeMove}));
}

TEST_F(CtrlSizeGripTest, MovesWithoutADragDoNothing) {
    CtrlSizeGrip grip(parent, CtrlSizeGrip::GripVertical, Qt::gray, Qt::white);
    grip.sendMessage(MouseMove, 0, packPoint({300, 300}));
    EXPECT_EQ(parent.hwnd()->size(), QSize(500, 300));
    EXPECT_EQ(grip.cursorShape(), Qt::SizeVerCursor);
}

// A theme applied again: the grip draws its dots and background in the
// new colours.
TEST_F(CtrlSizeGripTest, NewColoursAreDrawnAtOnce) {
    CtrlSizeGrip grip(parent, CtrlSizeGrip::GripHorizontal | CtrlSizeGrip::GripFullDots, Qt::gray,
                      Qt::white);
    grip.hwnd()->setGeometry(480, 280, 20, 20);
    // The lowest dot of the right column: two pixels square, one dot in from
    // the corner.
    const QPoint dot(20 - 2 - 1, 20 - 2 - 1);
    struct Case {
        QColor dots;
        QColor back;
    };
    const Case cases[] = {{Qt::gray, Qt::white}, {Qt::yellow, Qt::darkBlue}};
    for (const Case& c : cases) {
        grip.setColours(c.dots, c.back);
        const QImage image = grip.hwnd()->grab().toImage();
        EXPECT_EQ(image.pixelColor(1, 1), c.back);
        EXPECT_EQ(image.pixelColor(dot), c.dots);
    }
}

} // namespace
