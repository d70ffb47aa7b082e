#pragma once

#include "platform/UniqueFd.h"

namespace Platform {

// Mounts appearing or disappearing in this process's mount namespace: the
// kernel flags /proc/self/mountinfo with a priority event (POLLPRI) after
// each change, and a poll consumes the flag. Watch fd() for exceptional
// conditions (a socket notifier of type Exception). Any one thread.
class MountWatch {
public:
    // valid() is false when the file cannot be opened (the last error set).
    MountWatch();

    bool valid() const { return fd_.valid(); }
    int fd() const { return fd_.get(); }
    // True when the mounts changed since the last call (or since the watch
    // began); never waits.
    bool changed();

private:
    UniqueFd fd_;
};

} // namespace Platform
