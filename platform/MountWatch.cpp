#include "platform/MountWatch.h"

#include <fcntl.h>
#include <poll.h>

namespace Platform {

// The kernel takes the mount table at open as seen.
MountWatch::MountWatch() : fd_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

bool MountWatch::changed() {
    if (!fd_.valid())
        return false;
    pollfd entry{fd_.get(), POLLPRI, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLPRI | POLLERR));
}

} // namespace Platform
