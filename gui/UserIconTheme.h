#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The icon theme the user has chosen, found where desktops and their
// settings tools keep it, so that icons match the user's desktop also under
// a window manager that Qt recognises no desktop of. In order:
// 1. gtk-icon-theme-name of GTK's settings.ini ($XDG_CONFIG_HOME/gtk-3.0,
//    then gtk-4.0);
// 2. Net/IconThemeName of the XSETTINGS, where a settings manager runs;
// 3. Theme in [Icons] of KDE's $XDG_CONFIG_HOME/kdeglobals;
// 4. the theme Qt's platform theme names, unless that is "hicolor" (what Qt
//    answers without a desktop it knows): without a platform theme that
//    reads the desktop's settings, Qt names a built-in default, so the
//    desktop's own statements come first;
// 5. the first installed of a few common full themes;
// 6. "hicolor", which every theme falls back to anyway.
// A theme that is named but not installed (no index.theme in any icon base
// folder) is passed over.
namespace Gui {

class UserIconTheme {
public:
    // What the choice is made from.
    struct Sources {
        std::string qtTheme;                // empty: none
        std::string configHome;             // where GTK's and KDE's files are
        std::vector<uint8_t> xsettings;     // the display's XSETTINGS property
        std::vector<std::string> iconBases; // the folders themes are installed in
    };
    // The theme and where it was found, for the log.
    struct Choice {
        std::string name;
        std::string source;

        bool operator==(const Choice&) const = default;
    };

    // The common full themes tried when the user named none, in order.
    static const std::vector<std::string>& commonThemes();

    // This session's sources: QIcon's theme while a QGuiApplication runs,
    // $XDG_CONFIG_HOME, the XSETTINGS of $DISPLAY and the icon base folders
    // of the XDG data folders. User-interface thread.
    static Sources ofSession();

    // The theme to use. Any thread.
    static Choice choose(const Sources& sources);
};

} // namespace Gui
