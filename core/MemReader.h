#pragma once

#include <cstdint>

class wstr;

// A bounded reader over bytes it does not own. Every read that would pass the
// end throws std::invalid_argument "reading beyond eof" and leaves the cursor
// where it was, so a damaged buffer can never be read past its end. One
// thread at a time.
class MemReader {
public:
    MemReader(const void* data, uint64_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    // Copies count bytes to dest and advances. Throws when the cursor is at
    // the end (even for a count of 0) or fewer than count bytes remain.
    void read(void* dest, uint64_t count);

    // Reads a length-prefixed string: an unsigned 32-bit little-endian byte
    // count, then that many bytes of UTF-8. A prefix larger than what remains
    // is refused before anything is allocated.
    void readString(wstr& target);

    uint64_t cursor() const { return cursor_; }
    uint64_t size() const { return size_; }
    uint64_t remaining() const { return size_ - cursor_; }

private:
    const uint8_t* data_;
    uint64_t size_;
    uint64_t cursor_ = 0;
};
