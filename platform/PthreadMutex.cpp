#include "platform/PthreadMutex.h"

#include "platform/Error.h"

namespace Platform {
namespace {

class MutexAttr {
public:
    MutexAttr() : error_(pthread_mutexattr_init(&attr_)) {
        if (!error_)
            error_ = pthread_mutexattr_settype(&attr_, PTHREAD_MUTEX_RECURSIVE);
        if (!error_)
            error_ = pthread_mutexattr_setrobust(&attr_, PTHREAD_MUTEX_ROBUST);
    }
    ~MutexAttr() { pthread_mutexattr_destroy(&attr_); }
    MutexAttr(const MutexAttr&) = delete;
    MutexAttr& operator=(const MutexAttr&) = delete;

    int error() const { return error_; }
    const pthread_mutexattr_t* get() const { return &attr_; }

private:
    pthread_mutexattr_t attr_;
    int error_;
};

} // namespace

PthreadMutex::PthreadMutex() {
    MutexAttr attr;
    int error = attr.error();
    if (!error)
        error = pthread_mutex_init(&mutex_, attr.get());
    valid_ = error == 0;
    if (error)
        setLastErrorFromErrno(error);
}

PthreadMutex::~PthreadMutex() {
    if (valid_)
        pthread_mutex_destroy(&mutex_);
}

bool PthreadMutex::lock() {
    int error = valid_ ? pthread_mutex_lock(&mutex_) : EINVAL;
    // The previous owner ended while holding the mutex: it is ours now, and
    // marking it consistent keeps it usable after we unlock.
    if (error == EOWNERDEAD)
        error = pthread_mutex_consistent(&mutex_);
    if (error)
        setLastErrorFromErrno(error);
    return error == 0;
}

bool PthreadMutex::unlock() {
    int error = valid_ ? pthread_mutex_unlock(&mutex_) : EINVAL;
    if (error == EPERM) {
        setLastError(ERROR_NOT_OWNER);
        return false;
    }
    if (error)
        setLastErrorFromErrno(error);
    return error == 0;
}

} // namespace Platform
