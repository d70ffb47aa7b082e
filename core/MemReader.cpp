#include "core/MemReader.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

#include "core/Wstr.h"

namespace {

[[noreturn]] void throwBeyondEof() {
    throw std::invalid_argument("reading beyond eof");
}

} // namespace

void MemReader::read(void* dest, uint64_t count) {
    if (cursor_ >= size_ || count > size_ - cursor_)
        throwBeyondEof();
    std::memcpy(dest, data_ + cursor_, count);
    cursor_ += count;
}

void MemReader::readString(wstr& target) {
    const uint64_t start = cursor_;
    uint8_t prefix[4];
    read(prefix, sizeof prefix);
    const uint32_t length =
        prefix[0] | prefix[1] << 8 | prefix[2] << 16 | static_cast<uint32_t>(prefix[3]) << 24;
    if (length == 0) {
        target.clear();
        return;
    }
    if (length > remaining()) {
        cursor_ = start;
        throwBeyondEof();
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data_ + cursor_), length);
    wstr::assignMultiByte(target, bytes, 0, length, wstr::codePageUtf8);
    cursor_ += length;
}
