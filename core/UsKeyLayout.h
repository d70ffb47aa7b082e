#pragma once

#include <cstdint>

// The US keyboard layout, whose keys the program's virtual-key codes name on
// every system: hot keys are parsed and shown with it, and key events are
// mapped through it.

// What virtualKeyOfChar answers for a character the layout has no key for.
inline constexpr uint32_t noVirtualKey = 0xFFFF;

// The virtual-key code of a character on the US keyboard layout, with 0x100
// added when the character takes Shift; noVirtualKey when the layout has no
// key for it. Any thread.
uint32_t virtualKeyOfChar(wchar_t ch);
// The character that key types without modifiers on that layout, 0 for none.
// Any thread.
wchar_t charOfVirtualKey(uint32_t key);
