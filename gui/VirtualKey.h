#pragma once

#include <Qt>

#include <cstdint>

// Windows virtual-key codes stay the program's key codes; these map them to
// and from Qt's. Any thread.
namespace Gui {

enum VirtualKey : uint32_t {
    VkBack = 0x08,
    VkTab = 0x09,
    VkReturn = 0x0D,
    VkShift = 0x10,
    VkControl = 0x11,
    VkMenu = 0x12,
    VkEscape = 0x1B,
    VkSpace = 0x20,
    VkPrior = 0x21,
    VkNext = 0x22,
    VkEnd = 0x23,
    VkHome = 0x24,
    VkLeft = 0x25,
    VkUp = 0x26,
    VkRight = 0x27,
    VkDown = 0x28,
    VkInsert = 0x2D,
    VkDelete = 0x2E,
    VkF1 = 0x70,
};

// 0 for a Qt key without a virtual-key code.
uint32_t virtualKeyFromQt(int qtKey);
// Qt::Key_unknown for a code without a Qt key.
int qtKeyFromVirtualKey(uint32_t virtualKey);

// Modifier flags of the messages (WndMessage.h) from Qt's and back.
uintptr_t modifierFlags(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtModifiers(uintptr_t flags);

} // namespace Gui
