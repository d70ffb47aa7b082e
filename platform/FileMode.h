#pragma once

#include <string>

namespace Platform {

// Takes every write permission off the file, as the read-only attribute of
// a desktop file system does. False, with the last error set, on failure.
// Any thread.
bool makeReadOnly(const std::string& path);

// Takes the group's and others' permissions off the open file, so that what
// the program writes stays the user's whatever the umask or an earlier
// version left. False, with errno set, on failure. Any thread.
bool makePrivate(int fd);

// True for a regular file with an execute bit that the system can run: an
// ELF binary or a script with a "#!" line. Media without permissions (FAT,
// exFAT, NTFS, many network mounts) mark every file executable, so the bit
// alone says nothing. Any thread.
bool isProgramFile(const std::string& path);

} // namespace Platform
