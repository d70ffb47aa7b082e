#include "core/Thread.h"

#include "core/Logger.h"
#include "platform/ThreadId.h"
#include "tests/support/LogRecords.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace Platform;

namespace {

// What a thread procedure and its test share; held by both, as owners do.
struct Shared {
    Event ran{false};
    Event gate{false};
    std::atomic<uint32_t> threadId{0};
    std::atomic<bool> hadStopEvent{false};
};

bool ended(const Event::Handle& exit) {
    return exit && exit->wait(5000) == WAIT_OBJECT_0;
}

} // namespace

TEST(Thread, LaunchRunsTheCallableUntilStopped) {
    auto shared = std::make_shared<Shared>();
    Thread thread;
    Thread::launch(thread, [shared] {
        shared->threadId = currentThreadId();
        const Event::Handle& stop = Thread::currentStopEvent();
        shared->hadStopEvent = stop != nullptr;
        shared->ran.set();
        if (stop)
            stop->wait(INFINITE);
    });
    ASSERT_EQ(shared->ran.wait(5000), WAIT_OBJECT_0);
    EXPECT_TRUE(thread.running());
    EXPECT_EQ(thread.id(), shared->threadId.load()) << "ids are kernel thread ids";
    EXPECT_NE(thread.id(), currentThreadId());
    EXPECT_TRUE(shared->hadStopEvent);
    EXPECT_EQ(Thread::currentStopEvent(), nullptr) << "this thread was not launched";

    const Event::Handle exit = thread.exitEvent();
    Thread::stop(thread, INFINITE, false);
    EXPECT_EQ(exit->wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(thread.running());
    EXPECT_EQ(thread.id(), 0u);
    EXPECT_EQ(thread.stopEvent(), nullptr);
}

TEST(Thread, RelaunchOnlyAfterThePreviousThreadEnded) {
    auto shared = std::make_shared<Shared>();
    Thread thread;
    Thread::launch(thread, [shared] { shared->gate.wait(INFINITE); });
    EXPECT_THROW(
        {
            try {
                Thread::launch(thread, [] {});
            } catch (const std::logic_error& e) {
                EXPECT_STREQ(e.what(), "Thread already launched");
                throw;
            }
        },
        std::logic_error);

    shared->gate.set();
    ASSERT_TRUE(ended(thread.exitEvent()));
    EXPECT_EQ(thread.exitCode(), 0);
    Thread::launch(thread, [shared] { shared->ran.set(); });
    EXPECT_EQ(shared->ran.wait(5000), WAIT_OBJECT_0);
    Thread::stop(thread, INFINITE, false);
}

TEST(Thread, StopFromTheThreadItselfChangesNothing) {
    auto shared = std::make_shared<Shared>();
    Thread thread;
    Thread::launch(thread, [shared, &thread] {
        Thread::stop(thread, INFINITE, true);
        shared->ran.set();
        Thread::currentStopEvent()->wait(INFINITE);
    });
    ASSERT_EQ(shared->ran.wait(5000), WAIT_OBJECT_0);
    EXPECT_TRUE(thread.running());
    ASSERT_NE(thread.stopEvent(), nullptr);
    EXPECT_EQ(thread.stopEvent()->wait(0), WAIT_TIMEOUT) << "the thread signalled itself";
    Thread::stop(thread, INFINITE, false);
}

TEST(Thread, EscapingExceptionLeavesOneFatalRecord) {
    struct Row {
        const char* name;
        void (*procedure)();
        const wchar_t* text;
    } rows[] = {
        {"std::exception", [] { throw std::runtime_error("boom"); },
         L"Exception caught in thread {}: boom"},
        {"other", [] { throw 42; }, L"Unknown exception caught in thread {}"},
    };
    for (const auto& row : rows) {
        qvtest::LogRecords log;
        Thread thread;
        Thread::launch(thread, row.procedure);
        ASSERT_TRUE(ended(thread.exitEvent())) << row.name;
        EXPECT_EQ(thread.exitCode(), 1) << row.name;

        wstr expected;
        wstr::format(expected, fmt::runtime(row.text), thread.id());
        const auto records = log.all();
        ASSERT_EQ(records.size(), 1u) << row.name;
        EXPECT_EQ(records[0]->level, Logger::Fatal);
        EXPECT_EQ(records[0]->message, expected);
        Thread::stop(thread, INFINITE, false);
    }
}

TEST(Thread, ThreadThatOutlivesItsTimeOutIsLeftToEndByItself) {
    for (bool force : {false, true}) {
        qvtest::LogRecords log;
        auto shared = std::make_shared<Shared>();
        Thread thread;
        Thread::launch(thread, [shared] { shared->gate.wait(INFINITE); }); // ignores its stop event
        const Event::Handle exit = thread.exitEvent();
        const uint32_t id = thread.id();

        Thread::stop(thread, 20, force);
        EXPECT_FALSE(thread.running());
        EXPECT_EQ(thread.id(), 0u);
        EXPECT_EQ(exit->wait(0), WAIT_TIMEOUT) << "the thread was still running";

        wstr warning;
        wstr::format(warning, L"Thread {} did not end in time; it is left to end by itself", id);
        EXPECT_EQ(log.matching(Logger::Warning, warning).size(), force ? 1u : 0u);

        shared->gate.set();
        EXPECT_TRUE(ended(exit)) << "force " << force;
    }
}

// The launcher's wait for the start fails while the new thread has not yet
// taken its callable: the launcher throws and unwinds, and the thread must
// still find its record, callable and all, intact.
TEST(Thread, FailedStartWaitLeavesTheRecordToTheThread) {
    auto shared = std::make_shared<Shared>();
    Event launcherDone(false);
    Thread::setTestHooks({[] {
                              setLastError(ERROR_INVALID_HANDLE);
                              return WAIT_FAILED;
                          },
                          [done = launcherDone.handle()] { done->wait(INFINITE); }});
    auto seen = std::make_shared<std::string>();
    const std::string payload(200, 'x'); // on the heap: the record's copy is freed with it
    Thread thread;
    EXPECT_THROW(Thread::launch(thread,
                                [shared, seen, payload] {
                                    *seen = payload;
                                    shared->ran.set();
                                }),
                 std::runtime_error);
    Thread::setTestHooks({});
    ASSERT_NE(thread.stopEvent(), nullptr) << "the Thread owns the thread it could not confirm";
    EXPECT_EQ(thread.stopEvent()->wait(0), WAIT_OBJECT_0) << "and has asked it to stop";
    launcherDone.set();
    ASSERT_EQ(shared->ran.wait(5000), WAIT_OBJECT_0);
    ASSERT_TRUE(ended(thread.exitEvent()));
    EXPECT_EQ(*seen, payload);
    Thread::stop(thread, INFINITE, false);
}
