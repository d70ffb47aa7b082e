#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/Wstr.h"

// The value parsers shared by every reader of the settings files (the
// application's configuration and the theme): booleans, numbers, lists,
// font styles and the keys of a theme section. Stateless; any thread.

// One word of a font style and its flag.
struct FontStyleWord {
    const wchar_t* word;
    uint32_t flag;
};
// "normal" 0, "bold" 1, "italic" 2, "underline" 4, "strikeout" 8, "cleartype" 16.
const std::vector<FontStyleWord>& fontStyleWords();

// The keys a theme section may hold; only these are copied into the merged
// theme values.
const std::vector<wstr>& themeKeyList();

// 1 for "1", "true", "yes", "on", "enable", "enabled"; 0 for their opposites
// "0", "false", "no", "off", "disable", "disabled"; -1 otherwise. Lowered,
// not trimmed.
int parseBool(const wstr& text);
wstr boolToString(bool value);

// A number as the settings write it: base detection (0x hexadecimal, a
// leading 0 octal), reading up to the first character that does not belong
// to it; no digits read 0.
int64_t parseNumber(const wstr& text);
// Whether parseNumber reads the whole text (blanks around it aside): "12",
// "-3", "0x1F" and "010" are whole; "12px", "ten", "08" and "" are not.
bool isWholeNumber(const wstr& text);
// The default for an empty text, else the number clamped into [min, max].
int32_t parseIntClamped(const wstr& text, int32_t defaultValue, int32_t min, int32_t max);
// The default for an empty text or a number outside [min, max].
int32_t parseIntInRange(const wstr& text, int32_t defaultValue, int32_t min, int32_t max);

// The text split at ',' (runs of commas give no element), every element
// trimmed; an element of blanks stays as an empty element.
std::vector<wstr> splitList(const wstr& text);

// Success and the OR of the style words (comma-separated, trimmed, without
// case). A text without words gives success and the default; an unknown word
// failure and the default.
std::pair<bool, uint32_t> parseFontStyle(const wstr& text, uint32_t defaultFlags);
