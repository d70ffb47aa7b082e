#pragma once

#include <cstdint>
#include <vector>

#include "core/Wstr.h"
#include "platform/Error.h"

namespace Sys {

// No application is associated with the file for this operation (the
// program that opens documents and URLs is missing).
constexpr uint32_t ERROR_NO_ASSOCIATION = Platform::ERROR_NO_ASSOCIATION;

// A path followed by a comma and an icon index, parsed.
struct IconLocation {
    wstr path;
    int32_t index = 0;
};

// Starts what a file, folder or URL stands for and returns at once: 0 on
// success, else the error number (also kept as last error).
// - An executable regular file runs with `parameters` split by the
//   command-line rules, in `folder` when given (ERROR_DIRECTORY when that is
//   not a folder). A bare name (no '/') is looked up in PATH only, never in
//   the current folder.
// - A desktop entry runs its program with its arguments and then
//   `parameters`, in its working folder unless `folder` is given; a link
//   entry opens its URL. Only an entry with an execute bit or below an
//   applications folder of $XDG_DATA_HOME or $XDG_DATA_DIRS is trusted: any
//   other is refused with ERROR_ACCESS_DENIED and a warning naming it.
// - Documents, folders and URLs open with xdg-open (ERROR_NO_ASSOCIATION
//   when it is missing).
// - The verb "edit" opens a file in $VISUAL, else $EDITOR, else xdg-open.
// The verbs "", "open", "explore" and "edit" are known; any other gives
// ERROR_NOT_SUPPORTED. A missing file gives ERROR_FILE_NOT_FOUND. Children
// never outlive us as zombies and inherit no descriptor but the standard
// streams. Any thread.
uint32_t shellExecute(const wstr& file, const wstr& parameters = {}, const wstr& verb = {},
                      const wstr& folder = {});

// Parses "[@]path[,index]": blanks and one '@' in front are skipped, the
// text after the last comma is the index only when it is a number, a path
// ending in ",cpl", ",dll" or ",exe" gets a '.' for that comma, and %NAME%
// in the path is expanded. Any thread.
IconLocation parseIconLocation(const wstr& location);

// The command line that opens URLs of the first scheme with a usable
// handler. A scheme's handlers are its default applications in
// mimeapps.list (the user's, then the system's) and the desktop entries they
// name; the first whose program is found counts. Its Exec line, with the
// file and URL field codes written as the program's placeholder "%1" and
// the other field codes dropped, is resolved by Sys::resolveCommandLine with
// the folder and extension lists. `icon`, when given, receives the entry's
// Icon, else "@<program>,0". False, with command and icon empty, when no
// scheme has a handler. Any thread.
bool urlSchemeHandler(wstr& command, const std::vector<wstr>& schemes, wstr* icon,
                      const std::vector<wstr>& folders = {},
                      const std::vector<wstr>& extensions = {});

} // namespace Sys
