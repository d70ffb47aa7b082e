#include "core/ThreadPool.h"

#include "core/Logger.h"
#include "platform/ThreadId.h"
#include "tests/support/LogRecords.h"
#include "tests/support/WaitFor.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

// Counts hits from any thread and signals once the target is reached.
class Tally {
public:
    explicit Tally(size_t target) : target_(target) {}
    void hit() {
        if (++count_ == target_)
            reached_.set();
    }
    bool reached() const { return reached_.wait(20000) == WAIT_OBJECT_0; }

private:
    const size_t target_;
    std::atomic<size_t> count_{0};
    Event reached_{false};
};

// A task that runs a function.
class FuncTask : public ThreadPool::Task {
public:
    explicit FuncTask(std::function<void()> func) : func_(std::move(func)) {}
    void run() override { func_(); }

private:
    std::function<void()> func_;
};

std::shared_ptr<ThreadPool::Task> task(std::function<void()> func) {
    return std::make_shared<FuncTask>(std::move(func));
}

// A task that counts its start, waits for its gate and counts its end.
std::shared_ptr<ThreadPool::Task> gated(std::shared_ptr<Event> gate, std::shared_ptr<Tally> started,
                                        std::shared_ptr<Tally> finished) {
    return task([gate, started, finished] {
        started->hit();
        gate->wait(INFINITE);
        finished->hit();
    });
}

std::shared_ptr<Event> newGate() {
    return std::make_shared<Event>(false);
}

// A started pool whose scheduler passes a test can wait for.
struct Pool {
    explicit Pool(ThreadPool::Options options = {}) : pool(std::make_shared<ThreadPool>(options)) {
        pool->setScheduleListener(passes.handle());
        pool->start();
    }
    ~Pool() { pool->stop(); }

    // Waits, pass by pass, until the counts satisfy the condition.
    bool waitFor(const std::function<bool(const ThreadPool::Counts&)>& condition) {
        return qvtest::waitOn(
            passes, [&] { return condition(pool->counts()); }, std::chrono::seconds(20));
    }

    Event passes{true};
    std::shared_ptr<ThreadPool> pool;
};

ThreadPool::Options fastRecheck() {
    ThreadPool::Options options;
    options.recheckMs = 10;
    return options;
}

} // namespace

TEST(ThreadPool, PushIsRefusedWithoutARunningScheduler) {
    auto pool = std::make_shared<ThreadPool>();
    EXPECT_FALSE(pool->push(task([] {}))) << "never started";
    pool->start();
    EXPECT_FALSE(pool->push(nullptr));
    pool->stop();
    EXPECT_FALSE(pool->push(task([] {}))) << "stopped";
    EXPECT_EQ(pool->counts().queued, 0u);

    ThreadPool unowned;
    EXPECT_THROW(unowned.start(), std::bad_weak_ptr);
}

TEST(ThreadPool, GrowsWithTheWorkUpToFiftyAndRetiresIdleWorkers) {
    Pool p(fastRecheck());
    auto gate = newGate();
    auto firstStarted = std::make_shared<Tally>(1);
    auto started = std::make_shared<Tally>(50);
    auto finished = std::make_shared<Tally>(80);

    ASSERT_TRUE(p.pool->push(task([=] {
        firstStarted->hit();
        started->hit();
        gate->wait(INFINITE);
        finished->hit();
    })));
    ASSERT_TRUE(firstStarted->reached());
    EXPECT_EQ(p.pool->counts().active, 1u) << "one task, one worker";

    for (int i = 1; i < 80; ++i)
        ASSERT_TRUE(p.pool->push(gated(gate, started, finished)));
    ASSERT_TRUE(started->reached());
    const ThreadPool::Counts full = p.pool->counts();
    EXPECT_EQ(full.active, 50u);
    EXPECT_EQ(full.busy, 50u);
    EXPECT_EQ(full.queued, 30u);

    gate->set();
    ASSERT_TRUE(finished->reached());
    EXPECT_TRUE(p.waitFor([](const auto& c) { return c.active == 0 && c.retiring == 0; }));
}

TEST(ThreadPool, WorkerRunningATaskIsNeverRetired) {
    Pool p(fastRecheck());
    auto started = std::make_shared<Tally>(3);
    auto finished = std::make_shared<Tally>(2);
    std::vector<std::shared_ptr<Event>> gates = {newGate(), newGate()};
    for (const auto& gate : gates)
        ASSERT_TRUE(p.pool->push(gated(gate, started, finished)));
    auto lastGate = newGate();
    auto lastDone = std::make_shared<Tally>(1);
    std::atomic<bool> toldToStop{true};
    ASSERT_TRUE(p.pool->push(task([=, &toldToStop] {
        started->hit();
        lastGate->wait(INFINITE);
        toldToStop = Thread::currentStopEvent()->wait(0) == WAIT_OBJECT_0;
        lastDone->hit();
    })));
    ASSERT_TRUE(started->reached());

    for (const auto& gate : gates)
        gate->set();
    ASSERT_TRUE(finished->reached());
    EXPECT_TRUE(p.waitFor([](const auto& c) { return c.active == 1 && c.retiring == 0; }));
    EXPECT_EQ(p.pool->counts().busy, 1u);

    lastGate->set();
    ASSERT_TRUE(lastDone->reached());
    EXPECT_FALSE(toldToStop);
}

TEST(ThreadPool, QueueHoldsAtMostAMillionTasks) {
    Pool p;
    auto gate = newGate();
    auto started = std::make_shared<Tally>(50);
    auto blocker = gated(gate, started, std::make_shared<Tally>(0));
    size_t accepted = 0;
    for (; accepted < 80; ++accepted)
        ASSERT_TRUE(p.pool->push(blocker));
    ASSERT_TRUE(started->reached()); // 50 workers hold a task each: nothing leaves the queue

    while (p.pool->push(blocker))
        ++accepted;
    EXPECT_EQ(accepted, ThreadPool::maxQueued + 50);
    EXPECT_EQ(p.pool->counts().queued, ThreadPool::maxQueued);
    EXPECT_FALSE(p.pool->push(task([] {})));
    gate->set();
}

TEST(ThreadPool, ThrowingTaskLeavesItsWorkerRunning) {
    ThreadPool::Options options;
    options.maxWorkers = 1;
    Pool p(options);
    qvtest::LogRecords log;
    std::vector<uint32_t> threadIds(3);
    auto done = std::make_shared<Tally>(1);
    ASSERT_TRUE(p.pool->push(task([&] {
        threadIds[0] = currentThreadId();
        throw std::runtime_error("task failed");
    })));
    ASSERT_TRUE(p.pool->push(task([&] {
        threadIds[1] = currentThreadId();
        throw 42;
    })));
    ASSERT_TRUE(p.pool->push(task([&, done] {
        threadIds[2] = currentThreadId();
        done->hit();
    })));
    ASSERT_TRUE(done->reached());
    EXPECT_EQ(threadIds[1], threadIds[0]);
    EXPECT_EQ(threadIds[2], threadIds[0]);
    EXPECT_TRUE(log.all().empty()) << "no thread ended on an exception";
}

TEST(ThreadPool, StopGivesUpAWorkerThatIgnoresIt) {
    ThreadPool::Options options;
    options.stopWorkersMs = 50;
    options.interruptedWorkersMs = 50;
    auto pool = std::make_shared<ThreadPool>(options);
    std::vector<uint32_t> hooked;
    pool->setTerminateHook([&](uint32_t id) { hooked.push_back(id); });
    pool->start();

    auto gate = newGate();
    auto started = std::make_shared<Tally>(1);
    auto finished = std::make_shared<Tally>(1);
    std::atomic<uint32_t> workerId{0};
    ASSERT_TRUE(pool->push(task([=, &workerId] {
        workerId = currentThreadId();
        started->hit();
        gate->wait(INFINITE); // ignores its stop event
        finished->hit();
    })));
    ASSERT_TRUE(started->reached());

    qvtest::LogRecords log;
    pool->stop();
    EXPECT_EQ(hooked, std::vector<uint32_t>{workerId.load()});
    EXPECT_EQ(log.matching(Logger::Info, L"Had to terminate 1 thread(s) forcefully...").size(), 1u);
    const ThreadPool::Counts counts = pool->counts();
    EXPECT_EQ(counts.active + counts.retiring + counts.queued, 0u);
    EXPECT_FALSE(pool->push(task([] {})));

    pool.reset(); // the late worker must not need the pool
    gate->set();
    EXPECT_TRUE(finished->reached());
}

// The terminate hook may make the task end (script code interrupted): the
// worker then gets its time to end and is not counted as given up.
TEST(ThreadPool, StopWaitsForAWorkerItInterrupted) {
    ThreadPool::Options options;
    options.stopWorkersMs = 20;
    options.interruptedWorkersMs = 20000;
    auto pool = std::make_shared<ThreadPool>(options);
    auto interrupt = newGate();
    pool->setTerminateHook([interrupt](uint32_t) { interrupt->set(); });
    pool->start();
    auto started = std::make_shared<Tally>(1);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    ASSERT_TRUE(pool->push(task([=] {
        started->hit();
        interrupt->wait(INFINITE);
        *ended = true;
    })));
    ASSERT_TRUE(started->reached());

    qvtest::LogRecords log;
    pool->stop();
    EXPECT_TRUE(*ended);
    EXPECT_TRUE(log.all().empty());
}

// Scheduler passes cost the pool lock: a task queued while every worker is
// busy at the limit has nothing for the scheduler to do.
TEST(ThreadPool, PushWakesTheSchedulerOnlyWhenItMayAddAWorker) {
    ThreadPool::Options options;
    options.maxWorkers = 2;
    options.recheckMs = 60000;
    Pool p(options);
    auto gate = newGate();
    auto started = std::make_shared<Tally>(2);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(p.pool->push(gated(gate, started, std::make_shared<Tally>(0))));
    ASSERT_TRUE(started->reached());
    ASSERT_TRUE(p.waitFor([](const auto& c) { return c.active == 2 && c.busy == 2; }));
    while (p.passes.wait(50) == WAIT_OBJECT_0) {
    }

    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(p.pool->push(task([] {})));
    EXPECT_EQ(p.passes.wait(0), static_cast<uint32_t>(WAIT_TIMEOUT));
    EXPECT_EQ(p.pool->counts().queued, 1000u);
    gate->set();
}

TEST(ThreadPool, StopDoesNotMistakeWorkersWaitingForThePoolForHungOnes) {
    ThreadPool::Options options;
    options.recheckMs = 60000; // keep the idle workers
    auto pool = std::make_shared<ThreadPool>(options);
    size_t hookCalls = 0;
    pool->setTerminateHook([&](uint32_t) { ++hookCalls; });
    pool->start();
    auto gate = newGate();
    auto started = std::make_shared<Tally>(50);
    auto finished = std::make_shared<Tally>(50);
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(pool->push(gated(gate, started, finished)));
    ASSERT_TRUE(started->reached());
    gate->set();
    ASSERT_TRUE(finished->reached());

    // Fifty workers compete for the pool lock while stop runs.
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(pool->push(task([] {})));
    qvtest::LogRecords log;
    pool->stop();
    EXPECT_EQ(hookCalls, 0u);
    EXPECT_TRUE(log.all().empty());
}

TEST(ThreadPool, PushRacingStopQueuesNothingAfterIt) {
    auto pool = std::make_shared<ThreadPool>();
    pool->start();
    auto pushed = std::make_shared<Tally>(100);
    std::thread pusher([&] {
        while (pool->push(task([] {})))
            pushed->hit();
    });
    ASSERT_TRUE(pushed->reached());
    pool->stop();
    pusher.join();
    EXPECT_EQ(pool->counts().queued, 0u);
}

TEST(ThreadPool, TasksFromManyThreadsAllRun) {
    ThreadPool::Options options;
    options.recheckMs = 1;
    Pool p(options);
    constexpr int threads = 4, perThread = 5000;
    auto finished = std::make_shared<Tally>(threads * perThread);
    std::vector<std::thread> pushers;
    for (int t = 0; t < threads; ++t)
        pushers.emplace_back([&] {
            for (int i = 0; i < perThread; ++i)
                p.pool->push(task([finished] { finished->hit(); }));
        });
    for (auto& pusher : pushers)
        pusher.join();
    EXPECT_TRUE(finished->reached());
}
