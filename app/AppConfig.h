#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/ConfigValues.h"
#include "app/Hotkey.h"
#include "app/NetworkSettings.h"
#include "core/SettingsStore.h"
#include "core/Wstr.h"

class IniReader;

// The application settings: one field per key of the sections app, gui,
// external, console, network and var, the merged values of the selected
// themes, and the same settings again as text in `settingsStore` (read by
// plugins). A record is built with its defaults, loaded once on the
// user-interface thread and then only read: readers share it and read its
// fields without a lock. A reload builds a new record.
class AppConfig {
public:
    // Every default; the proxy is the system's, read without messages.
    AppConfig();

    // Reads the configuration files (in order, later ones overriding earlier
    // ones) through the INI reader, after the environment (section "env")
    // and the built-in [var] variables. Failures are reported, and the
    // record stays usable. True when every section was read; false when the
    // files could not be read at all (the record keeps its defaults) or
    // reading stopped at a Python error (the record is partly loaded). A
    // reload keeps the settings in force when this is false. `reloading`
    // only chooses the words of the message. User-interface thread.
    bool load(const std::vector<wstr>& files, bool reloading = false);

    // A reload: a new record loaded from the files, or null when the settings
    // in force stay, because the files give the same settings as `current`
    // or could not be read completely. With no current record the new one
    // is always returned. User-interface thread.
    static std::shared_ptr<AppConfig> reload(const std::shared_ptr<const AppConfig>& current,
                                             const std::vector<wstr>& files);

    // Reads the sections that the reader holds into the record; a section
    // that is absent keeps its values. Parser errors leave to the caller.
    void readSettings(const IniReader& reader);

    // Whether two records hold the same settings (hot keys by their codes,
    // ignored packages without case, and of the text store only [var]).
    bool operator==(const AppConfig& other) const;
    // Whether the [network] settings are the same (the proxy as written
    // included, which may change while the proxy in force does not).
    bool sameNetwork(const AppConfig& other) const;

    // Writes or deletes the autostart entry according to launch_at_startup;
    // false (with a warning) when that fails or no application runs.
    // User-interface thread.
    bool applyLaunchAtStartup() const;

    // Whether the package of that name is left out. Any thread.
    bool isPackageIgnored(const wstr& name) const;

    // Write the fields back into the text store.
    void storeAppSection();
    void storeGuiSection();
    void storeExternalSection();
    // The built-in [var] variables (folders and known folders); nothing
    // when no application runs.
    void storeVarSection();

    // Value readers: an absent option keeps `current`; a refused value keeps
    // it with a warning naming the file, the section, the key and the text.
    // Numbers are clamped silently; a text that is not a whole number is
    // read as far as it goes, with a warning. `aboveMax`, when given, is the
    // value of a number above max.
    static bool readBool(const IniReader& reader, const wstr& section, const wstr& key,
                         bool current);
    static int32_t readTriState(const IniReader& reader, const wstr& section, const wstr& key,
                                int32_t current);
    static int32_t readInt(const IniReader& reader, const wstr& section, const wstr& key,
                           int32_t current, int32_t min, int32_t max,
                           std::optional<int32_t> aboveMax = std::nullopt);
    static GeometrySetting readGeometry(const IniReader& reader, const wstr& section,
                                        const wstr& key, GeometrySetting current);
    static Hotkey readHotkey(const IniReader& reader, const wstr& key, const Hotkey& current);
    // Also sets proxySetting when the value is read.
    ProxySettings readProxy(const IniReader& reader, const ProxySettings& current);
    static std::vector<wstr> readIgnoredPackages(const IniReader& reader,
                                                 const std::vector<wstr>& current);
    // The command line resolved to its executable; empty, with an error
    // naming the file that gave it (when one did) logged, when it cannot be
    // resolved.
    static wstr readExternalCommand(const wstr& key, const wstr& value, const wstr& file,
                                    const std::vector<wstr>& folders,
                                    const std::vector<wstr>& extensions);

    // [app]
    bool launchAtStartup = false;
    Hotkey hotkeyRun{Hotkey::Ctrl | Hotkey::Win, 75, L"Ctrl+Win+K"};
    Hotkey hotkeyPaste;
    Hotkey hotkeyHistory;
    Hotkey hotkeyConsole;
    bool writeLogFile = true;
    // Normalised: names only, or "<all>" followed by names with a leading '-'.
    std::vector<wstr> ignoredPackages;
    bool excludeNonexistentLocalFiles = true;
    bool excludeNonexistentRemoteFiles = false;

    // [gui]
    GeometrySetting geometry;
    int32_t autoWidth = 33;
    bool alwaysOnTop = false;
    int32_t hideOnFocusLost = FocusLostNo;
    int32_t retainLastSearch = RetainNo;
    bool escapeAlwaysCloses = false;
    bool spaceAsTab = false;
    bool loopList = false;
    bool singleClick = false;
    int32_t maxHeight = 10;
    bool showOnTaskbar = true;
    int32_t maxResults = 100;
    wstr wordSeparators;
    std::vector<wstr> themes;
    // Lower-case theme key -> value, later themes of the list overriding.
    std::map<wstr, wstr> themeSettings;
    // Lower-case theme key -> where its value came from, for the theme's
    // warnings: 'theme "Dark" in /path/Quorvalent.ini'. Not a setting.
    std::map<wstr, wstr> themeOrigins;

    // [external]: resolved command lines; tri-states are -1 (unset), 0 or 1.
    wstr editor;
    bool editorAcceptsMultifiles = false;
    wstr configEditor;
    bool configEditorAcceptsMultifiles = false;
    wstr terminal;
    wstr fileExplorer;
    wstr webBrowser;
    int32_t webBrowserNewWindow = -1;
    int32_t webBrowserPrivateMode = -1;

    // [console]
    GeometrySetting consoleGeometry;
    bool showTimePrefix = true;
    int32_t flashOn = FlashWarn;
    // Alias name -> Python source line, offered at the console's prompt.
    std::map<wstr, wstr> aliases{{L"qv", L"import quorvalent as qv"},
                                 {L"qvu", L"import quorvalent_util as qvu"}};

    // [network]
    ProxySettings proxy;
    // The proxy setting as written, what plugins read of it: "system",
    // "none", or the scheme=url lines of a list.
    wstr proxySetting = L"system";
    int32_t timeout = 5;

    SettingsStore settingsStore;

private:
    void setDefaults();
    void readAppSection(const IniReader& reader);
    void readGuiSection(const IniReader& reader);
    void readExternalSection(const IniReader& reader);
    void readConsoleSection(const IniReader& reader);
    void readNetworkSection(const IniReader& reader);
    void readVarSection(const IniReader& reader);
    void readThemes(const IniReader& reader, const std::vector<wstr>& list);
};
