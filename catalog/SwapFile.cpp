#include "catalog/SwapFile.h"

#include "core/SysFile.h"
#include "platform/AtomicWrite.h"
#include "platform/Error.h"

#include <string>

namespace SwapFile {
namespace {

constexpr char kSuffix[] = ".qvswap";

std::string replacedFile(const wstr& path) {
    return Platform::replacedFile(wstr::toUtf8(path));
}

bool failed() {
    Platform::setLastErrorFromErrno();
    return false;
}

} // namespace

wstr swapPath(const wstr& path) {
    return wstr::fromUtf8((replacedFile(path) + kSuffix).c_str());
}

bool write(const wstr& path, const void* data, size_t size) {
    std::string target = replacedFile(path);
    // A swap file left by a crash is overwritten.
    if (!Platform::writeSideFile(target + kSuffix, target, data, size, Platform::SideName::Fixed))
        return failed();
    return true;
}

bool replace(const wstr& path) {
    std::string target = replacedFile(path);
    if (!Platform::replaceWithSideFile(target + kSuffix, target))
        return failed();
    Platform::setLastError(Platform::ERROR_SUCCESS);
    return true;
}

void removeLeftover(const wstr& path) {
    Sys::removeLeftoverFile(swapPath(path));
}

bool writeAndReplace(const wstr& path, const void* data, size_t size) {
    return write(path, data, size) && replace(path);
}

} // namespace SwapFile
