#pragma once

#include "platform/PthreadMutex.h"

#include <system_error>

// The lock of one shared structure, owned by that structure. It is recursive
// (a thread that holds it may take it again and releases it as often), and a
// mutex whose owner thread ended while holding it is acquired normally by the
// next waiter. Taking it waits without time-out and throws when the wait
// fails; releasing never throws.
class Mutex {
public:
    // Throws std::runtime_error "Failed to create mutex (error {})".
    Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Releases the mutex once. A failure is logged at level error as "Failed
    // to release mutex (error {})" and the thread's last error is left as it
    // was. Thread that holds it.
    void release();

    Platform::PthreadMutex& handle() { return mutex_; }

    // A scoped hold of a Mutex, created on the stack of the thread that uses it.
    class Lock {
    public:
        // Acquires the mutex; throws makeLockError() when the wait fails.
        explicit Lock(Mutex& mutex);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

        // Acquires again after unlock(); does nothing while this Lock holds it.
        void lock();
        // Releases (logging a failure, never throwing); does nothing while
        // this Lock does not hold it.
        void unlock();
        bool locked() const { return locked_; }

    private:
        Mutex& mutex_;
        bool locked_ = false;
    };

private:
    Platform::PthreadMutex mutex_;
};

// The exception of a failed wait: std::system_error "Failed to lock mutex"
// with the thread's last error.
std::system_error makeLockError();
