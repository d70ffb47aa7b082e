#include "platform/InstanceLock.h"

#include "platform/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

bool InstanceLock::record(const std::string& text) {
    // Written in place: a new file renamed over this one would not carry the
    // lock.
    if (!fd_.valid() ||
        pwrite(fd_.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ftruncate(fd_.get(), static_cast<off_t>(text.size())) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

std::optional<std::string> InstanceLock::heldText(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid())
        return std::nullopt;
    int rc;
    while ((rc = flock(fd.get(), LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc == 0 || errno != EWOULDBLOCK)
        return std::nullopt;
    std::string text(4096, '\0');
    const ssize_t n = pread(fd.get(), text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

} // namespace Platform
