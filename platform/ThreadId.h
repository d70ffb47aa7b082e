#pragma once

#include <cstdint>

namespace Platform {

// The kernel's id of the calling thread (gettid), the number that Python's
// threading.get_native_id() and the system's tools show. Any thread.
uint32_t currentThreadId();

// True while the process's thread runs or is ready to run on a processor:
// not asleep in the kernel (as a thread that waits for a lock is). False for
// a thread that has ended. Any thread.
bool threadIsRunning(uint32_t threadId);
// True while the process's thread has not ended. Any thread.
bool threadExists(uint32_t threadId);

} // namespace Platform
