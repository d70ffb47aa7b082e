#pragma once

#include <cstddef>
#include <string>

// Whole-file rewrites that never leave a half-written file behind: the new
// content goes to a side file in the same folder, is flushed to the disk and
// then renamed over the file, and the folder is flushed so that the rename
// itself survives a crash. The caller names the side file. Failures remove
// the side file and leave errno telling why, so the previous file stays as
// it was. Any thread; callers serialise writes to one side file.
namespace Platform {

// The file that a rewrite of path replaces: a symbolic link is written
// through, so that the link itself stays in place.
std::string replacedFile(const std::string& path);

// How writeSideFile opens the side file. A name of the writer's own must not
// exist yet; a fixed name may be left over from a crash and is truncated.
enum class SideName { Unique, Fixed };

// Writes the side file completely, flushes and closes it. It is private to
// the user whatever the umask: the owner's permissions of target (when
// target exists, else read and write), none for the group and others. On
// failure the side file is gone.
bool writeSideFile(const std::string& side, const std::string& target, const void* data,
                   size_t size, SideName name);

// Renames side over target and flushes target's folder. On failure the side
// file is gone and target keeps its content.
bool replaceWithSideFile(const std::string& side, const std::string& target);

// Writes every byte in chunks of at most 512 KiB, going on after interrupted
// and partial writes (nothing to write is success). A write
// that makes no progress fails with EIO.
bool writeAll(int fd, const void* data, size_t size);

} // namespace Platform
