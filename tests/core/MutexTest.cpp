#include "core/Mutex.h"

#include "core/Event.h"
#include "core/Logger.h"
#include "platform/Error.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>
#include <thread>

using namespace Platform;

namespace {

// Another thread takes the mutex and signals `acquired` once it holds it.
class Contender {
public:
    explicit Contender(Mutex& mutex)
        : thread_([this, &mutex] {
              Mutex::Lock lock(mutex);
              acquired_.set();
          }) {}
    ~Contender() { thread_.join(); }

    // A short wait that must end without the mutex, or a long one that must get it.
    bool blocked() const { return acquired_.wait(200) == WAIT_TIMEOUT; }
    bool acquires() const { return acquired_.wait(5000) == WAIT_OBJECT_0; }

private:
    Event acquired_{false};
    std::thread thread_;
};

} // namespace

TEST(Mutex, NestedLocksNeedEveryRelease) {
    Mutex mutex;
    Mutex::Lock outer(mutex);
    {
        Mutex::Lock inner(mutex);
        EXPECT_TRUE(inner.locked());
    }
    Contender other(mutex);
    EXPECT_TRUE(other.blocked()) << "the inner release freed the outer lock";
    outer.unlock();
    EXPECT_TRUE(other.acquires());
}

TEST(Mutex, LockOnAHeldLockDoesNothing) {
    Mutex mutex;
    Mutex::Lock lock(mutex);
    lock.lock();
    lock.unlock();
    EXPECT_FALSE(lock.locked());
    Contender other(mutex);
    EXPECT_TRUE(other.acquires()) << "a second lock() took the mutex twice";
}

TEST(Mutex, UnlockedLockReleasesNothingMore) {
    Mutex mutex;
    Mutex::Lock outer(mutex);
    {
        Mutex::Lock inner(mutex);
        inner.unlock();
        inner.unlock();
    } // destroyed unlocked
    Contender other(mutex);
    EXPECT_TRUE(other.blocked());
    outer.unlock();
    EXPECT_TRUE(other.acquires());
}

TEST(Mutex, OwnerThatDiedLeavesItAcquired) {
    Mutex mutex;
    std::thread owner([&] { mutex.handle().lock(); });
    owner.join();
    {
        Mutex::Lock lock(mutex);
        EXPECT_TRUE(lock.locked());
    }
    Contender other(mutex);
    EXPECT_TRUE(other.acquires());
}

TEST(Mutex, FailedReleaseIsLoggedAndKeepsTheError) {
    Mutex mutex;
    qvtest::LogRecords log;
    mutex.release();
    EXPECT_EQ(lastError(), ERROR_NOT_OWNER);
    const auto records = log.all();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->level, Logger::Error);
    EXPECT_EQ(records[0]->message, L"Failed to release mutex (error 288)");
}

TEST(Mutex, LockErrorCarriesTheLastError) {
    setLastError(ERROR_POSSIBLE_DEADLOCK);
    const std::system_error error = makeLockError();
    EXPECT_EQ(error.code().value(), static_cast<int>(ERROR_POSSIBLE_DEADLOCK));
    EXPECT_STREQ(error.what(),
                 "Failed to lock mutex: A potential deadlock condition has been detected.");
}
