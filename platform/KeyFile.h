#pragma once

#include <map>
#include <string>

namespace Platform {

// The groups of an INI-shaped key file as desktops write them (icon theme
// indexes, GTK's settings.ini, kdeglobals): "[Group]" lines and "key=value"
// lines, blanks around keys and values trimmed, '#' comments and lines
// outside a group ignored. Keys are kept as written (localised ones too);
// a later key of a group replaces an earlier one. Empty when the file
// cannot be read. Any thread.
using KeyFileGroup = std::map<std::string, std::string>;
std::map<std::string, KeyFileGroup> readKeyFile(const std::string& path);

// The text without the blanks key files allow around keys, values and list
// items (spaces, tabs, a carriage return of a CRLF line end). Any thread.
std::string trimBlanks(const std::string& text);

} // namespace Platform
