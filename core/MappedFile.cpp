#include "core/MappedFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Wstr.h"
#include "platform/Error.h"
#include "platform/UniqueFd.h"

namespace {

constexpr uint64_t kReadAllLimit = 52428800;

} // namespace

bool MappedFile::open(const wstr& path, uint64_t maxSize) {
    release();
    // Non-blocking so that a FIFO given as path cannot hang the open.
    const Platform::UniqueFd fd(
        ::open(wstr::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    error_ = fd.valid() ? readFile(fd.get(), maxSize) : Platform::errorFromErrno(errno);
    if (error_ != 0)
        view_ = {};
    if (view_.empty())
        fileSize_ = 0;
    return !view_.empty();
}

uint32_t MappedFile::readFile(int fd, uint64_t maxSize) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Platform::errorFromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return Platform::ERROR_ACCESS_DENIED;
    if (!S_ISREG(st.st_mode))
        return Platform::ERROR_INVALID_FUNCTION;
    const auto size = static_cast<uint64_t>(st.st_size);
    if (maxSize == 0 || maxSize > hardLimit)
        maxSize = hardLimit;
    if (size == 0 || size > maxSize)
        return 0;
    view_.resize(size);
    uint64_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, view_.data() + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Platform::errorFromErrno(errno);
        if (got == 0)
            break; // shrunk since fstat: keep what is there
        done += static_cast<uint64_t>(got);
    }
    view_.resize(done);
    fileSize_ = done;
    return 0;
}

void MappedFile::release() {
    view_ = {};
    fileSize_ = 0;
    error_ = 0;
}

bool MappedFile::readInto(std::vector<uint8_t>& out, const wstr& path, uint64_t maxSize) {
    out.clear();
    MappedFile file;
    if (!file.open(path, maxSize))
        return false;
    out = std::move(file.view_);
    return true;
}

std::vector<uint8_t> MappedFile::readAll(const wstr& path) {
    std::vector<uint8_t> bytes;
    readInto(bytes, path, kReadAllLimit);
    return bytes;
}
