#pragma once

#include <string>

namespace Platform {

// The name of the keyboard layout the session starts with ("us",
// "de(nodeadkeys)"): the layout of the X server named by $DISPLAY when it
// tells one, else $XKB_DEFAULT_LAYOUT and $XKB_DEFAULT_VARIANT when set,
// else XKBLAYOUT and XKBVARIANT of the system's keyboard configuration
// (/etc/default/keyboard). Only the first layout of a list counts. Empty when
// neither tells. Any thread.
std::string keyboardLayoutName(const std::string& configFile = "/etc/default/keyboard");

} // namespace Platform
