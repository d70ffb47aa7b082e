#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Wstr.h"

// Small file-system operations. Failures keep their error number as the
// calling thread's last error (platform/Error.h). Any thread.
namespace Sys {

// Bits of fileAttributes: the kind of the item, then its attributes.
enum FileAttributeBits : uint32_t {
    FileAttrNonFileSystem = 0x01,
    FileAttrFolder = 0x02,
    FileAttrFile = 0x04,
    FileAttrLink = 0x08,
    FileAttrExecutable = 0x10,
    FileAttrConsole = 0x20,
    FileAttrWindowed = 0x40,
    FileAttrReadOnly = 0x20000,
    FileAttrHidden = 0x40000,
};

// -1 when the path cannot be examined, 1 for a folder, 0 for anything else.
int isDirectory(const wstr& path);

// Gives the owner write permission back. False when the path cannot be
// examined; true when it was writable already or now is.
bool clearReadOnly(const wstr& path);

// Creates the folder, with wholeTree also its missing parents, private to
// the user (mode 0700 whatever the umask allows more). An existing
// folder counts as success (last error 183 then); an existing file does not.
bool createDirectories(const wstr& path, bool wholeTree);

// Writes the bytes as the file's whole content. The data goes to a new file
// beside it that replaces the old one only once it is completely written and
// flushed, so a failed write never destroys the previous content. A failed
// write logs "Failed to write to file {} (error {})" once, leaves no partial
// file and keeps its error as last error.
bool writeFile(const wstr& path, const void* data, size_t size);

// Removes the side files that writeFile left beside path when its writer was
// killed mid-write ("<name>.<pid>.<n>.tmp" of a process that has ended),
// logging each before it goes. Call at start, before the first write.
void removeLeftoverSideFiles(const wstr& path);
// Removes one such file under a fixed name, logged the same way; nothing
// when it is not there.
void removeLeftoverFile(const wstr& path);

// Writes everything to the descriptor in chunks of at most 512 KiB; true when
// all was written (nothing to write is success).
bool writeAll(int fd, const void* data, size_t size);

// 1 for a PE image ("MZ" header pointing at "PE\0\0"), 0 for another file,
// -1 when the file cannot be read.
int isPeFile(const wstr& path);

// A word of FileAttributeBits for the item: a desktop entry file is a link
// (followed to its target's word when follow is set, for `depth` levels), an
// executable regular file is an executable console program, a name starting
// with '.' is hidden, a file without write permission is read-only. 0 when
// the path does not exist.
uint32_t fileAttributes(const wstr& path, bool follow, int depth = 1);

// The path itself when it exists (this system has no short names), else
// empty.
wstr longPathName(const wstr& path);

// The absolute path with every folder symbolic link resolved and the last
// component kept as named (a link to a program keeps the name the program is
// called by). Success leaves last error 0; on failure the path comes back
// unchanged with the error as last error. An empty path gives empty.
wstr finalPathName(const wstr& path);

// The existing file whose name equals the last component of path without
// regard to letter case, in the folder the path names (as written): the
// settings files of users on case-insensitive systems are spelled any way.
// When several names differ only in case, the one spelled as asked wins,
// else the smallest in byte order, and a warning names both. Empty when no
// name matches.
wstr findFileNoCase(const wstr& path);

} // namespace Sys

namespace Path {

// True when the path lies on a network file system (NFS, SMB/CIFS, 9P,
// sshfs); false for relative and missing paths.
bool isRemote(const wstr& path);

} // namespace Path
