#include "app/AppTimers.h"

#include <gtest/gtest.h>
#include <limits>

using namespace Platform;

namespace {

// Timers on a clock the test moves.
struct FakeClockTimers {
    uint64_t now = 0;
    AppTimers timers{[this] { return now; }};

    // What a pass run at time t finds due.
    AppTimers::Due passAt(uint64_t t) {
        now = t;
        return timers.takeDue();
    }
};

std::vector<uint32_t> ids(const AppTimers::Due& due) {
    return due.ids;
}

} // namespace

TEST(AppTimers, ALaterRequestPushesTheTimerAndItRunsOnce) {
    FakeClockTimers t;
    t.timers.set(11, 1000);
    t.now = 600;
    t.timers.set(11, 1000);
    EXPECT_TRUE(t.passAt(1000).ids.empty()) << "the first due time was replaced";
    EXPECT_TRUE(t.passAt(1599).ids.empty());
    EXPECT_EQ(ids(t.passAt(1600)), std::vector<uint32_t>{11});
    EXPECT_TRUE(t.passAt(5000).ids.empty()) << "it ran once";
}

TEST(AppTimers, AnEarlierRequestNeverMovesATimerForward) {
    FakeClockTimers t;
    t.timers.set(8, 50);
    t.now = 10;
    t.timers.set(8, 0);
    EXPECT_EQ(t.timers.waitTime(), std::optional<uint64_t>(40));
    EXPECT_TRUE(t.passAt(49).ids.empty());
    EXPECT_EQ(ids(t.passAt(50)), std::vector<uint32_t>{8});
}

TEST(AppTimers, EqualDueTimesChangeNothing) {
    FakeClockTimers t;
    t.timers.set(3, 100);
    t.now = 40;
    t.timers.set(3, 60);
    EXPECT_EQ(ids(t.passAt(100)), std::vector<uint32_t>{3});
}

TEST(AppTimers, TheTrayIdsShareOneEntryThatKeepsItsTime) {
    FakeClockTimers t;
    t.timers.set(6, 100);
    t.now = 50;
    t.timers.set(7, 500);
    const auto early = t.passAt(99);
    EXPECT_FALSE(early.trayId);
    const auto due = t.passAt(100);
    EXPECT_TRUE(due.ids.empty()) << "tray ids are reported apart";
    EXPECT_EQ(due.trayId, std::optional<uint32_t>(7)) << "the icon ends normal";
    EXPECT_FALSE(t.passAt(1000).trayId) << "one entry, run once";
}

TEST(AppTimers, DueIdsComeInListOrderAndEntriesKeepTheirPlace) {
    FakeClockTimers t;
    t.timers.set(3, 100);
    t.timers.set(11, 50);
    t.timers.set(42, 10); // not a known id: stored, removed when due
    t.now = 20;
    t.timers.set(3, 200); // pushed later, keeps its place in front
    EXPECT_EQ(ids(t.passAt(500)), (std::vector<uint32_t>{3, 11, 42}));
}

TEST(AppTimers, WaitTimeFollowsTheNearestEntry) {
    FakeClockTimers t;
    EXPECT_EQ(t.timers.waitTime(), std::nullopt) << "no entry: no time-out";
    t.timers.set(4, 300);
    t.timers.set(5, 120);
    EXPECT_EQ(t.timers.waitTime(), std::optional<uint64_t>(120));
    t.timers.set(9, 0);
    EXPECT_EQ(t.timers.waitTime(), std::optional<uint64_t>(0));
    EXPECT_EQ(ids(t.passAt(0)), std::vector<uint32_t>{9});
}

TEST(AppTimers, AnEntryFoundDueStaysDueWhenTheClockGoesBack) {
    FakeClockTimers t;
    t.now = 1000;
    t.timers.set(2, 100);
    t.now = 1100;
    EXPECT_EQ(t.timers.waitTime(), std::optional<uint64_t>(0));
    EXPECT_EQ(ids(t.passAt(1050)), std::vector<uint32_t>{2});
}

TEST(AppTimers, AClockBehindTheStartMakesAnEntryDue) {
    FakeClockTimers t;
    t.now = 1000;
    t.timers.set(2, 100);
    EXPECT_EQ(ids(t.passAt(999)), std::vector<uint32_t>{2});
}

TEST(AppTimers, DueTimesWrapAroundTheClock) {
    constexpr uint64_t top = std::numeric_limits<uint64_t>::max();
    FakeClockTimers t;
    t.now = top - 99; // due at 100 after the wrap
    t.timers.set(11, 200);
    EXPECT_EQ(t.timers.waitTime(), std::optional<uint64_t>(200));
    EXPECT_TRUE(t.passAt(top).ids.empty());
    EXPECT_TRUE(t.passAt(99).ids.empty());
    EXPECT_EQ(ids(t.passAt(100)), std::vector<uint32_t>{11});
}

TEST(AppTimers, ALaterTimeAcrossTheWrapStillCountsAsLater) {
    constexpr uint64_t top = std::numeric_limits<uint64_t>::max();
    FakeClockTimers t;
    t.now = top - 999;
    t.timers.set(11, 900); // due at top - 99
    t.now = top - 499;
    t.timers.set(11, 1000); // due at 500, after the wrap: later
    EXPECT_TRUE(t.passAt(top - 50).ids.empty());
    EXPECT_EQ(ids(t.passAt(500)), std::vector<uint32_t>{11});
}

TEST(AppTimers, EverySetSignalsTheEvent) {
    FakeClockTimers t;
    t.timers.set(8, 50);
    EXPECT_EQ(t.timers.event().wait(0), WAIT_OBJECT_0);
    t.timers.set(8, 0); // changes nothing, still wakes the loop
    EXPECT_EQ(t.timers.event().wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(t.timers.event().wait(0), WAIT_TIMEOUT) << "auto-reset";
}
