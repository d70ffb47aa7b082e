#include "windows/ConsoleHistory.h"

#include <gtest/gtest.h>

namespace {

TEST(ConsoleHistory, KeepsFiftyLinesWithoutRepeatingTheNewest) {
    ConsoleHistory history;
    history.add(L"a");
    history.add(L"a");
    history.add(L"");
    EXPECT_EQ(history.entries(), std::deque<wstr>{L"a"});
    history.add(L"b");
    history.add(L"a"); // only the newest entry is compared
    EXPECT_EQ(history.entries(), (std::deque<wstr>{L"a", L"b", L"a"}));

    ConsoleHistory full;
    for (int i = 1; i <= 51; ++i)
        full.add(std::to_wstring(i));
    ASSERT_EQ(full.entries().size(), ConsoleHistory::maxEntries);
    EXPECT_EQ(full.entries().front(), L"2");
    EXPECT_EQ(full.entries().back(), L"51");
}

TEST(ConsoleHistory, UpAndDownBrowseAndDownPastTheNewestBringsBackTheInput) {
    ConsoleHistory history;
    EXPECT_EQ(history.older(L"typed"), std::nullopt);
    EXPECT_EQ(history.newer(L"typed"), std::nullopt);
    history.add(L"one");
    history.add(L"two");
    history.add(L"three");

    EXPECT_EQ(history.newer(L"typed"), std::nullopt); // not browsing yet
    EXPECT_EQ(history.older(L"typed"), L"three");
    EXPECT_EQ(history.older(L"three"), L"two");
    EXPECT_EQ(history.older(L"two"), L"one");
    EXPECT_EQ(history.older(L"one"), L"one"); // stops at the oldest
    EXPECT_EQ(history.newer(L"one"), L"two");
    EXPECT_EQ(history.newer(L"two"), L"three");
    EXPECT_EQ(history.newer(L"three"), L"typed");
    EXPECT_EQ(history.newer(L"typed"), L"typed");
    // Up again steps back from past the newest.
    EXPECT_EQ(history.older(L"typed"), L"three");
}

TEST(ConsoleHistory, AnEmptyInputEndsOrRestartsBrowsing) {
    ConsoleHistory history;
    history.add(L"one");
    history.add(L"two");
    EXPECT_EQ(history.older(L"draft"), L"two");
    EXPECT_EQ(history.older(L"two"), L"one");
    // The user cleared the box: Down ends browsing, Up starts from the newest.
    EXPECT_EQ(history.newer(L""), std::nullopt);
    EXPECT_EQ(history.newer(L"one"), std::nullopt);
    EXPECT_EQ(history.older(L"one"), L"two");
    EXPECT_EQ(history.older(L""), L"two");
    EXPECT_EQ(history.newer(L"two"), L""); // the saved (empty) input

    history.endBrowsing();
    EXPECT_EQ(history.newer(L"x"), std::nullopt);
}

} // namespace
