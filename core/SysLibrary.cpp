#include "core/SysLibrary.h"

#include <map>
#include <mutex>

#include "platform/Error.h"

namespace Sys {
namespace {

struct LibraryCache {
    std::mutex mutex;
    std::map<wstr, Platform::DynLib> libraries;
};

LibraryCache& cache() {
    static LibraryCache instance;
    return instance;
}

// Looks the library up or loads it; the cache mutex must be held.
void* cachedHandle(LibraryCache& c, const wstr& name, uint32_t mode) {
    wstr key = wstr::trimCopy(name);
    auto it = c.libraries.find(key);
    if (it != c.libraries.end())
        return it->second.handle();
    Platform::DynLib library = loadLibrary(key, mode & LibraryAsData);
    if (!library)
        return nullptr;
    void* handle = library.handle();
    c.libraries.emplace(key, std::move(library));
    return handle;
}

} // namespace

Platform::DynLib loadLibrary(const wstr& name, uint32_t flags) {
    Platform::DynLib library;
    if (flags != 0) {
        Platform::setLastError(Platform::ERROR_NOT_SUPPORTED);
        return library;
    }
    std::string narrow = wstr::toUtf8(name);
    if (narrow.empty() || !library.open(narrow))
        Platform::setLastError(ERROR_MOD_NOT_FOUND);
    return library;
}

void* loadCachedLibrary(const wstr& name, uint32_t mode) {
    LibraryCache& c = cache();
    std::lock_guard lock(c.mutex);
    return cachedHandle(c, name, mode);
}

void* getProcAddress(const wstr& library, const std::string& function, uint32_t mode) {
    LibraryCache& c = cache();
    std::lock_guard lock(c.mutex);
    void* handle = cachedHandle(c, library, mode);
    if (!handle)
        return nullptr;
    void* address = c.libraries.find(wstr::trimCopy(library))->second.symbol(function);
    if (!address)
        Platform::setLastError(ERROR_PROC_NOT_FOUND);
    return address;
}

} // namespace Sys
