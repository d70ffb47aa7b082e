#include "gui/CtrlList.h"
#include "gui/WndMessage.h"

#include "tests/gui/WndRecorder.h"

#include <QListView>
#include <QPainter>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

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

// Icons that arrive later redraw the rows: invalidating the list reaches the
// viewport the rows are drawn on, all of it or one row.
TEST_F(CtrlListTest, InvalidatingRedrawsTheRows) {
    std::vector<int> drawn;
    owner.handler = [&](uint32_t message, uintptr_t, intptr_t lParam) -> std::optional<intptr_t> {
        if (message == MeasureItem) {
            reinterpret_cast<MeasureItemInfo*>(lParam)->height = 25;
            return 1;
        }
        if (message == DrawItem) {
            drawn.push_back(reinterpret_cast<DrawItemInfo*>(lParam)->index);
            return 1;
        }
        return std::nullopt;
    };
    list->setCount(3);
    const auto paintedWithin = [&](std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (drawn.empty() && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return !drawn.empty();
    };
    ASSERT_TRUE(paintedWithin(std::chrono::seconds(5)));
    for (int pass = 0; pass < 2; ++pass) {
        QApplication::processEvents();
        drawn.clear();
        list->invalidate(nullptr, false);
        ASSERT_TRUE(paintedWithin(std::chrono::seconds(5))) << pass;
        EXPECT_EQ(std::set<int>(drawn.begin(), drawn.end()), (std::set<int>{0, 1, 2}));
    }
    auto* view = static_cast<QListView*>(list->hwnd());
    const QRect second =
        view->visualRect(view->model()->index(1, 0)).translated(view->viewport()->pos());
    drawn.clear();
    list->invalidate(&second, false);
    ASSERT_TRUE(paintedWithin(std::chrono::seconds(5)));
    EXPECT_EQ(std::set<int>(drawn.begin(), drawn.end()), std::set<int>{1});
    drawn.clear();
    list->update();
    EXPECT_TRUE(drawn.size() >= 3u) << "painted at once";
}

// Rows measured while the list was wide, then narrowed and widened: every
// row is drawn as wide as the list is now, and the list never scrolls
// sideways.
TEST_F(CtrlListTest, RowsAreAsWideAsTheListAtEachWidth) {
    std::map<int, int> drawnWidths;
    owner.handler = [&](uint32_t message, uintptr_t, intptr_t lParam) -> std::optional<intptr_t> {
        if (message == MeasureItem) {
            reinterpret_cast<MeasureItemInfo*>(lParam)->height = 25;
            return 1;
        }
        if (message == DrawItem) {
            auto* item = reinterpret_cast<DrawItemInfo*>(lParam);
            drawnWidths[item->index] = item->rect.width();
            return 1;
        }
        return std::nullopt;
    };
    auto* view = static_cast<QListView*>(list->hwnd());
    list->hwnd()->resize(340, 100);
    list->setCount(3);
    for (int width : {340, 200, 120, 260}) {
        list->hwnd()->resize(width, 100);
        drawnWidths.clear();
        view->grab();
        const int viewport = view->viewport()->width();
        EXPECT_EQ(drawnWidths, (std::map<int, int>{{0, viewport}, {1, viewport}, {2, viewport}}))
            << "at " << width;
        EXPECT_FALSE(view->horizontalScrollBar()->isVisible()) << "at " << width;
    }
}

} // namespace
