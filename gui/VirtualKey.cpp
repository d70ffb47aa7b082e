#include "gui/VirtualKey.h"

#include "core/UsKeyLayout.h"
#include "gui/WndMessage.h"

#include <array>
#include <cwctype>
#include <utility>

namespace Gui {
namespace {

// Keys that are not characters of the US layout.
constexpr std::array<std::pair<int, uint32_t>, 30> namedKeys{{
    {Qt::Key_Backspace, VkBack},  {Qt::Key_Tab, VkTab},       {Qt::Key_Backtab, VkTab},
    {Qt::Key_Return, VkReturn},   {Qt::Key_Enter, VkReturn},  {Qt::Key_Shift, VkShift},
    {Qt::Key_Control, VkControl}, {Qt::Key_Alt, VkMenu},      {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},     {Qt::Key_Escape, VkEscape}, {Qt::Key_Space, VkSpace},
    {Qt::Key_PageUp, VkPrior},    {Qt::Key_PageDown, VkNext}, {Qt::Key_End, VkEnd},
    {Qt::Key_Home, VkHome},       {Qt::Key_Left, VkLeft},     {Qt::Key_Up, VkUp},
    {Qt::Key_Right, VkRight},     {Qt::Key_Down, VkDown},     {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, VkInsert},   {Qt::Key_Delete, VkDelete}, {Qt::Key_Help, 0x2F},
    {Qt::Key_Meta, 0x5B},         {Qt::Key_Menu, 0x5D},       {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91},   {Qt::Key_Clear, 0x0C},      {Qt::Key_Select, 0x29},
}};

constexpr int functionKeys = 24;

} // namespace

uint32_t virtualKeyFromQt(int qtKey) {
    for (auto [qt, vk] : namedKeys)
        if (qt == qtKey)
            return vk;
    if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + functionKeys)
        return VkF1 + static_cast<uint32_t>(qtKey - Qt::Key_F1);
    // Qt names printable keys by their Latin-1 character.
    if (qtKey > 0x20 && qtKey < 0x7F) {
        uint32_t vk = virtualKeyOfChar(static_cast<wchar_t>(std::towlower(qtKey)));
        return vk == noVirtualKey ? 0 : (vk & 0xFF);
    }
    return 0;
}

int qtKeyFromVirtualKey(uint32_t virtualKey) {
    for (auto [qt, vk] : namedKeys)
        if (vk == virtualKey)
            return qt;
    if (virtualKey >= VkF1 && virtualKey < VkF1 + functionKeys)
        return Qt::Key_F1 + static_cast<int>(virtualKey - VkF1);
    wchar_t ch = charOfVirtualKey(virtualKey);
    if (ch > 0x20 && ch < 0x7F)
        return static_cast<int>(std::towupper(ch));
    return Qt::Key_unknown;
}

uintptr_t modifierFlags(Qt::KeyboardModifiers modifiers) {
    uintptr_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModShift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModCtrl;
    if (modifiers & Qt::AltModifier)
        flags |= ModAlt;
    if (modifiers & Qt::MetaModifier)
        flags |= ModMeta;
    return flags;
}

Qt::KeyboardModifiers qtModifiers(uintptr_t flags) {
    Qt::KeyboardModifiers modifiers;
    if (flags & ModShift)
        modifiers |= Qt::ShiftModifier;
    if (flags & ModCtrl)
        modifiers |= Qt::ControlModifier;
    if (flags & ModAlt)
        modifiers |= Qt::AltModifier;
    if (flags & ModMeta)
        modifiers |= Qt::MetaModifier;
    return modifiers;
}

} // namespace Gui
