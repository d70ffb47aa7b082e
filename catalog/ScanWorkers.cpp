#include "catalog/ScanWorkers.h"

#include <algorithm>

ScanWorkers::ScanWorkers(std::size_t threads) : threads_(std::max<std::size_t>(threads, 1)) {}

ScanWorkers::~ScanWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    helpers_.clear(); // joins
}

void ScanWorkers::start() {
    helpers_.reserve(threads_ - 1);
    for (std::size_t worker = 1; worker < threads_; ++worker)
        helpers_.emplace_back([this, worker] { helperLoop(worker); });
}

void ScanWorkers::run(std::size_t count,
                      const std::function<void(std::size_t, std::size_t)>& task) {
    if (count == 0)
        return;
    if (count == 1 || threads_ == 1) {
        for (std::size_t i = 0; i < count; ++i)
            task(i, 0);
        return;
    }
    if (helpers_.empty())
        start();
    {
        std::lock_guard lock(mutex_);
        task_ = &task;
        count_ = count;
        next_ = 0;
        busyHelpers_ = helpers_.size();
        ++generation_;
    }
    wake_.notify_all();
    work(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return busyHelpers_ == 0; });
    task_ = nullptr;
}

void ScanWorkers::helperLoop(std::size_t worker) {
    uint64_t seen = 0;
    while (true) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
        }
        work(worker);
        std::lock_guard lock(mutex_);
        if (--busyHelpers_ == 0)
            done_.notify_one();
    }
}

void ScanWorkers::work(std::size_t worker) {
    while (true) {
        std::size_t index = 0;
        const std::function<void(std::size_t, std::size_t)>* task = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (next_ >= count_)
                return;
            index = next_++;
            task = task_;
        }
        (*task)(index, worker);
    }
}
