#include "platform/FileMode.h"

#include "platform/Error.h"

#include "platform/UniqueFd.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

bool makeReadOnly(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || chmod(path.c_str(), st.st_mode & ~0222 & 07777) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

bool isProgramFile(const std::string& path) {
    // Non-blocking: a FIFO must not hang the open.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !(st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)))
        return false;
    char head[4] = {};
    ssize_t n = pread(fd.get(), head, sizeof head, 0);
    if (n >= 4 && std::memcmp(head,
                              "\x7f"
                              "ELF",
                              4) == 0)
        return true;
    return n >= 2 && head[0] == '#' && head[1] == '!';
}

bool makePrivate(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    return (st.st_mode & 077) == 0 || fchmod(fd, st.st_mode & 07700) == 0;
}

} // namespace Platform
