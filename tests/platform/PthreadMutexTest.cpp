#include "platform/PthreadMutex.h"

#include "platform/Error.h"
#include "platform/EventFd.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Platform;

TEST(PthreadMutex, NestedLockNeedsAsManyUnlocks) {
    PthreadMutex mutex;
    ASSERT_TRUE(mutex.valid());
    ASSERT_TRUE(mutex.lock());
    ASSERT_TRUE(mutex.lock());
    ASSERT_TRUE(mutex.unlock());

    EventFd acquired(false);
    std::thread other([&] {
        mutex.lock();
        acquired.set();
        mutex.unlock();
    });
    EXPECT_EQ(acquired.wait(200), WAIT_TIMEOUT) << "one unlock released a nested lock";
    ASSERT_TRUE(mutex.unlock());
    EXPECT_EQ(acquired.wait(5000), WAIT_OBJECT_0);
    other.join();
}

TEST(PthreadMutex, OwnerThatDiedLeavesItAcquirable) {
    PthreadMutex mutex;
    std::thread owner([&] { ASSERT_TRUE(mutex.lock()); });
    owner.join();

    ASSERT_TRUE(mutex.lock());
    ASSERT_TRUE(mutex.lock());
    EXPECT_TRUE(mutex.unlock());
    EXPECT_TRUE(mutex.unlock());

    bool lockedByNext = false;
    std::thread next([&] {
        lockedByNext = mutex.lock();
        mutex.unlock();
    });
    next.join();
    EXPECT_TRUE(lockedByNext) << "the mutex stayed usable after its owner died";
}

TEST(PthreadMutex, UnlockByANonOwnerFails) {
    PthreadMutex mutex;
    EXPECT_FALSE(mutex.unlock());
    EXPECT_EQ(lastError(), ERROR_NOT_OWNER);
}
