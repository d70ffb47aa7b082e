#include "gui/UserIconTheme.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/TempDir.h"

namespace {

// The XSETTINGS property of a settings manager that sets one string.
std::vector<uint8_t> xsettingsOf(const std::string& name, const std::string& value) {
    std::vector<uint8_t> out = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    const auto card = [&](uint32_t n, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(uint8_t(n >> (8 * i)));
    };
    const auto padded = [&](const std::string& text) {
        out.insert(out.end(), text.begin(), text.end());
        while (out.size() % 4)
            out.push_back(0);
    };
    out.push_back(1);
    out.push_back(0);
    card(static_cast<uint32_t>(name.size()), 2);
    padded(name);
    card(0, 4);
    card(static_cast<uint32_t>(value.size()), 4);
    padded(value);
    return out;
}

// Which theme wins, over a set of installed themes and the user's files.
TEST(UserIconTheme, ChoosesTheUsersThemeInOrder) {
    struct Case {
        const char* name;
        std::string qtTheme;
        std::map<std::string, std::string> configFiles;
        std::string xsettingsTheme;
        std::vector<std::string> installed;
        std::string theme;
        std::string source; // its start
    };
    const std::string gtk3 = "gtk-3.0/settings.ini";
    const std::string gtk4 = "gtk-4.0/settings.ini";
    const std::string kde = "kdeglobals";
    const std::vector<std::string> all = {"QtIcons",  "GtkIcons", "Gtk4Icons", "XsIcons",
                                          "KdeIcons", "breeze",   "Adwaita",   "hicolor"};
    const Case cases[] = {
        {"the desktop's settings before Qt's theme",
         "QtIcons",
         {{gtk3, "[Settings]\ngtk-icon-theme-name=GtkIcons\n"}},
         "XsIcons",
         all,
         "GtkIcons",
         "GTK settings "},
        {"KDE's settings before Qt's theme",
         "QtIcons",
         {{kde, "[Icons]\nTheme=KdeIcons\n"}},
         "",
         all,
         "KdeIcons",
         "KDE settings "},
        {"Qt's theme without a desktop setting",
         "QtIcons",
         {},
         "",
         all,
         "QtIcons",
         "Qt's platform theme"},
        {"Qt's hicolor is no choice",
         "hicolor",
         {{gtk3, "[Settings]\ngtk-icon-theme-name = GtkIcons\n"}},
         "XsIcons",
         all,
         "GtkIcons",
         "GTK settings "},
        {"GTK 3 before GTK 4",
         "",
         {{gtk3, "[Settings]\ngtk-icon-theme-name=GtkIcons\n"},
          {gtk4, "[Settings]\ngtk-icon-theme-name=Gtk4Icons\n"}},
         "",
         all,
         "GtkIcons",
         "GTK settings "},
        {"GTK 4 alone, quoted",
         "",
         {{gtk4, "[Settings]\ngtk-icon-theme-name=\"Gtk4Icons\"\n"}},
         "",
         all,
         "Gtk4Icons",
         "GTK settings "},
        {"GTK key outside its group",
         "",
         {{gtk3, "gtk-icon-theme-name=GtkIcons\n[Other]\n"}},
         "",
         all,
         "Adwaita",
         "installed theme"},
        {"a GTK theme not installed is passed over",
         "",
         {{gtk3, "[Settings]\ngtk-icon-theme-name=Gone\n"}},
         "XsIcons",
         all,
         "XsIcons",
         "XSETTINGS"},
        {"XSETTINGS before KDE",
         "",
         {{kde, "[Icons]\nTheme=KdeIcons\n"}},
         "XsIcons",
         all,
         "XsIcons",
         "XSETTINGS"},
        {"KDE",
         "",
         {{kde, "[General]\nTheme=Nope\n[Icons]\nTheme=KdeIcons\n"}},
         "",
         all,
         "KdeIcons",
         "KDE settings "},
        {"no setting: the first common theme installed",
         "",
         {},
         "",
         all,
         "Adwaita",
         "installed theme"},
        {"no setting: any common theme before hicolor",
         "",
         {},
         "",
         {"breeze", "hicolor"},
         "breeze",
         "installed theme"},
        {"nothing installed",
         "QtIcons",
         {{gtk3, "[Settings]\ngtk-icon-theme-name=GtkIcons\n"}},
         "XsIcons",
         {"hicolor"},
         "hicolor",
         "fallback"},
        {"a path is no theme name",
         "",
         {{gtk3, "[Settings]\ngtk-icon-theme-name=../icons\n"}},
         "",
         {"hicolor"},
         "hicolor",
         "fallback"},
    };
    for (const auto& c : cases) {
        qvtest::TempDir dir;
        Gui::UserIconTheme::Sources sources;
        sources.qtTheme = c.qtTheme;
        sources.configHome = dir.str() + "/config";
        sources.iconBases = {dir.str() + "/user-icons", dir.str() + "/icons"};
        for (const auto& [file, text] : c.configFiles)
            dir.write("config/" + file, text);
        if (!c.xsettingsTheme.empty())
            sources.xsettings = xsettingsOf("Net/IconThemeName", c.xsettingsTheme);
        for (const auto& theme : c.installed)
            dir.write("icons/" + theme + "/index.theme", "[Icon Theme]\nName=" + theme + "\n");
        // A folder without an index is no installed theme.
        dir.write("user-icons/Adwaita/16/x.png", "");
        const auto choice = Gui::UserIconTheme::choose(sources);
        EXPECT_EQ(choice.name, c.theme) << c.name;
        EXPECT_EQ(choice.source.rfind(c.source, 0), 0u) << c.name << ": " << choice.source;
    }
}

TEST(UserIconTheme, NamesTheFileItCameFrom) {
    qvtest::TempDir dir;
    dir.write("icons/GtkIcons/index.theme", "[Icon Theme]\n");
    const std::string file =
        dir.write("config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=GtkIcons\n")
            .string();
    const auto choice =
        Gui::UserIconTheme::choose({"", dir.str() + "/config", {}, {dir.str() + "/icons"}});
    EXPECT_EQ(choice, (Gui::UserIconTheme::Choice{"GtkIcons", "GTK settings " + file}));
}

} // namespace
