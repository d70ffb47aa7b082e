#include "app/Hotkey.h"

#include <array>

namespace {

struct ModifierWord {
    const wchar_t* word;
    int32_t flag;
};

// In the order the words are rendered.
constexpr std::array<ModifierWord, 4> modifierWords = {{
    {L"Ctrl", Hotkey::Ctrl},
    {L"Shift", Hotkey::Shift},
    {L"Alt", Hotkey::Alt},
    {L"Win", Hotkey::Win},
}};

// A key name stands for a key code, or (code 0) for the character `ch`.
struct KeyName {
    const wchar_t* name;
    int32_t key;
    wchar_t ch;
};

// The first row with a given key is its rendered name.
constexpr std::array<KeyName, 38> keyNames = {{
    {L"Backspace", 8, 0},    {L"Tab", 9, 0},       {L"Return", 13, 0},   {L"Enter", 13, 0},
    {L"Pause", 19, 0},       {L"Escape", 27, 0},   {L"Esc", 27, 0},      {L"Space", 32, 0},
    {L"PageUp", 33, 0},      {L"PgUp", 33, 0},     {L"PageDown", 34, 0}, {L"PgDown", 34, 0},
    {L"End", 35, 0},         {L"Home", 36, 0},     {L"Left", 37, 0},     {L"Up", 38, 0},
    {L"Right", 39, 0},       {L"Down", 40, 0},     {L"Print", 42, 0},    {L"Insert", 45, 0},
    {L"Ins", 45, 0},         {L"Delete", 46, 0},   {L"Del", 46, 0},      {L"NumLock", 144, 0},
    {L"ScrollLock", 145, 0}, {L"Scroll", 145, 0},  {L"Numpad0", 96, 0},  {L"Numpad1", 97, 0},
    {L"Numpad2", 98, 0},     {L"Numpad3", 99, 0},  {L"Numpad4", 100, 0}, {L"Numpad5", 101, 0},
    {L"Numpad6", 102, 0},    {L"Numpad7", 103, 0}, {L"Numpad8", 104, 0}, {L"Numpad9", 105, 0},
    {L"Minus", 0, L'-'},     {L"Plus", 0, L'+'},
}};

constexpr int32_t firstFunctionKey = 111; // F1 is 112

Hotkey malformed(const wstr& text) {
    return {-1, -1, text};
}

int32_t modifierFlag(const wstr& token) {
    for (const ModifierWord& m : modifierWords)
        if (wstr::equals(token, m.word, false))
            return m.flag;
    return 0;
}

const KeyName* findKeyName(const wstr& token) {
    for (const KeyName& row : keyNames)
        if (wstr::equals(token, row.name, false))
            return &row;
    return nullptr;
}

// F1 to F24 as the key code, 0 for anything else.
int32_t functionKey(const wstr& token) {
    if (token.size() < 2 || token.size() > 3 || (token[0] != L'F' && token[0] != L'f') ||
        !wstr::isUnsigned(token.c_str() + 1))
        return 0;
    int64_t n = wstr::toInt64(token.c_str() + 1, 0);
    return n >= 1 && n <= 24 ? firstFunctionKey + static_cast<int32_t>(n) : 0;
}

// The key code of a one-character token, 0 when the layout has none.
int32_t characterKey(wchar_t ch) {
    uint32_t scan = virtualKeyOfChar(ch);
    return scan == noVirtualKey ? 0 : static_cast<int32_t>(scan & 0xFF);
}

// The key code a token stands for, 0 when it stands for none.
int32_t keyOfToken(const wstr& token) {
    if (const KeyName* row = findKeyName(token))
        return row->key ? row->key : characterKey(row->ch);
    if (token.size() == 1)
        return characterKey(token[0]);
    return functionKey(token);
}

// A character typed with Shift on the layout ("!" is Shift+1): pressing it
// takes Shift, so the hot key does too. Letters stand for their key whatever
// their case; key words ("Plus") name the key.
bool needsShift(const wstr& token) {
    if (token.size() != 1 || findKeyName(token))
        return false;
    const wchar_t ch = token[0];
    if (ch >= L'A' && ch <= L'Z')
        return false;
    const uint32_t scan = virtualKeyOfChar(ch);
    return scan != noVirtualKey && (scan & 0x100);
}

wstr keyText(int32_t key) {
    for (const KeyName& row : keyNames)
        if (row.key == key)
            return row.name;
    wchar_t ch = charOfVirtualKey(static_cast<uint32_t>(key));
    if (ch == 0)
        return {};
    for (const KeyName& row : keyNames)
        if (row.key == 0 && row.ch == ch)
            return row.name;
    return wstr(1, ch);
}

} // namespace

Hotkey parseHotkey(const wstr& text) {
    wstr trimmed = wstr::trimCopy(text);
    if (trimmed.empty())
        return {0, 0, text};
    std::vector<wstr> tokens = wstr::tokenize(trimmed, L" \t+-", 5);
    Hotkey result{0, 0, trimmed};
    for (const wstr& token : tokens) {
        if (int32_t flag = modifierFlag(token)) {
            result.modifiers |= flag;
            continue;
        }
        if (result.key != 0)
            return malformed(text);
        result.key = keyOfToken(token);
        if (result.key == 0)
            return malformed(text);
        if (needsShift(token))
            result.modifiers |= Hotkey::Shift;
    }
    return result.key ? result : malformed(text);
}

wstr hotkeyToString(const Hotkey& hotkey) {
    if (!hotkey.text.empty())
        return hotkey.text;
    if (hotkey.key == 0 || hotkey.key == -1)
        return {};
    wstr key = keyText(hotkey.key);
    if (key.empty())
        return {};
    wstr out;
    for (const ModifierWord& m : modifierWords) {
        if (hotkey.modifiers & m.flag) {
            out += m.word;
            out += L'+';
        }
    }
    return out + key;
}
