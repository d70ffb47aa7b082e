#pragma once

#include <sched.h>

namespace Platform {

// Moves the calling thread into the batch scheduling class (SCHED_BATCH: a
// CPU-bound background job that yields to interactive threads) while it
// lives, and back into its previous class and parameters afterwards. The
// nice value is left alone: an unprivileged process could not lower it again.
// Created and destroyed on one thread.
class BatchSchedulingScope {
public:
    BatchSchedulingScope();
    ~BatchSchedulingScope();
    BatchSchedulingScope(const BatchSchedulingScope&) = delete;
    BatchSchedulingScope& operator=(const BatchSchedulingScope&) = delete;

private:
    int policy_ = SCHED_OTHER;
    sched_param param_{};
    bool entered_ = false;
};

} // namespace Platform
