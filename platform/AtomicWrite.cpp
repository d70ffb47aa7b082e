#include "platform/AtomicWrite.h"

#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

constexpr size_t kWriteChunk = 0x80000;

// Makes the rename durable. Once the rename is done the file has its new
// content whatever this reports, so a failure here is not the caller's.
void syncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        fsync(fd.get());
}

// Deletes the side file; errno keeps the reason the caller gave up.
bool removeSideFile(const std::string& side) {
    int err = errno;
    unlink(side.c_str());
    errno = err;
    return false;
}

} // namespace

std::string replacedFile(const std::string& path) {
    struct stat st;
    char resolved[PATH_MAX];
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

bool writeSideFile(const std::string& side, const std::string& target, const void* data,
                   size_t size, SideName name) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (name == SideName::Unique ? O_EXCL : O_TRUNC);
    UniqueFd fd(open(side.c_str(), flags, 0600));
    if (!fd.valid())
        return false;
    // A side file left by a crash may have been made before the files were
    // private.
    struct stat old;
    const mode_t mode = stat(target.c_str(), &old) == 0 ? old.st_mode & 0700 : 0600;
    if (fchmod(fd.get(), mode) != 0)
        return removeSideFile(side);
    if (!writeAll(fd.get(), data, size) || fsync(fd.get()) != 0 || close(fd.release()) != 0)
        return removeSideFile(side);
    return true;
}

bool replaceWithSideFile(const std::string& side, const std::string& target) {
    if (rename(side.c_str(), target.c_str()) != 0)
        return removeSideFile(side);
    syncFolderOf(target);
    return true;
}

bool writeAll(int fd, const void* data, size_t size) {
    auto bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t written = write(fd, bytes, std::min(size, kWriteChunk));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace Platform
