#pragma once

#include <cstdint>
#include <string_view>

// A 64-bit summary of the characters of a text: a text holds every
// character of another only if its mask has every bit of the other's.
// Lower-case ASCII letters and digits have a bit each; other characters
// share the rest.
inline uint64_t characterBit(wchar_t ch) {
    auto c = static_cast<uint32_t>(ch);
    if (c >= 'a' && c <= 'z')
        return uint64_t{1} << (c - 'a');
    if (c >= '0' && c <= '9')
        return uint64_t{1} << (26 + c - '0');
    return uint64_t{1} << (36 + (c * 2654435761u >> 16) % 28);
}

inline uint64_t characterMask(std::wstring_view text) {
    uint64_t mask = 0;
    for (wchar_t ch : text)
        mask |= characterBit(ch);
    return mask;
}
