#pragma once

#include <string>

namespace Platform {

// Replaces out with the whole content of the file, read through a
// descriptor that is close-on-exec (a program started meanwhile by another
// thread never inherits it). False, with out empty, when the file cannot be
// opened or read; errno tells why. Any thread.
bool readFile(const std::string& path, std::string& out);

} // namespace Platform
