#pragma once

#include <cstdint>
#include <string>

#include "core/Wstr.h"
#include "platform/DynLib.h"

// Shared libraries loaded quietly and kept for the life of the process.
namespace Sys {

constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;

// Modes of loadCachedLibrary: 0 and LibraryPlain load the library to run its
// code; LibraryAsData (loading for its resources only) has no meaning here.
enum LibraryMode : uint32_t {
    LibraryAsData = 0x1,
    LibraryPlain = 0x2,
};

// Opens a shared library by name (the loader's search rules) or path. Any
// non-zero flags ask for data-file loading, which is not supported. On
// failure the library is closed and the last error is ERROR_MOD_NOT_FOUND
// (or ERROR_NOT_SUPPORTED). Any thread.
Platform::DynLib loadLibrary(const wstr& name, uint32_t flags = 0);

// The library loaded on first use and cached under its trimmed name; never
// unloaded. Null on failure, which is not cached. Any thread.
void* loadCachedLibrary(const wstr& name, uint32_t mode = 0);

// The address of an exported function of a cached library; null (last error
// ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND) when either is missing. Any
// thread.
void* getProcAddress(const wstr& library, const std::string& function, uint32_t mode = 0);

} // namespace Sys
