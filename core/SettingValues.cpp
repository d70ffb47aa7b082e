#include "core/SettingValues.h"

#include <algorithm>

const std::vector<FontStyleWord>& fontStyleWords() {
    static const std::vector<FontStyleWord> words = {
        {L"normal", 0},    {L"bold", 1},      {L"italic", 2},
        {L"underline", 4}, {L"strikeout", 8}, {L"cleartype", 16},
    };
    return words;
}

const std::vector<wstr>& themeKeyList() {
    static const std::vector<wstr> keys = {
        L"font_face",
        L"font_small_size",
        L"font_snormal_size",
        L"font_normal_size",
        L"font_large_size",
        L"font_small_style",
        L"font_snormal_style",
        L"font_normal_style",
        L"font_large_style",
        L"mono_font_face",
        L"mono_font_size",
        L"mono_font_style",
        L"color_background",
        L"color_foreground",
        L"color_faded",
        L"color_accent",
        L"color_warn",
        L"color_title",
        L"color_status",
        L"color_textbox_back",
        L"color_listitem_back",
        L"color_listitem_title",
        L"color_listitem_desc",
        L"color_listitem_tips",
        L"color_listitem_selected_back",
        L"color_listitem_selected_title",
        L"color_listitem_selected_desc",
        L"color_listitem_selected_tips",
        L"layout",
        L"compact_results",
        L"opacity_back",
        L"satellite_show",
        L"satellite_pos",
        L"satellite_size",
        L"control_margin",
        L"textbox_padding",
        L"listitem_padding",
        L"listitem_title_font",
    };
    return keys;
}

int parseBool(const wstr& text) {
    wstr word = wstr::lowerCopy(text);
    for (const wchar_t* yes : {L"1", L"true", L"yes", L"on", L"enable", L"enabled"})
        if (word == yes)
            return 1;
    for (const wchar_t* no : {L"0", L"false", L"no", L"off", L"disable", L"disabled"})
        if (word == no)
            return 0;
    return -1;
}

wstr boolToString(bool value) {
    return value ? L"1" : L"0";
}

int64_t parseNumber(const wstr& text) {
    return wstr::toInt64(text, 0);
}

bool isWholeNumber(const wstr& text) {
    wstr number = wstr::trimCopy(text);
    std::size_t start = !number.empty() && (number[0] == L'-' || number[0] == L'+') ? 1 : 0;
    std::wstring_view digits = std::wstring_view(number).substr(start);
    const wchar_t* allowed = L"0123456789";
    if (digits.size() > 2 && digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X')) {
        digits.remove_prefix(2);
        allowed = L"0123456789abcdefABCDEF";
    } else if (digits.size() > 1 && digits[0] == L'0') {
        allowed = L"01234567";
    }
    return !digits.empty() && digits.find_first_not_of(allowed) == std::wstring_view::npos;
}

int32_t parseIntClamped(const wstr& text, int32_t defaultValue, int32_t min, int32_t max) {
    if (text.empty())
        return defaultValue;
    return static_cast<int32_t>(std::clamp<int64_t>(parseNumber(text), min, max));
}

int32_t parseIntInRange(const wstr& text, int32_t defaultValue, int32_t min, int32_t max) {
    if (text.empty())
        return defaultValue;
    int64_t value = parseNumber(text);
    return value < min || value > max ? defaultValue : static_cast<int32_t>(value);
}

std::vector<wstr> splitList(const wstr& text) {
    std::vector<wstr> items = wstr::split(text, L",", true, false);
    for (wstr& item : items)
        wstr::trimRight(wstr::trimLeft(item));
    return items;
}

std::pair<bool, uint32_t> parseFontStyle(const wstr& text, uint32_t defaultFlags) {
    std::vector<wstr> words = wstr::split(text, L",", true, false);
    uint32_t flags = 0;
    bool any = false;
    for (wstr& word : words) {
        wstr::trimRight(wstr::trimLeft(word));
        if (word.empty())
            continue;
        auto found =
            std::find_if(fontStyleWords().begin(), fontStyleWords().end(),
                         [&](const FontStyleWord& w) { return wstr::equals(word, w.word, false); });
        if (found == fontStyleWords().end())
            return {false, defaultFlags};
        flags |= found->flag;
        any = true;
    }
    return {true, any ? flags : defaultFlags};
}
