#include "gui/CtrlList.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"
#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QListView>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Gui;

namespace {

TEST(CtrlList, MoveTargets) {
    struct Case {
        const char* name;
        int current;
        bool down;
        int step;
        bool wrap;
        int expected;
    };
    // Ten rows.
    const Case cases[] = {
        {"down stops on the last row", 8, true, 5, true, 9},
        {"down from the last row wraps", 9, true, 5, true, 0},
        {"up stops on the first row", 2, false, 5, true, 0},
        {"up from the first row wraps", 0, false, 5, true, 9},
        {"no wrap at the last row", 9, true, 1, false, 9},
        {"no wrap at the first row", 0, false, 1, false, 0},
        {"no selection goes to the first row", -1, false, 3, true, 0},
        {"a plain step", 4, true, 1, false, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CtrlList::moveTarget(10, c.current, c.down, c.step, c.wrap), c.expected)
            << c.name;
}

class CtrlListTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::qtApp();
        Wnd::create(owner, new QWidget);
        owner.hwnd()->resize(200, 200);
        owner.hwnd()->show();
        list = std::make_unique<CtrlList>(owner, nullptr, CtrlList::ListNotify);
        list->hwnd()->setGeometry(0, 0, 200, 200);
        list->setCount(10);
        owner.messages.clear();
    }
    std::size_t notifications() const {
        std::size_t count = 0;
        for (const qvtest::Message& m : owner.messages)
            if (m.message == Command && (m.wParam >> 16) == ListSelChange &&
                m.lParam == reinterpret_cast<intptr_t>(list->hwnd()))
                ++count;
        return count;
    }

    qvtest::WndRecorder owner;
    std::unique_ptr<CtrlList> list;
};

TEST_F(CtrlListTest, MovingTheSelectionNotifiesTheOwnerOncePerChange) {
    list->select(8, false);
    list->moveSelection(true, 5, true);
    EXPECT_EQ(list->currentIndex(), 9);
    list->moveSelection(true, 5, true);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(notifications(), 3u);

    list->select(9, false);
    owner.messages.clear();
    list->moveSelection(true, 1, false);
    EXPECT_EQ(list->currentIndex(), 9);
    EXPECT_EQ(notifications(), 0u);
}

TEST_F(CtrlListTest, SelectingRowsThatDoNotExist) {
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_FALSE(list->select(10, false));
    EXPECT_TRUE(list->select(3, false));
    EXPECT_TRUE(list->select(3, false));
    EXPECT_EQ(notifications(), 1u);
    EXPECT_TRUE(list->select(-1, false));
    EXPECT_EQ(list->currentIndex(), -1);
}

TEST_F(CtrlListTest, TheUsersSelectionNotifiesToo) {
    auto* view = static_cast<QListView*>(list->hwnd());
    view->setCurrentIndex(view->model()->index(4, 0));
    EXPECT_EQ(list->currentIndex(), 4);
    EXPECT_EQ(notifications(), 1u);
}

TEST_F(CtrlListTest, RowsAreMeasuredAndDrawnByTheOwner) {
    owner.handler = [](uint32_t message, uintptr_t, intptr_t lParam) -> std::optional<intptr_t> {
        if (message == MeasureItem) {
            reinterpret_cast<MeasureItemInfo*>(lParam)->height = 25;
            return 1;
        }
        if (message == DrawItem) {
            auto* item = reinterpret_cast<DrawItemInfo*>(lParam);
            item->painter->fillRect(item->rect, item->selected ? Qt::red : Qt::blue);
            return 1;
        }
        return std::nullopt;
    };
    list->setCount(3);
    list->select(1, false);
    QImage image = list->hwnd()->grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 10), QColor(Qt::blue));
    EXPECT_EQ(image.pixelColor(10, 35), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(10, 60), QColor(Qt::blue));
}

// Drawn rows that change (an icon that arrived) are drawn again when the
// list is invalidated.
TEST_F(CtrlListTest, InvalidatingDrawsTheRowsAgain) {
    int draws = 0;
    owner.handler = [&draws](uint32_t message, uintptr_t,
                             intptr_t lParam) -> std::optional<intptr_t> {
        if (message != DrawItem)
            return std::nullopt;
        ++draws;
        auto* item = reinterpret_cast<DrawItemInfo*>(lParam);
        item->painter->fillRect(item->rect, Qt::blue);
        return 1;
    };
    list->setCount(3);
    auto drawnAgain = [&] {
        QCoreApplication::processEvents();
        return draws >= 3;
    };
    ASSERT_TRUE(qvtest::waitFor(drawnAgain));
    for (int round = 0; round < 2; ++round) {
        QCoreApplication::processEvents();
        draws = 0;
        list->invalidate(nullptr, false);
        EXPECT_TRUE(qvtest::waitFor(drawnAgain)) << "round " << round;
    }
}

} // namespace
