#pragma once

// Tells the thread sanitizer of a hand-off it cannot see: a release by the
// thread that hands memory over, an acquire by the one that takes it, on the
// same address. Used where the hand-off passes through code the sanitizer
// does not see into (a descriptor polled without being read, Qt's event
// queue). Nothing in other builds. Any thread.
#if defined(__SANITIZE_THREAD__)
#define QV_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QV_TSAN 1
#endif
#endif
#ifdef QV_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace Platform {

inline void tsanRelease(const void* address) {
#ifdef QV_TSAN
    __tsan_release(const_cast<void*>(address));
#else
    (void)address;
#endif
}

inline void tsanAcquire(const void* address) {
#ifdef QV_TSAN
    __tsan_acquire(const_cast<void*>(address));
#else
    (void)address;
#endif
}

} // namespace Platform
