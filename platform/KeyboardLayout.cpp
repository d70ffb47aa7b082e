#include "platform/KeyboardLayout.h"

#include "platform/Environment.h"
#include "platform/ReadFile.h"

#include <cstdlib>
#include <sstream>

namespace Platform {
namespace {

std::string firstOfList(const std::string& value) {
    return value.substr(0, value.find(','));
}

std::string withVariant(const std::string& layout, const std::string& variant) {
    if (layout.empty())
        return {};
    return variant.empty() ? layout : layout + "(" + variant + ")";
}

std::string unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// KEY="value" lines of a shell-style configuration file.
std::string configValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    std::string value;
    while (std::getline(lines, line)) {
        if (line.rfind(key + "=", 0) == 0)
            value = unquote(line.substr(key.size() + 1));
    }
    return value;
}

} // namespace

std::string keyboardLayoutName(const std::string& configFile) {
    const std::string layout = env::value("XKB_DEFAULT_LAYOUT");
    if (!layout.empty())
        return withVariant(firstOfList(layout), firstOfList(env::value("XKB_DEFAULT_VARIANT")));
    std::string text;
    if (!readFile(configFile, text))
        return {};
    return withVariant(firstOfList(configValue(text, "XKBLAYOUT")),
                       firstOfList(configValue(text, "XKBVARIANT")));
}

} // namespace Platform
