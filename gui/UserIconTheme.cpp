#include "gui/UserIconTheme.h"

#include "gui/IconTheme.h"
#include "gui/XSettings.h"
#include "platform/KeyFile.h"
#include "platform/XdgDirs.h"

#include <QGuiApplication>
#include <QIcon>

#include <filesystem>

namespace Gui {
namespace {

constexpr const char* kFallback = "hicolor";

bool isInstalled(const std::string& name, const std::vector<std::string>& bases) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return false;
    std::error_code ignored;
    for (const auto& base : bases) {
        if (std::filesystem::is_regular_file(base + "/" + name + "/index.theme", ignored))
            return true;
    }
    return false;
}

// The value of a key file's key, without the quotes some tools write.
std::string keyFileValue(const std::string& path, const std::string& group,
                         const std::string& key) {
    const auto groups = Platform::readKeyFile(path);
    const auto found = groups.find(group);
    if (found == groups.end())
        return {};
    const auto value = found->second.find(key);
    if (value == found->second.end())
        return {};
    const std::string& text = value->second;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

} // namespace

const std::vector<std::string>& UserIconTheme::commonThemes() {
    static const std::vector<std::string> themes = {"Adwaita", "breeze", "Papirus", "elementary",
                                                    "oxygen",  "gnome",  "Tango"};
    return themes;
}

UserIconTheme::Sources UserIconTheme::ofSession() {
    Sources sources;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        sources.qtTheme = QIcon::themeName().toStdString();
    sources.configHome = Platform::xdg::configHome();
    sources.xsettings = Gui::xsettings::read();
    sources.iconBases = IconTheme::xdgDirs().base;
    return sources;
}

UserIconTheme::Choice UserIconTheme::choose(const Sources& sources) {
    const auto installed = [&](const std::string& name) {
        return isInstalled(name, sources.iconBases);
    };
    const auto configFile = [&](const char* relative) {
        return sources.configHome.empty() ? std::string() : sources.configHome + relative;
    };
    for (const char* gtk : {"/gtk-3.0/settings.ini", "/gtk-4.0/settings.ini"}) {
        const std::string file = configFile(gtk);
        const std::string name = keyFileValue(file, "Settings", "gtk-icon-theme-name");
        if (installed(name))
            return {name, "GTK settings " + file};
    }
    const auto xsettings = Gui::xsettings::stringValue(sources.xsettings, "Net/IconThemeName");
    if (xsettings && installed(*xsettings))
        return {*xsettings, "XSETTINGS Net/IconThemeName"};
    const std::string kde = configFile("/kdeglobals");
    if (const std::string name = keyFileValue(kde, "Icons", "Theme"); installed(name))
        return {name, "KDE settings " + kde};
    // Qt answers a built-in default for desktops whose settings it does not
    // read (Adwaita for GNOME, Xfce and MATE without a GTK platform theme,
    // hicolor without a desktop), so its answer comes after the desktop's
    // own statements, and its fallback is no choice at all.
    if (sources.qtTheme != kFallback && installed(sources.qtTheme))
        return {sources.qtTheme, "Qt's platform theme"};
    for (const auto& name : commonThemes()) {
        if (installed(name))
            return {name, "installed theme"};
    }
    return {kFallback, "fallback"};
}

} // namespace Gui
