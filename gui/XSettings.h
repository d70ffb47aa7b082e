#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The XSETTINGS of an X display: the settings a running settings manager
// (a desktop's settings daemon, or a stand-alone one under a plain window
// manager) publishes in the _XSETTINGS_SETTINGS property of the window that
// owns the _XSETTINGS_S<screen> selection. Any thread.
namespace Gui::xsettings {

// The raw property of the display named by $DISPLAY, for its default
// screen; empty without a display, a settings manager or the property.
// Opens and closes a connection of its own.
std::vector<uint8_t> read();

// The string setting of that name ("Net/IconThemeName") in such a
// property; nothing when the setting is absent, not a string, or the data
// is damaged before it.
std::optional<std::string> stringValue(std::span<const uint8_t> data, std::string_view name);

} // namespace Gui::xsettings
