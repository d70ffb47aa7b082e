#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of threads that split one scan between them: run hands out
// numbered tasks to the helpers and the calling thread, and returns once all
// are done. The helpers start at the first run that has more than one task
// and wait between runs, so that a search per keystroke pays no thread start.
// One run at a time: the catalog's lock serialises its searches.
class ScanWorkers {
public:
    // threads: the calling thread and its helpers together (at least 1).
    explicit ScanWorkers(std::size_t threads);
    ~ScanWorkers();
    ScanWorkers(const ScanWorkers&) = delete;
    ScanWorkers& operator=(const ScanWorkers&) = delete;

    // The calling thread and the helpers: the range of the worker argument.
    std::size_t threads() const { return threads_; }

    // Calls task(index, worker) for every index below count, on any of the
    // threads; worker tells which (0 is the caller). Returns when every call
    // has returned. The caller's thread; not reentrant.
    void run(std::size_t count, const std::function<void(std::size_t, std::size_t)>& task);

private:
    void start();
    void helperLoop(std::size_t worker);
    // Takes tasks until none is left.
    void work(std::size_t worker);

    const std::size_t threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    uint64_t generation_ = 0;
    bool stopping_ = false;
    std::size_t busyHelpers_ = 0;
    const std::function<void(std::size_t, std::size_t)>* task_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0; // under the mutex: tasks are coarse, so a lock per task is cheap
    std::vector<std::jthread> helpers_;
};
