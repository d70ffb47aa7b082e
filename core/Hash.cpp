#include "core/Hash.h"

#include <array>
#include <string>

#include "core/Wstr.h"

namespace {

constexpr XXH32_hash_t kHashWstr32Seed = 0x1F972CA6;

std::string utf8UpToNul(std::wstring_view text) {
    text = text.substr(0, text.find(L'\0'));
    return wstr::toUtf8(text.data(), static_cast<int64_t>(text.size()));
}

constexpr std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

} // namespace

uint32_t hashWstr32(std::wstring_view text) {
    const std::string bytes = utf8UpToNul(text);
    return XXH32(bytes.data(), bytes.size(), kHashWstr32Seed);
}

void hashUpdateWstr64(XXH64_state_t* state, std::wstring_view text) {
    const std::string bytes = utf8UpToNul(text);
    XXH64_update(state, bytes.data(), bytes.size());
}

uint32_t crc32(const void* data, size_t size) {
    if (size == 0)
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
