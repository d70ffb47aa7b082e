#include "platform/ThreadId.h"

#include <unistd.h>

namespace Platform {

uint32_t currentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(::gettid());
    return id;
}

} // namespace Platform
