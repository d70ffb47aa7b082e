#pragma once

#include <cwctype>

// Character classes and single-character case mapping for the catalog's text
// rules, in the same fixed C.UTF-8 locale that wstr uses (never the process
// locale). ASCII is answered from the code itself, which is what that locale
// says about it. Stateless; any thread.
namespace CharClass {

// The locale's answers for every character.
bool isSpaceSlow(wchar_t ch);
bool isControlSlow(wchar_t ch);
bool isPrint(wchar_t ch);
wchar_t toUpperSlow(wchar_t ch);
wchar_t toLowerSlow(wchar_t ch);

inline bool isAscii(wchar_t ch) {
    return static_cast<unsigned>(ch) < 0x80;
}

inline bool isSpace(wchar_t ch) {
    if (isAscii(ch))
        return ch == L' ' || (ch >= L'\t' && ch <= L'\r');
    return isSpaceSlow(ch);
}

inline bool isControl(wchar_t ch) {
    if (isAscii(ch))
        return ch < 0x20 || ch == 0x7F;
    return isControlSlow(ch);
}

inline wchar_t toUpper(wchar_t ch) {
    if (isAscii(ch))
        return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - 32) : ch;
    return toUpperSlow(ch);
}

inline wchar_t toLower(wchar_t ch) {
    if (isAscii(ch))
        return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch + 32) : ch;
    return toLowerSlow(ch);
}

// The simple case folding that wstr::compare uses without case: upper, then
// lower.
inline wchar_t fold(wchar_t ch) {
    return toLower(toUpper(ch));
}

// The space U+0020 or a control character: what search texts and the
// per-character index treat as a gap.
inline bool isGap(wchar_t ch) {
    return ch == L' ' || isControl(ch);
}

} // namespace CharClass
