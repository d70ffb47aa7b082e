#include "platform/InstanceLock.h"

#include "platform/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace Platform {

InstanceLock::Result InstanceLock::acquire(const std::string& path) {
    release();
    UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        setLastErrorFromErrno();
        return Failed;
    }
    while (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return HeldByOther;
        if (errno != EINTR) {
            setLastErrorFromErrno();
            return Failed;
        }
    }
    fd_ = std::move(fd);
    inChild_.set(fd_.get());
    return Acquired;
}

} // namespace Platform
