#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Wstr.h"

// Decoding of text files written by any editor in any encoding: a byte-order
// mark selects UTF-32 or UTF-16 in either byte order, or marks UTF-8; text
// without a mark is UTF-8 when valid, else Windows-1252 ("ANSI").
// Every function may be called from any thread.
namespace Utf {

// Replaces out by the UTF-8 form of the bytes. Throws std::runtime_error on
// malformed UTF-32, UTF-16 or marked UTF-8, naming `name` in the message.
void decodeTextToUtf8(std::string& out, const uint8_t* bytes, size_t count, const wstr& name);

// decodeTextToUtf8, then converted to wide text.
void decodeText(wstr& out, const uint8_t* bytes, size_t count, const wstr& name);

enum class ReadResult {
    Read,       // the file was read and decoded (possibly to an empty text)
    Empty,      // the file has no bytes
    TooLarge,   // the file is larger than the given maximum: nothing was read
    Unreadable, // missing or not readable
};

// Reads the whole file and decodes it with decodeTextToUtf8 (the path names
// it in messages). Anything but ReadResult::Read leaves out empty, so a
// caller can tell a file too large to read from an empty one. Decoding
// errors propagate. maxSize 0 means no limit.
ReadResult readTextFile(std::string& out, const wstr& path, uint64_t maxSize = 0);

} // namespace Utf
