#pragma once

#include <cstddef>
#include <string>

namespace Platform {

// The largest file readFile takes by default. It reads configuration and
// system text (desktop entries, MIME lists, user-dirs.dirs, /proc files),
// all far smaller; the cap keeps a huge or hostile file from taking memory.
constexpr size_t maxTextFileSize = size_t(16) << 20;

// Replaces out with the whole content of the file, read through a
// descriptor that is close-on-exec (a program started meanwhile by another
// thread never inherits it). Only regular files are read: a FIFO, a device
// (/dev/zero) or a folder fails with EINVAL (EISDIR for a folder) without
// blocking, and a file above maxSize fails with EFBIG. False, with out
// empty, when the file cannot be opened or read; errno tells why. Any thread.
bool readFile(const std::string& path, std::string& out, size_t maxSize = maxTextFileSize);

} // namespace Platform
