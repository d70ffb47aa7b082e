#include "app/Hotkey.h"

#include "tests/app/WstrPrint.h"

#include <gtest/gtest.h>

namespace {

TEST(Hotkey, ParsesModifiersAndOneKey) {
    struct Case {
        const wchar_t* text;
        int32_t modifiers;
        int32_t key;
    };
    for (const Case& c : std::initializer_list<Case>{{L"ctrl+win+k", 10, 75},
                                                     {L"Ctrl-Win-K", 10, 75},
                                                     {L"Ctrl Win K", 10, 75},
                                                     {L" win + ctrl - k ", 10, 75},
                                                     {L"Alt+F4", 1, 115},
                                                     {L"Ctrl+F13", 2, 0x7C},
                                                     {L"F24", 0, 135},
                                                     {L"F07", 0, 118},
                                                     {L"Shift+Return", 4, 13},
                                                     {L"Ctrl+Enter", 2, 13},
                                                     {L"ctrl+ctrl+space", 2, 32},
                                                     {L"Ctrl+Minus", 2, 0xBD},
                                                     {L"Ctrl+Plus", 2, 0xBB},
                                                     {L"Alt+;", 1, 0xBA},
                                                     // Shifted characters take Shift.
                                                     {L"Alt+?", 5, 0xBF},
                                                     {L"Ctrl+!", 6, '1'},
                                                     {L"Win+5", 8, '5'},
                                                     {L"Win+%", 12, '5'},
                                                     {L"Ctrl+Alt+Shift+Win+K", 15, 75},
                                                     {L"Numpad7", 0, 103},
                                                     {L"Ctrl+Shift", -1, -1},
                                                     {L"Ctrl+A+B", -1, -1},
                                                     {L"Ctrl+F25", -1, -1},
                                                     {L"F25", -1, -1},
                                                     {L"F0", -1, -1},
                                                     {L"F08", -1, -1},
                                                     {L"F010", -1, -1},
                                                     {L"Ctrl+é", -1, -1},
                                                     {L"Ctrl+Foo", -1, -1},
                                                     {L"Ctrl+Ctrl+Ctrl+Ctrl+Ctrl+K", -1, -1},
                                                     {L"+-", -1, -1}}) {
        Hotkey hotkey = parseHotkey(c.text);
        EXPECT_EQ(hotkey.modifiers, c.modifiers) << c.text;
        EXPECT_EQ(hotkey.key, c.key) << c.text;
    }
}

TEST(Hotkey, KeepsTheTextAsWritten) {
    EXPECT_EQ(parseHotkey(L"  Ctrl+Win+K ").text, L"Ctrl+Win+K");
    EXPECT_EQ(parseHotkey(L" Ctrl+A+B ").text, L" Ctrl+A+B ");
    Hotkey none = parseHotkey(L"   ");
    EXPECT_EQ(none.key, 0);
    EXPECT_EQ(none.modifiers, 0);
    EXPECT_EQ(none.text, L"   ");
}

TEST(Hotkey, RendersItsTextOrItsKeys) {
    struct Case {
        Hotkey hotkey;
        const wchar_t* text;
    };
    for (const Case& c : std::initializer_list<Case>{{{6, 13, L""}, L"Ctrl+Shift+Return"},
                                                     {{10, 75, L""}, L"Ctrl+Win+k"},
                                                     {{15, 27, L""}, L"Ctrl+Shift+Alt+Win+Escape"},
                                                     {{2, 0xBD, L""}, L"Ctrl+Minus"},
                                                     {{2, 0x6B, L""}, L"Ctrl+Plus"},
                                                     {{1, 0xDC, L""}, L"Alt+\\"},
                                                     {{0, 46, L""}, L"Delete"},
                                                     {{2, 115, L""}, L""},
                                                     {{2, 0, L""}, L""},
                                                     {{-1, -1, L""}, L""},
                                                     {{10, 75, L"win ctrl k"}, L"win ctrl k"}})
        EXPECT_EQ(hotkeyToString(c.hotkey), c.text);
}

TEST(Hotkey, UsLayoutTableGoesBothWays) {
    for (wchar_t ch = 0x21; ch < 0x7F; ++ch) {
        uint32_t scan = virtualKeyOfChar(ch);
        ASSERT_NE(scan, 0xFFFFu) << char(ch);
        wchar_t plain = charOfVirtualKey(scan & 0xFF);
        bool shifted = (scan & 0x100) != 0;
        if (!shifted)
            EXPECT_EQ(plain, ch) << char(ch);
        else
            EXPECT_EQ(virtualKeyOfChar(plain), scan & 0xFF) << char(ch);
    }
    EXPECT_EQ(virtualKeyOfChar(L'é'), 0xFFFFu);
    EXPECT_EQ(charOfVirtualKey(112), 0);
}

} // namespace
