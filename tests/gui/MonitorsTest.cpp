#include "gui/Monitors.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Record = Monitors::Record;

TEST(Monitors, ParsesOneMonitor) {
    struct Case {
        const wchar_t* text;
        bool ok;
        Record record;
    };
    for (const Case& c : std::initializer_list<Case>{
             {L"0,0,1920,1080,96dpi", true, {0, 0, 1920, 1080, 96}},
             {L" -1920 , 0 ,1920, 1080 ,, 144dpi ", true, {-1920, 0, 0, 1080, 144}},
             {L"+5,-5,10,10,junk,120dpi,96dpi", true, {5, -5, 15, 5, 120}},
             {L"0,0,1920,1080", false, {}},
             {L"0,0,1920,1080,0dpi", false, {}},
             {L"0,0,1920,1080,96DPI", false, {}},
             {L"0,0,1920,1080,dpi", false, {}},
             {L"0,0,-1920,1080,96dpi", false, {}},
             {L"0,0,1920.5,1080,96dpi", false, {}},
             {L"2147483647,0,1,1,96dpi", false, {}},
             {L"-2147483648,0,1,1,96dpi", false, {}},
             {L"0,0,2147483647,1,96dpi", false, {}},
             {L"0,0,1,1,2147483647dpi", false, {}},
             {L"x,0,1,1,96dpi", false, {}}}) {
        Record record;
        EXPECT_EQ(Monitors::parseMonitor(c.text, record), c.ok) << wstr::toUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(record, c.record) << wstr::toUtf8(c.text);
        }
    }
}

TEST(Monitors, EdgesBeyondTheCoordinateRangeAreClamped) {
    Record record;
    ASSERT_TRUE(Monitors::parseMonitor(L"2147483646,2147483646,2147483646,5,96dpi", record));
    EXPECT_EQ(record.right, INT32_MAX);
    EXPECT_EQ(record.bottom, INT32_MAX);
}

TEST(Monitors, ParsesAndComparesSets) {
    std::vector<Record> records;
    EXPECT_TRUE(Monitors::parseDescription(L"MONITORS(0,0,800,600,96dpi)", records));
    EXPECT_EQ(records, (std::vector<Record>{{0, 0, 800, 600, 96}}));
    EXPECT_TRUE(Monitors::parseDescription(
        L"monitors(0,0,1920,1080,96dpi||1920,0,2560,1440,144dpi)", records));
    EXPECT_EQ(records.size(), 2u);
    for (const wchar_t* bad : {L"", L"monitors()", L"monitors(|)", L"monitors(0,0,1920,1080)",
                               L"monitors(0,0,800,600,96dpi", L"screens(0,0,800,600,96dpi)",
                               L"monitors(0,0,800,600,96dpi|bad)"})
        EXPECT_FALSE(Monitors::parseDescription(bad, records)) << wstr::toUtf8(bad);

    const wchar_t* two = L"monitors(0,0,1920,1080,96dpi|1920,0,1280,1024,96dpi)";
    EXPECT_EQ(Monitors::compareDescriptions(
                  two, L"Monitors( 0,0,1920,1080,96dpi | 1920,0,1280,1024,96dpi )"),
              1);
    EXPECT_EQ(
        Monitors::compareDescriptions(two, L"monitors(1920,0,1280,1024,96dpi|0,0,1920,1080,96dpi)"),
        0);
    EXPECT_EQ(Monitors::compareDescriptions(
                  two, L"monitors(0,0,1920,1080,120dpi|1920,0,1280,1024,96dpi)"),
              0);
    EXPECT_EQ(Monitors::compareDescriptions(two, L"monitors(0,0,1920,1080,96dpi)"), 0);
    EXPECT_EQ(Monitors::compareDescriptions(two, L"monitors()"), -1);
    EXPECT_EQ(Monitors::compareDescriptions(L"junk", two), -1);
}

TEST(Monitors, LargestOverlap) {
    const wchar_t* two = L"monitors(0,0,1000,1000,96dpi|1000,0,1000,1000,96dpi)";
    struct Case {
        const char* name;
        Sys::Rect rect;
        int64_t index;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"inside the second", {1100, 10, 1500, 400}, 1},
             {"mostly on the first", {600, 0, 1200, 100}, 0},
             {"half on each picks the first", {900, 0, 1100, 100}, 0},
             {"touching an edge only", {1000, 1000, 1200, 1200}, -1},
             {"one pixel deep counts nothing", {999, 0, 1001, 1}, -1},
             {"outside", {-500, -500, -100, -100}, -1},
             {"covering everything", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 0}})
        EXPECT_EQ(Monitors::indexByLargestOverlap(two, c.rect), c.index) << c.name;
    EXPECT_EQ(Monitors::indexByLargestOverlap(L"monitors()", {0, 0, 10, 10}), -1);
}

std::shared_ptr<Sys::MonitorInfo> monitor(uintptr_t handle, Sys::Rect rect, Sys::Rect work,
                                          uint32_t dpi, bool primary) {
    auto info = std::make_shared<Sys::MonitorInfo>();
    info->handle = handle;
    info->monitor = rect;
    info->work = work;
    info->dpi = {dpi, dpi};
    info->primary = primary;
    return info;
}

// Monitors the test sets up, handed out by the display service.
class Screens : public Sys::DisplayService {
public:
    std::vector<std::shared_ptr<Sys::MonitorInfo>> list;
    std::vector<std::shared_ptr<Sys::MonitorInfo>> monitors() override { return list; }
    Sys::Dpi windowDpi(const void*, uintptr_t) override { return {}; }
};

class MonitorSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A secondary monitor left of the primary one.
        screens->list = {monitor(7, {-1280, 0, 0, 1024}, {-1280, 0, 0, 984}, 96, false),
                         monitor(9, {0, 0, 2560, 1440}, {0, 0, 2560, 1400}, 144, true)};
        Sys::setDisplayService(screens);
    }
    void TearDown() override { Sys::setDisplayService(nullptr); }

    std::shared_ptr<Screens> screens = std::make_shared<Screens>();
};

TEST_F(MonitorSetTest, DescribesTheMonitorsInEnumerationOrder) {
    Monitors set;
    set.describe();
    EXPECT_EQ(set.description(), L"monitors(-1280,0,1280,1024,96dpi|0,0,2560,1440,144dpi)");
    ASSERT_EQ(set.monitors().size(), 2u);
    EXPECT_EQ(set.monitors()[1]->index, 1u);
    EXPECT_EQ(set.monitors()[1]->describe(), L"0,0,2560,1440,144dpi");
    EXPECT_EQ(set.primary(), set.monitors()[1]);

    screens->list[1]->primary = false;
    set.describe();
    EXPECT_EQ(set.primary(), set.monitors()[0]);
    screens->list.clear();
    set.describe();
    EXPECT_EQ(set.description(), L"monitors()");
    EXPECT_EQ(set.primary(), nullptr);
}

TEST_F(MonitorSetTest, FindsTheNearestMonitor) {
    Monitors set;
    set.describe();
    EXPECT_EQ(set.fromRect({-500, 10, 100, 50}), set.monitors()[0]);
    EXPECT_EQ(set.fromRect({-100, 10, 500, 50}), set.monitors()[1]);
    EXPECT_EQ(set.fromRect({-3000, 10, -2000, 50}), set.monitors()[0]);
    EXPECT_EQ(set.fromRect({2600, 2000, 2700, 2100}), set.monitors()[1]);

    // A monitor the set does not know yet makes it describe the monitors again.
    Monitors::MonitorPtr held = set.monitors()[0];
    screens->list.push_back(monitor(11, {2560, 0, 3840, 1024}, {2560, 0, 3840, 1024}, 96, false));
    Monitors::MonitorPtr third = set.fromRect({3000, 10, 3100, 50});
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->index, 2u);
    EXPECT_EQ(held->describe(), L"-1280,0,1280,1024,96dpi");

    screens->list.clear();
    EXPECT_EQ(set.fromRect({0, 0, 10, 10}), nullptr);
}

TEST_F(MonitorSetTest, FitsARectangleIntoTheWorkArea) {
    struct Case {
        const char* name;
        Sys::Rect rect;
        Sys::Rect fitted;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"inside", {10, 10, 110, 110}, {10, 10, 110, 110}},
             {"below the taskbar", {100, 1390, 300, 1490}, {100, 1300, 300, 1400}},
             {"far left", {-5000, 10, -4900, 110}, {-1280, 10, -1180, 110}},
             {"too large", {-10, -10, 3000, 2000}, {0, 0, 2560, 1400}},
             {"near the edge of the range",
              {INT32_MAX - 10, 0, INT32_MAX, 10},
              {2550, 0, 2560, 10}}}) {
        Sys::Rect rect = c.rect;
        ASSERT_TRUE(Monitors::fitRectToWorkArea(rect)) << c.name;
        EXPECT_EQ(rect.left, c.fitted.left) << c.name;
        EXPECT_EQ(rect.top, c.fitted.top) << c.name;
        EXPECT_EQ(rect.right, c.fitted.right) << c.name;
        EXPECT_EQ(rect.bottom, c.fitted.bottom) << c.name;
    }
    screens->list.clear();
    Sys::Rect rect{1, 2, 3, 4};
    EXPECT_FALSE(Monitors::fitRectToWorkArea(rect));
    EXPECT_EQ(rect.right, 3);
}

} // namespace
