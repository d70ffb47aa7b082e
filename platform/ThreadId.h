#pragma once

#include <cstdint>

namespace Platform {

// The kernel's id of the calling thread (gettid), the number that Python's
// threading.get_native_id() and the system's tools show. Any thread.
uint32_t currentThreadId();

} // namespace Platform
