#include "core/Mutex.h"

#include "core/Format.h"
#include "core/Logger.h"
#include "platform/Error.h"

#include <stdexcept>

using namespace Platform;

Mutex::Mutex() {
    if (!mutex_.valid())
        throw std::runtime_error(formatNarrow("Failed to create mutex (error {})", lastError()));
}

void Mutex::release() {
    if (mutex_.unlock())
        return;
    const uint32_t error = lastError();
    wstr text;
    logMessage(Logger::Error, wstr::format(text, L"Failed to release mutex (error {})", error));
    setLastError(error);
}

std::system_error makeLockError() {
    return std::system_error(static_cast<int>(lastError()), errorCategory(),
                             "Failed to lock mutex");
}

Mutex::Lock::Lock(Mutex& mutex) : mutex_(mutex) {
    lock();
}

Mutex::Lock::~Lock() {
    unlock();
}

void Mutex::Lock::lock() {
    if (locked_)
        return;
    if (!mutex_.handle().lock())
        throw makeLockError();
    locked_ = true;
}

void Mutex::Lock::unlock() {
    if (!locked_)
        return;
    locked_ = false;
    mutex_.release();
}
