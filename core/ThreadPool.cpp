#include "core/ThreadPool.h"

#include "core/Logger.h"
#include "platform/ThreadId.h"

#include <algorithm>
#include <chrono>
#include <vector>

using namespace Platform;

// One worker thread. Its state (current task, idle, retiring, ended) is
// guarded by the pool mutex: the scheduler reads it under the lock it already
// holds, and no thread ever holds two locks of the pool.
class ThreadPool::Worker {
public:
    explicit Worker(std::weak_ptr<ThreadPool> pool) : pool_(std::move(pool)) {}

    void threadProc();
    // Under the pool lock.
    bool busy() const { return !task.expired(); }

    Thread thread;
    // Signalled (auto-reset) when a task was queued for this idle worker.
    Event wake{true};
    std::weak_ptr<Task> task;
    bool idle = false;
    bool retiring = false; // told to stop
    bool ended = false;    // its thread is on its way out

private:
    const std::weak_ptr<ThreadPool> pool_;
};

void ThreadPool::Worker::threadProc() {
    const Event::Handle& stop = Thread::currentStopEvent();
    for (;;) {
        std::shared_ptr<Task> task;
        if (std::shared_ptr<ThreadPool> pool = pool_.lock())
            task = pool->popTask(*this);
        else
            break;
        if (!task) {
            if (Event::waitAny({stop, wake.handle()}, INFINITE) != WAIT_OBJECT_0 + 1)
                break;
            continue;
        }
        try {
            task->run();
        } catch (...) {
            // A task reports its own failures; the worker goes on.
        }
        task.reset();
        std::shared_ptr<ThreadPool> pool = pool_.lock();
        if (!pool)
            break;
        pool->finishTask(*this);
    }
    // The scheduler removes it from its lists from now on.
    if (std::shared_ptr<ThreadPool> pool = pool_.lock())
        pool->workerEnded(*this);
}

ThreadPool::ThreadPool() : ThreadPool(Options{}) {}

ThreadPool::ThreadPool(Options options) : options_(options) {}

ThreadPool::~ThreadPool() {
    stop();
}

void ThreadPool::start() {
    std::weak_ptr<ThreadPool> self = shared_from_this();
    Mutex::Lock lock(mutex_);
    stopping_ = false;
    if (!scheduler_.running())
        Thread::launch(scheduler_, [self, wake = wake_.handle()] { threadProc(self, wake); });
    wake_.set();
}

// An idle worker takes the task; without one, the scheduler is woken only
// when it may add a worker.
bool ThreadPool::push(std::shared_ptr<Task> task) {
    if (!task)
        return false;
    Mutex::Lock lock(mutex_);
    if (stopping_ || !scheduler_.running() || queue_.size() >= maxQueued)
        return false;
    queue_.push_back(std::move(task));
    if (!idle_.empty()) {
        Worker* worker = idle_.front();
        idle_.pop_front();
        worker->idle = false;
        worker->wake.set();
    } else if (active_.size() < options_.maxWorkers) {
        wake_.set();
    }
    return true;
}

void ThreadPool::stop() {
    WorkerList workers;
    std::deque<std::shared_ptr<Task>> dropped;
    Thread scheduler;
    {
        Mutex::Lock lock(mutex_);
        stopping_ = true;
        if (scheduler_.stopEvent())
            scheduler_.stopEvent()->set();
        dropped.swap(queue_);
        idle_.clear();
        workers.splice(workers.end(), active_);
        workers.splice(workers.end(), retiring_);
        scheduler = std::move(scheduler_);
    }
    // Tasks are released, and threads waited for, outside the lock: a worker
    // may need it to finish.
    dropped.clear();
    if (!workers.empty())
        stopWorkers(workers);
    Thread::stop(scheduler, options_.stopSchedulerMs, false);
}

void ThreadPool::setTerminateHook(std::function<void(uint32_t)> hook) {
    Mutex::Lock lock(mutex_);
    terminateHook_ = std::move(hook);
}

ThreadPool::Counts ThreadPool::counts() const {
    Mutex::Lock lock(mutex_);
    Counts counts;
    counts.active = active_.size();
    counts.retiring = retiring_.size();
    counts.queued = queue_.size();
    counts.busy = static_cast<size_t>(
        std::count_if(active_.begin(), active_.end(), [](const auto& w) { return w->busy(); }));
    return counts;
}

void ThreadPool::setScheduleListener(Event::Handle event) {
    Mutex::Lock lock(mutex_);
    scheduleListener_ = std::move(event);
}

void ThreadPool::threadProc(const std::weak_ptr<ThreadPool>& weakPool, const Event::Handle& wake) {
    const Event::Handle& stop = Thread::currentStopEvent();
    uint32_t waitTime = INFINITE;
    for (;;) {
        const uint32_t result = Event::waitAny({stop, wake}, waitTime);
        if (result == WAIT_OBJECT_0)
            return;
        if (result != WAIT_OBJECT_0 + 1 && result != WAIT_TIMEOUT) {
            const uint32_t error = lastError();
            wstr text;
            logMessage(Logger::Error,
                       wstr::format(text,
                                    L"Thread pool unexpectedly stopped (result {}; waitTime "
                                    L"{:#08X}; error {})",
                                    result, waitTime, error));
            return;
        }
        std::shared_ptr<ThreadPool> pool = weakPool.lock();
        if (!pool || pool->stopping())
            return;
        waitTime = pool->schedule() ? pool->options_.recheckMs : INFINITE;
    }
}

bool ThreadPool::stopping() const {
    Mutex::Lock lock(mutex_);
    return stopping_;
}

bool ThreadPool::schedule() {
    Mutex::Lock lock(mutex_);
    if (stopping_)
        return false;
    size_t busy = 0;
    active_.remove_if([](const std::shared_ptr<Worker>& worker) { return worker->ended; });
    for (const auto& worker : active_)
        busy += worker->busy();

    const size_t wanted = std::min(queue_.size() + busy, options_.maxWorkers);
    while (active_.size() < wanted)
        startWorker();
    size_t surplus = queue_.empty() && active_.size() > wanted ? active_.size() - wanted : 0;
    for (auto it = active_.begin(); it != active_.end() && surplus > 0;) {
        if ((*it)->busy()) {
            ++it;
            continue;
        }
        retire(**it);
        retiring_.push_back(*it);
        it = active_.erase(it);
        --surplus;
    }
    retiring_.remove_if([](const std::shared_ptr<Worker>& worker) { return worker->ended; });

    if (scheduleListener_)
        scheduleListener_->set();
    // A retiring worker wakes the scheduler once its thread is on its way
    // out; until then look again later.
    return !queue_.empty() || busy > 0 || !active_.empty() || !retiring_.empty();
}

void ThreadPool::startWorker() {
    auto worker = std::make_shared<Worker>(shared_from_this());
    // The thread holds its worker: one given up on stop outlives the lists.
    Thread::launch(worker->thread, [worker] { worker->threadProc(); });
    active_.push_back(std::move(worker));
}

void ThreadPool::retire(Worker& worker) {
    worker.retiring = true;
    if (std::exchange(worker.idle, false))
        std::erase(idle_, &worker);
    worker.thread.stopEvent()->set();
}

std::shared_ptr<ThreadPool::Task> ThreadPool::popTask(Worker& worker) {
    Mutex::Lock lock(mutex_);
    worker.task.reset();
    if (stopping_ || worker.retiring)
        return nullptr;
    if (queue_.empty()) {
        if (!std::exchange(worker.idle, true))
            idle_.push_back(&worker);
        return nullptr;
    }
    std::shared_ptr<Task> task = std::move(queue_.front());
    queue_.pop_front();
    worker.task = task;
    return task;
}

void ThreadPool::finishTask(Worker& worker) {
    Mutex::Lock lock(mutex_);
    worker.task.reset();
}

void ThreadPool::workerEnded(Worker& worker) {
    Mutex::Lock lock(mutex_);
    worker.task.reset();
    worker.ended = true;
    if (std::exchange(worker.idle, false))
        std::erase(idle_, &worker);
    wake_.set();
}

std::vector<ThreadPool::Worker*> ThreadPool::waitForWorkers(const std::vector<Worker*>& workers,
                                                            uint32_t budgetMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    std::vector<Worker*> running;
    for (Worker* worker : workers) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const uint32_t waitMs = static_cast<uint32_t>(std::max<int64_t>(left.count(), 0));
        if (worker->thread.exitEvent()->wait(waitMs) != WAIT_OBJECT_0)
            running.push_back(worker);
    }
    return running;
}

void ThreadPool::stopWorkers(WorkerList& workers) {
    // A worker that drops the last reference to the pool stops it on its own
    // thread: it must not wait for itself.
    const uint32_t self = currentThreadId();
    std::vector<Worker*> waiting;
    for (const auto& worker : workers) {
        if (!worker->thread.running())
            continue;
        worker->thread.stopEvent()->set();
        if (worker->thread.id() != self)
            waiting.push_back(worker.get());
    }

    std::vector<Worker*> hung = waitForWorkers(waiting, options_.stopWorkersMs);
    if (!hung.empty()) {
        std::function<void(uint32_t)> hook;
        {
            Mutex::Lock lock(mutex_);
            hook = terminateHook_;
        }
        if (hook) {
            for (Worker* worker : hung)
                hook(worker->thread.id());
            hung = waitForWorkers(hung, options_.interruptedWorkersMs);
        }
    }
    for (const auto& worker : workers)
        Thread::stop(worker->thread, 1, true);
    workers.clear();
    if (!hung.empty()) {
        wstr text;
        logMessage(Logger::Info,
                   wstr::format(text, L"Had to terminate {} thread(s) forcefully...", hung.size()));
    }
}
