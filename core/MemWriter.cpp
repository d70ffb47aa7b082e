#include "core/MemWriter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "core/Wstr.h"

void MemWriter::append(const void* bytes, uint64_t count) {
    if (disabled_ || count == 0 || count == UINT64_MAX)
        return;
    ensureRoom(count);
    std::memcpy(buffer_.data() + cursor_, bytes, count);
    cursor_ += count;
}

uint8_t* MemWriter::reserve(uint64_t count) {
    if (disabled_)
        return nullptr;
    ensureRoom(count);
    return buffer_.data() + cursor_;
}

void MemWriter::commit(uint64_t count) {
    if (disabled_)
        return;
    if (count > buffer_.size() - cursor_)
        throw std::invalid_argument("wrote out of boundaries");
    cursor_ += count;
}

void MemWriter::writeString(const wstr& text) {
    const std::string bytes = wstr::toUtf8(text);
    const auto length = static_cast<uint32_t>(bytes.size());
    const uint8_t prefix[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length >> 16),
                               static_cast<uint8_t>(length >> 24)};
    append(prefix, sizeof prefix);
    append(bytes.data(), bytes.size());
}

void MemWriter::ensureRoom(uint64_t count) {
    const uint64_t have = buffer_.size();
    if (count <= have - cursor_)
        return;
    if (count > buffer_.max_size() - cursor_)
        throw std::length_error("MemWriter: buffer too large");
    // Growing to just cursor + step would copy the whole buffer every step
    // bytes; doubling keeps the total copying linear in the output size.
    const uint64_t wanted = cursor_ + std::max(count, step_);
    buffer_.resize(std::max(wanted, have * 2));
}
