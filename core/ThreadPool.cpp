#include "core/ThreadPool.h"

#include "core/Logger.h"
#include "platform/ThreadId.h"

#include <algorithm>
#include <chrono>
#include <vector>

using namespace Platform;

// One worker thread. Its current task is guarded by the pool mutex (set in
// popTask, cleared in finishTask): the scheduler reads the busy state under
// the lock it already holds, and no thread ever holds two locks of the pool.
class ThreadPool::Worker {
public:
    Worker(std::weak_ptr<ThreadPool> pool, Event::Handle work, Event::Handle wake)
        : pool_(std::move(pool)), work_(std::move(work)), wake_(std::move(wake)) {}

    void threadProc();
    // Under the pool lock.
    bool busy() const { return !task.expired(); }

    Thread thread;
    std::weak_ptr<Task> task;

private:
    const std::weak_ptr<ThreadPool> pool_;
    const Event::Handle work_;
    const Event::Handle wake_;
};

void ThreadPool::Worker::threadProc() {
    const Event::Handle& stop = Thread::currentStopEvent();
    while (Event::waitAny({stop, work_}, INFINITE) == WAIT_OBJECT_0 + 1) {
        std::shared_ptr<Task> task;
        if (std::shared_ptr<ThreadPool> pool = pool_.lock())
            task = pool->popTask(*this);
        else
            break;
        if (!task)
            continue;
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
    // Seen as retiring from now on; the scheduler removes it once it ended.
    stop->set();
    if (std::shared_ptr<ThreadPool> pool = pool_.lock()) {
        pool->finishTask(*this);
        wake_->set();
    }
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

bool ThreadPool::push(std::shared_ptr<Task> task) {
    if (!task)
        return false;
    Mutex::Lock lock(mutex_);
    if (stopping_ || !scheduler_.running() || queue_.size() >= maxQueued)
        return false;
    queue_.push_back(std::move(task));
    wake_.set();
    work_.set();
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
        work_.reset();
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
    for (auto it = active_.begin(); it != active_.end();) {
        Worker& worker = **it;
        if (!worker.thread.running()) {
            it = active_.erase(it);
        } else if (worker.thread.stopEvent()->wait(0) == WAIT_OBJECT_0) {
            retiring_.push_back(*it);
            it = active_.erase(it);
        } else {
            busy += worker.busy();
            ++it;
        }
    }

    const size_t wanted = std::min(queue_.size() + busy, options_.maxWorkers);
    while (active_.size() < wanted)
        startWorker();
    size_t surplus = queue_.empty() && active_.size() > wanted ? active_.size() - wanted : 0;
    for (auto it = active_.begin(); it != active_.end() && surplus > 0;) {
        if ((*it)->busy()) {
            ++it;
            continue;
        }
        (*it)->thread.stopEvent()->set();
        retiring_.push_back(*it);
        it = active_.erase(it);
        --surplus;
    }
    retiring_.remove_if([](const std::shared_ptr<Worker>& worker) {
        if (!worker->thread.running())
            return true;
        worker->thread.stopEvent()->set();
        return false;
    });

    if (queue_.empty())
        work_.reset();
    if (scheduleListener_)
        scheduleListener_->set();
    // A retiring worker signals the wake event just before its thread ends, so
    // the pass it triggers may still find it running: look again later.
    return !queue_.empty() || busy > 0 || !active_.empty() || !retiring_.empty();
}

void ThreadPool::startWorker() {
    auto worker = std::make_shared<Worker>(shared_from_this(), work_.handle(), wake_.handle());
    // The thread holds its worker: one given up on stop outlives the lists.
    Thread::launch(worker->thread, [worker] { worker->threadProc(); });
    active_.push_back(std::move(worker));
}

std::shared_ptr<ThreadPool::Task> ThreadPool::popTask(Worker& worker) {
    Mutex::Lock lock(mutex_);
    worker.task.reset();
    if (stopping_ || queue_.empty())
        return nullptr;
    std::shared_ptr<Task> task = std::move(queue_.front());
    queue_.pop_front();
    if (queue_.empty())
        work_.reset();
    worker.task = task;
    return task;
}

void ThreadPool::finishTask(Worker& worker) {
    Mutex::Lock lock(mutex_);
    worker.task.reset();
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

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.stopWorkersMs);
    for (Worker* worker : waiting) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const uint32_t waitMs = static_cast<uint32_t>(std::max<int64_t>(left.count(), 0));
        if (worker->thread.exitEvent()->wait(waitMs) != WAIT_OBJECT_0)
            break;
    }

    std::function<void(uint32_t)> hook;
    {
        Mutex::Lock lock(mutex_);
        hook = terminateHook_;
    }
    size_t hung = 0;
    for (Worker* worker : waiting) {
        if (!worker->thread.running())
            continue;
        ++hung;
        if (hook)
            hook(worker->thread.id());
    }
    for (const auto& worker : workers)
        Thread::stop(worker->thread, 1, true);
    workers.clear();
    if (hung > 0) {
        wstr text;
        logMessage(Logger::Info,
                   wstr::format(text, L"Had to terminate {} thread(s) forcefully...", hung));
    }
}
