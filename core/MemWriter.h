#pragma once

#include <cstdint>
#include <vector>

class wstr;

// A growable byte buffer written at a cursor. The buffer grows by at least the
// growth step and at least doubles, so a long run of small writes stays linear.
// A disabled writer ignores every write. One thread at a time.
class MemWriter {
public:
    explicit MemWriter(uint64_t growthStep = 4096, bool disabled = false)
        : step_(growthStep), disabled_(disabled) {}

    // Copies count bytes at the cursor and advances. A count of 0 or -1 is
    // ignored.
    void append(const void* bytes, uint64_t count);

    // Makes room for count bytes at the cursor and returns where to write
    // them, without advancing; null when disabled. The pointer is valid until
    // the next write that grows the buffer. Follow with commit().
    uint8_t* reserve(uint64_t count);

    // Advances over count bytes written through reserve(). Throws
    // std::invalid_argument "wrote out of boundaries" when fewer lie ahead.
    void commit(uint64_t count);

    // Writes a length-prefixed string: the UTF-8 byte count as an unsigned
    // 32-bit little-endian value, then the bytes.
    void writeString(const wstr& text);

    // The output is the first size() bytes (the cursor); the buffer may hold
    // zeroed room beyond them.
    uint8_t* data() { return buffer_.data(); }
    const uint8_t* data() const { return buffer_.data(); }
    uint64_t size() const { return cursor_; }
    bool disabled() const { return disabled_; }

private:
    void ensureRoom(uint64_t count);

    std::vector<uint8_t> buffer_;
    uint64_t cursor_ = 0;
    uint64_t step_;
    bool disabled_;
};
