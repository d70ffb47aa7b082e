#pragma once

#include <pthread.h>

namespace Platform {

// A recursive, robust pthread mutex: the owner may lock it again (and unlocks
// it as often), and a mutex whose owner thread ended while holding it is
// acquired normally by the next locker. Any thread may lock; only the owner
// unlocks.
class PthreadMutex {
public:
    // On failure valid() is false and the last error is set.
    PthreadMutex();
    ~PthreadMutex();
    PthreadMutex(const PthreadMutex&) = delete;
    PthreadMutex& operator=(const PthreadMutex&) = delete;

    bool valid() const { return valid_; }

    // Waits without time-out. True when acquired, also when the previous owner
    // died holding it; false with the last error set when the wait failed.
    bool lock();
    // False with the last error set (ERROR_NOT_OWNER when the caller does not
    // hold it).
    bool unlock();

private:
    pthread_mutex_t mutex_;
    bool valid_ = false;
};

} // namespace Platform
