#include "app/UiThreadOwner.h"

#include "platform/ThreadId.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct Probe {
    static inline std::atomic<uint32_t> destroyedOn{0};
    ~Probe() { destroyedOn = Platform::currentThreadId(); }
};

} // namespace

TEST(UiThreadOwner, TheObjectIsDestroyedOnTheOwnersThread) {
    Probe::destroyedOn = 0;
    UiThreadOwner<Probe> owner;
    EXPECT_TRUE(owner.release(1000));
    EXPECT_EQ(Probe::destroyedOn, Platform::currentThreadId());
    EXPECT_TRUE(owner.release(1000)) << "a second release finds nothing to do";
}

TEST(UiThreadOwner, ALastReferenceDroppedElsewhereComesBackToTheOwner) {
    Probe::destroyedOn = 0;
    UiThreadOwner<Probe> owner;
    std::shared_ptr<Probe> borrowed = owner.get();
    uint32_t otherThread = 0;
    std::thread other([&otherThread, borrowed = std::move(borrowed)]() mutable {
        otherThread = Platform::currentThreadId();
        // Drops its reference only once the owner has dropped its own.
        while (borrowed.use_count() > 1)
            std::this_thread::yield();
        borrowed.reset();
    });
    EXPECT_TRUE(owner.release(30000));
    other.join();
    EXPECT_EQ(Probe::destroyedOn, Platform::currentThreadId());
    EXPECT_NE(Probe::destroyedOn, otherThread);
}
