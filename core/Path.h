#pragma once

#include <cstdint>
#include <string_view>

#include "core/Wstr.h"

// Lexical operations on POSIX paths: nothing here asks the file system. '/'
// is the one separator and a run of separators counts as one; "/" is the one
// root. A backslash is an ordinary character. None throws except on exhausted
// memory. Stateless: any thread.
namespace Path {

inline constexpr wchar_t kSeparator = L'/';

// True when the path starts with a separator.
bool isRooted(std::wstring_view path);

// Drive letters do not exist on this system: always 0.
wchar_t driveLetter(std::wstring_view path);

// "/" for an absolute path, else empty. rest receives the index of the first
// character after the root and its separators: 0 for a relative path, -1 when
// nothing follows the root (and for an empty path).
wstr root(std::wstring_view path, int64_t* rest = nullptr);

// The root followed by the components joined with '/', with "." dropped and
// ".." folding the component before it; ".." never climbs above the root (nor
// above the start of a relative path). Trailing separators go.
wstr canonicalize(std::wstring_view path);

// Appends second to first, with a '/' between them when both are non-empty and
// neither brings a separator to the seam (two separators there are both kept).
wstr& join(wstr& first, std::wstring_view second);
wstr combine(std::wstring_view first, std::wstring_view second);

// The folder holding the last component: "." when there is no separator,
// "/" for the root and for components right below it. Trailing separators
// are ignored ("a/b/" gives "a").
wstr parent(std::wstring_view path);

// The last component, ignoring trailing separators; a path made only of
// separators is returned whole.
wstr fileName(std::wstring_view path);

// The file name up to its first dot, leading dots not counting as one
// ("a.b.c" gives "a", ".profile" stays ".profile").
wstr stem(std::wstring_view path);

// The extension without its dot: after the last dot, or with multiPart after
// the first one ("a.tar.gz": "gz" or "tar.gz"). Leading dots do not count;
// empty for "." and "..", a path ending in a separator, or a dot at the end.
wstr extension(std::wstring_view path, bool multiPart = false);

// Replaces the file name's part from its first dot with '.' and extension, or
// removes it when extension is empty. A name without a dot, or whose first dot
// is its first character, gets the extension appended. Paths that are empty,
// end with a separator or name "." or ".." stay as they are.
wstr& replaceExtension(wstr& path, std::wstring_view extension);

// True when the path is longer than extension plus one and ends with '.' and
// the extension, compared without case.
bool hasExtension(std::wstring_view path, std::wstring_view extension);

} // namespace Path

// Path::join of a copy of first and second.
wstr joinPath(const wstr& first, const wchar_t* second);
