#include "platform/KeyboardLayout.h"

#include "platform/ReadFile.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

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

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

struct XFreer {
    void operator()(unsigned char* data) const { XFree(data); }
};

// The layout of the X server named by $DISPLAY, from the rules names the
// server publishes on its root window (rules, model, layout, variant and
// options, each ended by a NUL). Empty without a server or the property.
std::string serverLayout() {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display)
        return {};
    const Atom names = XInternAtom(display.get(), "_XKB_RULES_NAMES", True);
    if (names == None)
        return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(display.get(), DefaultRootWindow(display.get()), names, 0, 1024, False,
                           XA_STRING, &type, &format, &count, &after, &raw) != Success)
        return {};
    std::unique_ptr<unsigned char, XFreer> data(raw);
    if (!data || type != XA_STRING || format != 8)
        return {};
    std::vector<std::string> fields;
    std::istringstream text(std::string(reinterpret_cast<const char*>(data.get()), count));
    for (std::string field; std::getline(text, field, '\0');)
        fields.push_back(field);
    fields.resize(4);
    return withVariant(firstOfList(fields[2]), firstOfList(fields[3]));
}

} // namespace

std::string keyboardLayoutName(const std::string& configFile) {
    const std::string server = serverLayout();
    if (!server.empty())
        return server;
    const char* layout = std::getenv("XKB_DEFAULT_LAYOUT");
    if (layout && *layout) {
        const char* variant = std::getenv("XKB_DEFAULT_VARIANT");
        return withVariant(firstOfList(layout), firstOfList(variant ? variant : ""));
    }
    std::string text;
    if (!readFile(configFile, text))
        return {};
    return withVariant(firstOfList(configValue(text, "XKBLAYOUT")),
                       firstOfList(configValue(text, "XKBVARIANT")));
}

} // namespace Platform
