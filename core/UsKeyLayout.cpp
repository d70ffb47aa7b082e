#include "core/UsKeyLayout.h"

#include <array>
#include <string_view>

namespace {

// The punctuation keys of the US layout: the character without and with
// Shift, and the key.
struct OemKey {
    wchar_t plain;
    wchar_t shifted;
    uint32_t key;
};
constexpr std::array<OemKey, 11> oemKeys = {{
    {L';', L':', 0xBA},
    {L'=', L'+', 0xBB},
    {L',', L'<', 0xBC},
    {L'-', L'_', 0xBD},
    {L'.', L'>', 0xBE},
    {L'/', L'?', 0xBF},
    {L'`', L'~', 0xC0},
    {L'[', L'{', 0xDB},
    {L'\\', L'|', 0xDC},
    {L']', L'}', 0xDD},
    {L'\'', L'"', 0xDE},
}};

// The shifted characters of the digit row, from '0' to '9'.
constexpr std::wstring_view shiftedDigits = L")!@#$%^&*(";

// The characters the keypad's operator keys type.
struct KeypadKey {
    uint32_t key;
    wchar_t ch;
};
constexpr std::array<KeypadKey, 5> keypadKeys = {{
    {0x6A, L'*'},
    {0x6B, L'+'},
    {0x6D, L'-'},
    {0x6E, L'.'},
    {0x6F, L'/'},
}};

} // namespace

uint32_t virtualKeyOfChar(wchar_t ch) {
    if ((ch >= L'a' && ch <= L'z') || (ch >= L'0' && ch <= L'9'))
        return ch >= L'a' ? ch - L'a' + L'A' : ch;
    if (ch >= L'A' && ch <= L'Z')
        return 0x100 | ch;
    if (ch == L' ')
        return 0x20;
    std::size_t digit = shiftedDigits.find(ch);
    if (digit != std::wstring_view::npos)
        return 0x100 | (L'0' + static_cast<uint32_t>(digit));
    for (const OemKey& oem : oemKeys) {
        if (oem.plain == ch)
            return oem.key;
        if (oem.shifted == ch)
            return 0x100 | oem.key;
    }
    return noVirtualKey;
}

wchar_t charOfVirtualKey(uint32_t key) {
    if (key >= 'A' && key <= 'Z')
        return static_cast<wchar_t>(key - 'A' + 'a');
    if ((key >= '0' && key <= '9') || key == 0x20)
        return static_cast<wchar_t>(key);
    for (const OemKey& oem : oemKeys)
        if (oem.key == key)
            return oem.plain;
    for (const KeypadKey& pad : keypadKeys)
        if (pad.key == key)
            return pad.ch;
    return 0;
}
