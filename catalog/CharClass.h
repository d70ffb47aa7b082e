#pragma once

#include <cwctype>

// Character classes and single-character case mapping for the catalog's text
// rules, in the same fixed C.UTF-8 locale that wstr uses (never the process
// locale). Stateless; any thread.
namespace CharClass {

bool isSpace(wchar_t ch);
bool isControl(wchar_t ch);
bool isPrint(wchar_t ch);
wchar_t toUpper(wchar_t ch);
wchar_t toLower(wchar_t ch);

// The space U+0020 or a control character: what search texts and the
// per-character index treat as a gap.
inline bool isGap(wchar_t ch) {
    return ch == L' ' || isControl(ch);
}

} // namespace CharClass
