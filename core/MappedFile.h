#pragma once

#include <cstdint>
#include <vector>

class wstr;

// A whole file held read-only in memory. The bytes are read into a buffer the
// object owns (not mapped), so a file that another program shrinks or
// rewrites meanwhile cannot fault us. Failures are reported through error():
// a missing or unreadable file has a non-zero code and no view; an empty or
// too large one has code 0 and no view. One thread at a time; the static
// readers may be called from any thread.
class MappedFile {
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // The most any read takes, whatever the caller asks: nothing the program
    // reads whole (catalog, history, resources, images) comes near it, and a
    // bound keeps a huge or hostile file from taking all memory.
    static constexpr uint64_t hardLimit = uint64_t(256) << 20;

    // Reads the existing regular file at path whole; FIFOs, devices and
    // folders fail without blocking. maxSize 0 means hardLimit.
    // True when a view is held.
    bool open(const wstr& path, uint64_t maxSize = 0);

    // Drops the view and resets the error code and the sizes to 0.
    void release();
    void close() { release(); }

    // The system error code of the last failed open (2 not found, 5 access
    // denied, ...); 0 when fine.
    uint32_t error() const { return error_; }
    const uint8_t* view() const { return view_.empty() ? nullptr : view_.data(); }
    uint64_t viewOffset() const { return 0; }
    uint64_t viewSize() const { return view_.size(); }
    uint64_t fileSize() const { return fileSize_; }

    // Replaces out with the whole file; false (out empty) when the file is
    // missing, unreadable, empty or larger than maxSize (0: no limit).
    static bool readInto(std::vector<uint8_t>& out, const wstr& path, uint64_t maxSize);

    // The whole file, at most 50 MiB; empty on any failure.
    static std::vector<uint8_t> readAll(const wstr& path);

private:
    uint32_t readFile(int fd, uint64_t maxSize);

    std::vector<uint8_t> view_;
    uint64_t fileSize_ = 0;
    uint32_t error_ = 0;
};
