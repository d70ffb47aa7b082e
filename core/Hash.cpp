#include "core/Hash.h"

#include <string>
#include <zlib.h>

#include "core/Wstr.h"

namespace {

constexpr XXH32_hash_t kHashWstr32Seed = 0x1F972CA6;

std::string utf8UpToNul(std::wstring_view text) {
    text = text.substr(0, text.find(L'\0'));
    return wstr::toUtf8(text.data(), static_cast<int64_t>(text.size()));
}

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
    return uint32_t(::crc32_z(0, static_cast<const Bytef*>(data), size));
}
