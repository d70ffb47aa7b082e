#pragma once

#include "core/Event.h"
#include "core/Mutex.h"
#include "core/Thread.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <vector>

// Runs tasks on a variable number of worker threads. A scheduler thread of the
// pool keeps as many workers as there are queued and running tasks, at most
// 50: it starts workers when work arrives and retires idle ones,
// checking again every recheck interval while anything is pending. Workers
// take tasks one at a time, first in first out; a queued task wakes one idle
// worker, or the scheduler when no worker is idle. Always owned by a shared
// pointer (workers refer to it weakly).
class ThreadPool : public std::enable_shared_from_this<ThreadPool> {
public:
    // One unit of work. The pool calls only run; its owner's kinds of task add
    // their own operations.
    class Task : public std::enable_shared_from_this<Task> {
    public:
        virtual ~Task() = default;
        // Does the work; an exception it lets out is dropped. Worker thread.
        virtual void run() = 0;
    };

    // The pool's limits and waits; tests shorten them.
    struct Options {
        size_t maxWorkers = 50;
        uint32_t recheckMs = 500;      // scheduler pass while work is pending
        uint32_t stopWorkersMs = 5000; // budget for all workers to end on stop
        // then, after the terminate hook, for the interrupted ones
        uint32_t interruptedWorkersMs = 1000;
        uint32_t stopSchedulerMs = 5000; // wait for the scheduler thread on stop
    };

    static constexpr size_t maxQueued = 1000000;

    // Owner's thread: the constructor, start, stop and the destructor.
    ThreadPool();
    explicit ThreadPool(Options options);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Clears the stopping flag and launches the scheduler thread unless it
    // runs. Throws std::bad_weak_ptr when no shared pointer owns the pool.
    void start();
    // Queues a task. False, and nothing queued, for an empty task, a pool that
    // is stopping or has no scheduler thread, or a full queue. Any thread.
    bool push(std::shared_ptr<Task> task);
    // Drops the queued tasks, stops the workers (those that do not end within
    // the budget get the terminate hook and a second, shorter wait; those
    // still running then are left to end by themselves) and then the
    // scheduler thread. Never holds the pool lock while waiting.
    void stop();

    // Called, on the thread that stops the pool, with the kernel id of each
    // worker that did not end in time, before it is given up: the hook may
    // interrupt what the worker runs (such as script code). Any thread.
    void setTerminateHook(std::function<void(uint32_t threadId)> hook);

    struct Counts {
        size_t active = 0;   // workers that take tasks
        size_t retiring = 0; // workers told to stop whose threads have not ended
        size_t busy = 0;     // active workers running a task
        size_t queued = 0;
    };
    // Any thread.
    Counts counts() const;
    // Signalled after every scheduler pass (null: none). Any thread.
    void setScheduleListener(Event::Handle event);

private:
    class Worker;
    using WorkerList = std::list<std::shared_ptr<Worker>>;

    static void threadProc(const std::weak_ptr<ThreadPool>& pool, const Event::Handle& wake);
    // One scheduler pass; returns whether work is pending. It reads the
    // workers' states from their fields, never from their threads, so a pass
    // makes no system call per worker. Scheduler thread.
    bool schedule();
    bool stopping() const;
    void startWorker();
    // Under the pool lock: the worker leaves the idle list.
    void retire(Worker& worker);
    // Worker threads, each under the pool lock: take the next task and mark
    // the worker busy with it, or, with none, mark the worker idle; clear the
    // worker's task; note that the worker's thread is ending.
    std::shared_ptr<Task> popTask(Worker& worker);
    void finishTask(Worker& worker);
    void workerEnded(Worker& worker);
    // Waits for the threads to end with one budget for all; returns those
    // still running.
    static std::vector<Worker*> waitForWorkers(const std::vector<Worker*>& workers,
                                               uint32_t budgetMs);
    void stopWorkers(WorkerList& workers);

    const Options options_;
    mutable Mutex mutex_; // guards everything below, including each worker's state
    bool stopping_ = false;
    Thread scheduler_;
    Event wake_{true};
    WorkerList active_;
    WorkerList retiring_;
    // Workers waiting for a task, woken one per queued task.
    std::deque<Worker*> idle_;
    std::deque<std::shared_ptr<Task>> queue_;
    std::function<void(uint32_t)> terminateHook_;
    Event::Handle scheduleListener_;
};
