#include "platform/ReadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

namespace Platform {

namespace {

bool fail(std::string& out, int error) {
    out.clear();
    errno = error;
    return false;
}

} // namespace

bool readFile(const std::string& path, std::string& out, size_t maxSize) {
    out.clear();
    // Non-blocking, so that opening a FIFO cannot hang; checked below.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return false;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0)
        return fail(out, errno);
    if (!S_ISREG(st.st_mode))
        return fail(out, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // /proc files report size 0: the loop below bounds them too.
    if (size_t(st.st_size) > maxSize)
        return fail(out, EFBIG);
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(out, errno);
        if (out.size() + size_t(n) > maxSize)
            return fail(out, EFBIG);
        out.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace Platform
