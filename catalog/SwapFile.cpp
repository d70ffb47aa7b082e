#include "catalog/SwapFile.h"

#include "core/SysFile.h"
#include "platform/Error.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace SwapFile {
namespace {

constexpr char kSuffix[] = ".qvswap";

// The file a rewrite replaces: the target of a symbolic link, so that the
// link itself stays in place.
std::string replacedFile(const wstr& path) {
    std::string narrow = wstr::toUtf8(path);
    struct stat st;
    char resolved[PATH_MAX];
    if (lstat(narrow.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        realpath(narrow.c_str(), resolved))
        return resolved;
    return narrow;
}

// Makes the rename durable. Once the rename is done the file has its new
// content whatever this reports, so a failure here is not the caller's.
void syncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    Platform::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        fsync(fd.get());
}

// Deletes the swap file; the error that made the caller give up stays the
// last error.
void removeSwap(const std::string& swap, uint32_t error) {
    unlink(swap.c_str());
    Platform::setLastError(error);
}

bool writeSwap(const std::string& swap, const std::string& target, const void* data, size_t size) {
    Platform::UniqueFd fd(open(swap.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        Platform::setLastErrorFromErrno();
        return false;
    }
    struct stat old;
    if (stat(target.c_str(), &old) == 0 && fchmod(fd.get(), old.st_mode & 07777) != 0) {
        removeSwap(swap, Platform::setLastErrorFromErrno());
        return false;
    }
    if (!Sys::writeAll(fd.get(), data, size)) {
        removeSwap(swap, Platform::lastError());
        return false;
    }
    if (fsync(fd.get()) != 0 || close(fd.release()) != 0) {
        removeSwap(swap, Platform::setLastErrorFromErrno());
        return false;
    }
    return true;
}

} // namespace

wstr swapPath(const wstr& path) {
    return wstr::fromUtf8((replacedFile(path) + kSuffix).c_str());
}

bool write(const wstr& path, const void* data, size_t size) {
    std::string target = replacedFile(path);
    return writeSwap(target + kSuffix, target, data, size);
}

bool replace(const wstr& path) {
    std::string target = replacedFile(path);
    std::string swap = target + kSuffix;
    if (rename(swap.c_str(), target.c_str()) != 0) {
        removeSwap(swap, Platform::setLastErrorFromErrno());
        return false;
    }
    syncFolderOf(target);
    Platform::setLastError(Platform::ERROR_SUCCESS);
    return true;
}

bool writeAndReplace(const wstr& path, const void* data, size_t size) {
    return write(path, data, size) && replace(path);
}

} // namespace SwapFile
