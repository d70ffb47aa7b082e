#include "core/Event.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace Platform;

TEST(Event, AutoResetIsConsumedManualResetStays) {
    struct Row {
        bool autoReset;
        uint32_t secondWait;
    } rows[] = {{true, WAIT_TIMEOUT}, {false, WAIT_OBJECT_0}};
    for (const auto& row : rows) {
        Event event(row.autoReset);
        EXPECT_EQ(event.wait(0), WAIT_TIMEOUT) << "created non-signalled";
        ASSERT_TRUE(event.set());
        EXPECT_EQ(event.wait(0), WAIT_OBJECT_0);
        EXPECT_EQ(event.wait(0), row.secondWait) << "autoReset " << row.autoReset;
    }
}

TEST(Event, ClosedEventFailsAndWaitersKeepTheirHandle) {
    Event event(false);
    Event::Handle kept = event.handle();
    event.close();
    event.close();
    EXPECT_FALSE(event.valid());
    EXPECT_FALSE(event.set());
    EXPECT_EQ(event.wait(0), WAIT_FAILED);
    EXPECT_EQ(lastError(), ERROR_INVALID_HANDLE);

    std::thread signaller([kept] { kept->set(); });
    EXPECT_EQ(Event::waitAny({kept}, 5000), WAIT_OBJECT_0);
    signaller.join();
}

TEST(Event, WaitAnyPrefersTheLowestIndexAndRejectsNull) {
    Event stop(false), work(true);
    work.set();
    stop.set();
    EXPECT_EQ(Event::waitAny({stop.handle(), work.handle()}, 0), WAIT_OBJECT_0);
    EXPECT_EQ(work.wait(0), WAIT_OBJECT_0) << "the losing auto-reset event kept its signal";
    EXPECT_EQ(Event::waitAny({work.handle(), nullptr}, 0), WAIT_FAILED);
}
