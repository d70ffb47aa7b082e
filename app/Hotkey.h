#pragma once

#include <cstdint>

#include "core/UsKeyLayout.h"
#include "core/Wstr.h"

// A global hot key as the settings give it: modifier flags, the key as a
// Windows virtual-key code (the program's key codes on every system) and the
// text the user wrote. {0, 0, ""} is no hot key; {-1, -1, text} a text that
// could not be parsed, which the main window reports.
struct Hotkey {
    enum Modifier : int32_t { Alt = 1, Ctrl = 2, Shift = 4, Win = 8 };

    int32_t modifiers = 0;
    int32_t key = 0;
    wstr text;

    bool isMalformed() const { return key == -1; }
};

// Parses "Ctrl+Win+K", "ctrl-win-k" or "Ctrl Win K": modifier words, then one
// key (a key name, a character of the US keyboard layout, or F1 to F24),
// separated by runs of blanks, tabs, '+' and '-'. An empty text gives no hot
// key with the text kept. Any thread.
Hotkey parseHotkey(const wstr& text);

// The hot key's text when it has one; else built from the modifiers and the
// key ("Ctrl+Shift+Return"); empty for no key or a key without a name or
// character. Any thread.
wstr hotkeyToString(const Hotkey& hotkey);
