#pragma once

#include <string>

namespace Platform {

// Takes every write permission off the file, as the read-only attribute of
// a desktop file system does. False, with the last error set, on failure.
// Any thread.
bool makeReadOnly(const std::string& path);

} // namespace Platform
