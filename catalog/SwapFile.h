#pragma once

#include "core/Wstr.h"

#include <cstddef>

// Whole-file rewrites that never leave a half-written file behind: the new
// content goes to the file's name followed by ".qvswap", is flushed to the
// disk and then renamed over the file, and the folder is flushed so that the
// rename itself survives a crash. Failures keep their error number as the
// calling thread's last error (platform/Error.h) and remove the swap file, so
// the previous file stays as it was. Any thread; callers serialise writes to
// one path.
namespace SwapFile {

// The path followed by ".qvswap". A symbolic link is written through: the
// swap file lies beside the file the link points at.
wstr swapPath(const wstr& path);

// Creates or truncates the swap file and writes, flushes and closes it. The
// swap file takes the permissions of the file it is to replace. On failure
// it is deleted.
bool write(const wstr& path, const void* data, size_t size);

// Renames the swap file over the file and flushes the folder. On failure the
// swap file is deleted and the file keeps its content.
bool replace(const wstr& path);

// Removes the swap file that a write interrupted by a crash or a kill left
// beside the file (logged). Call at start, before the first write.
void removeLeftover(const wstr& path);

// write, then replace.
bool writeAndReplace(const wstr& path, const void* data, size_t size);

} // namespace SwapFile
