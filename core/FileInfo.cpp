#include "core/FileInfo.h"

#include <cerrno>
#include <fcntl.h>

#include "platform/Error.h"

namespace {

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

} // namespace

bool FileInfo::open(const wstr& path) {
    close();
    path_ = path;
    fd_.reset(::open(wstr::toUtf8(path).c_str(), O_PATH | O_CLOEXEC));
    if (!fd_.valid() || ::statx(fd_.get(), "", AT_EMPTY_PATH, kStatxMask, &info_) != 0) {
        Platform::setLastErrorFromErrno();
        close();
        return false;
    }
    directory_ = S_ISDIR(info_.stx_mode);
    size_ = directory_ ? 0 : info_.stx_size;
    return true;
}

void FileInfo::close() {
    fd_.reset();
    path_.clear();
    info_ = {};
    directory_ = false;
    size_ = 0;
}
