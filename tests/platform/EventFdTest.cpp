#include "platform/EventFd.h"

#include "platform/Error.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

uint32_t waitAnyOf(std::vector<EventFd*> events, uint32_t timeoutMs) {
    return EventFd::waitAny(events, timeoutMs);
}

} // namespace

TEST(EventFd, ManualResetStaysSignalledUntilReset) {
    EventFd event(false);
    ASSERT_TRUE(event.valid());
    EXPECT_EQ(event.wait(0), WAIT_TIMEOUT);
    ASSERT_TRUE(event.set());
    EXPECT_EQ(event.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.wait(0), WAIT_OBJECT_0);
    ASSERT_TRUE(event.reset());
    EXPECT_EQ(event.wait(0), WAIT_TIMEOUT);
    EXPECT_TRUE(event.reset()) << "resetting a reset event is fine";
}

TEST(EventFd, AutoResetIsConsumedByOneWaitAndCountsNoSignals) {
    EventFd event(true);
    ASSERT_TRUE(event.set());
    ASSERT_TRUE(event.set());
    EXPECT_EQ(event.wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(event.wait(0), WAIT_TIMEOUT);
}

TEST(EventFd, AutoResetWakesExactlyOneOfTwoWaiters) {
    EventFd event(true);
    EventFd woke(true);
    std::atomic<int> wakeups{0};
    auto waiter = [&] {
        if (event.wait(INFINITE) == WAIT_OBJECT_0)
            ++wakeups;
        woke.set();
    };
    std::thread first(waiter), second(waiter);

    event.set();
    ASSERT_EQ(woke.wait(5000), WAIT_OBJECT_0);
    EXPECT_EQ(woke.wait(200), WAIT_TIMEOUT) << "one signal released a second waiter";
    EXPECT_EQ(wakeups, 1);

    event.set();
    ASSERT_EQ(woke.wait(5000), WAIT_OBJECT_0);
    first.join();
    second.join();
    EXPECT_EQ(wakeups, 2);
}

TEST(EventFd, WaitAnyReturnsTheLowestSignalledIndex) {
    EventFd a(false), b(true), c(true);
    c.set();
    EXPECT_EQ(waitAnyOf({&a, &b, &c}, 0), WAIT_OBJECT_0 + 2);
    b.set();
    c.set();
    a.set();
    EXPECT_EQ(waitAnyOf({&c, &b, &a}, 0), WAIT_OBJECT_0 + 0);
    EXPECT_EQ(b.wait(0), WAIT_OBJECT_0) << "only the winning auto-reset event is consumed";
    EXPECT_EQ(c.wait(0), WAIT_TIMEOUT);
}

TEST(EventFd, WaitAnyWakesWhenAnotherThreadSignals) {
    EventFd stop(false), work(true);
    std::thread signaller([&] { work.set(); });
    EXPECT_EQ(waitAnyOf({&stop, &work}, INFINITE), WAIT_OBJECT_0 + 1);
    signaller.join();
}

TEST(EventFd, TimeOutIsAResultAfterTheFullTime) {
    EventFd event(false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(EventFd, WaitingOnNothingOrAnInvalidEventFails) {
    EventFd event(false);
    EXPECT_EQ(waitAnyOf({}, 0), WAIT_FAILED);
    EXPECT_EQ(lastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(waitAnyOf({&event, nullptr}, 0), WAIT_FAILED);
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);
}
