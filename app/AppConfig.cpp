#include "app/AppConfig.h"

#include <algorithm>
#include <cwctype>
#include <locale.h>

#include "app/AppServices.h"
#include "app/Autorun.h"
#include "app/IniReader.h"
#include "app/UnknownSettings.h"
#include "core/KnownFolderTable.h"
#include "core/Logger.h"
#include "core/Path.h"
#include "core/SysEnv.h"
#include "core/SysShell.h"
#include "core/TextLocale.h"
#include "platform/Error.h"

namespace {

const wstr sectionApp = L"app";
const wstr sectionGui = L"gui";
const wstr sectionExternal = L"external";
const wstr sectionConsole = L"console";
const wstr sectionNetwork = L"network";
const wstr sectionVar = L"var";
const wstr themeSectionPrefix = L"theme/";
const wstr allPackages = L"<all>";
const wstr aliasPrefix = L"alias_";

void warn(wstr message) {
    logMessage(Logger::Warning, std::move(message));
}

// Where a setting was written: " of <file>", or nothing when no file gave it.
wstr ofFile(const IniReader& reader, const wstr& section, const wstr& key) {
    wstr file = reader.fileOf(section, key);
    return file.empty() ? wstr() : wstr(L" of " + file);
}

// A refused value: the setting keeps `current`, which in a record being
// loaded is its default (a later file's text replaced any earlier one).
void warnFallback(const IniReader& reader, const wstr& section, const wstr& key,
                  const wchar_t* expected, const wstr& current) {
    wstr message;
    warn(wstr::format(message,
                      L"Unknown value \"{}\" for setting \"{}\" in section [{}]{} (expected {}). "
                      L"Falling back to default: {}",
                      reader.get(section, key), key, section, ofFile(reader, section, key),
                      expected, current.empty() ? wstr(L"unset") : current));
}

const wchar_t* const boolWords = L"yes or no";

wstr triStateToString(int32_t value) {
    return value < 0 ? wstr() : boolToString(value != 0);
}

// Reads an enumerated word: parse gives `invalid` for an unknown one.
struct WordSetting {
    int32_t (*parse)(const wstr&);
    int32_t invalid;
    wstr (*name)(int32_t);
    const wchar_t* expected;
};

int32_t readWord(const IniReader& reader, const wstr& section, const wstr& key, int32_t current,
                 const WordSetting& setting) {
    if (!reader.hasOption(section, key))
        return current;
    int32_t value = setting.parse(reader.get(section, key));
    if (value != setting.invalid)
        return value;
    warnFallback(reader, section, key, setting.expected, setting.name(current));
    return current;
}

const WordSetting focusLostWords{parseFocusLostMode, 3, focusLostModeToString,
                                 L"no, immediate or delayed"};
const WordSetting retainWords{parseRetainLastSearch, 3, retainLastSearchToString,
                              L"no, selected or unselected"};
const WordSetting flashOnWords{parseFlashOn, 1001, flashOnToString, L"info, warn, err or never"};

// The text of the option when present, else the fallback.
wstr optionOr(const IniReader& reader, const wstr& section, const wstr& key, const wstr& fallback) {
    return reader.hasOption(section, key) ? reader.get(section, key) : fallback;
}

bool isThemeNameChar(wchar_t ch) {
    return ch == L'_' || iswalnum_l(static_cast<wint_t>(ch), textLocale());
}

// The theme's name of a valid theme section name, else empty with a warning.
wstr themeNameOf(const IniReader& reader, const wstr& section) {
    wstr name = section.substr(themeSectionPrefix.size());
    bool valid = wstr::trimCopy(section) == section && !name.empty() &&
                 std::all_of(name.begin(), name.end(), isThemeNameChar);
    if (valid)
        return name;
    wstr message;
    warn(wstr::format(message, L"Invalid theme section name \"{}\" in {}. Section ignored", section,
                      reader.fileOf(section, {})));
    return {};
}

bool isThemeSection(const wstr& section) {
    return wstr::startsWith(wstr::trimCopy(section), themeSectionPrefix, false);
}

// The list without repeated names (without case), first spelling kept.
std::vector<wstr> withoutDuplicateThemes(const IniReader& reader, const std::vector<wstr>& list) {
    std::vector<wstr> unique;
    for (const wstr& name : list) {
        if (wstr::indexIn(name, unique) < 0) {
            unique.push_back(name);
            continue;
        }
        wstr message;
        warn(wstr::format(message,
                          L"Theme \"{}\" specified twice in \"{}\" setting{}. Keeping first "
                          L"occurrence only",
                          name, L"theme", ofFile(reader, sectionGui, L"theme")));
    }
    return unique;
}

// The proxy setting of a text it was read from, as written: "system" (also
// for an empty text), "none" (also for noproxy), else the list read.
wstr proxyWord(const wstr& text, const ProxySettings& proxy) {
    const wstr word = wstr::trimCopy(text);
    if (word.empty() || word == L"system")
        return L"system";
    if (word == L"none" || word == L"noproxy")
        return L"none";
    return proxyListToString(proxy);
}

struct PackageMark {
    wstr name;
    bool ignored = true;
};

} // namespace

AppConfig::AppConfig() {
    setDefaults();
}

void AppConfig::setDefaults() {
    readSystemProxy(proxy, false);
    for (const wstr& section :
         {sectionApp, sectionGui, sectionExternal, sectionConsole, sectionNetwork, sectionVar})
        settingsStore.getOrAddSection(section);
    storeAppSection();
    storeGuiSection();
    storeExternalSection();
    storeVarSection();
}

// --- Value readers ---------------------------------------------------------------

bool AppConfig::readBool(const IniReader& reader, const wstr& section, const wstr& key,
                         bool current) {
    if (!reader.hasOption(section, key))
        return current;
    int value = parseBool(reader.get(section, key));
    if (value >= 0)
        return value == 1;
    warnFallback(reader, section, key, boolWords, boolToString(current));
    return current;
}

int32_t AppConfig::readTriState(const IniReader& reader, const wstr& section, const wstr& key,
                                int32_t current) {
    if (!reader.hasOption(section, key))
        return current;
    int value = parseBool(reader.get(section, key));
    if (value >= 0)
        return value;
    warnFallback(reader, section, key, boolWords, triStateToString(current));
    return current;
}

int32_t AppConfig::readInt(const IniReader& reader, const wstr& section, const wstr& key,
                           int32_t current, int32_t min, int32_t max,
                           std::optional<int32_t> aboveMax) {
    if (!reader.hasOption(section, key))
        return current;
    const wstr text = reader.get(section, key);
    if (text.empty())
        return current;
    int64_t number = parseNumber(text);
    int32_t value = number > max && aboveMax
                        ? *aboveMax
                        : static_cast<int32_t>(std::clamp<int64_t>(number, min, max));
    if (isWholeNumber(text))
        return value;
    wstr message;
    warn(wstr::format(message,
                      L"Value \"{}\" of setting \"{}\" in section [{}]{} is not a whole number. "
                      L"Using {}",
                      text, key, section, ofFile(reader, section, key), value));
    return value;
}

GeometrySetting AppConfig::readGeometry(const IniReader& reader, const wstr& section,
                                        const wstr& key, GeometrySetting current) {
    if (current.mode == GeometrySetting::Invalid)
        current = GeometrySetting();
    if (!reader.hasOption(section, key))
        return current;
    GeometrySetting value;
    if (parseGeometrySetting(reader.get(section, key), value))
        return value;
    wstr message;
    warn(wstr::format(message,
                      L"Unknown or invalid value \"{}\" for setting \"{}\" in section [{}]{} (or "
                      L"specified monitor ID is incorrect). Falling back to default: {}",
                      reader.get(section, key), key, section, ofFile(reader, section, key),
                      geometryToString(current)));
    return current;
}

Hotkey AppConfig::readHotkey(const IniReader& reader, const wstr& key, const Hotkey& current) {
    if (!reader.hasOption(sectionApp, key))
        return current;
    Hotkey value = parseHotkey(reader.get(sectionApp, key));
    return value.key == 0 ? current : value;
}

ProxySettings AppConfig::readProxy(const IniReader& reader, const ProxySettings& current) {
    if (!reader.hasOption(sectionNetwork, L"proxy"))
        return current;
    ProxySettings value;
    const wstr text = reader.get(sectionNetwork, L"proxy");
    if (parseProxySetting(value, text)) {
        proxySetting = proxyWord(text, value);
        return value;
    }
    wstr message;
    warn(wstr::format(message,
                      L"Unknown value \"{}\" for setting \"proxy\" in section [{}]{} (expected "
                      L"system, none, or scheme=url lines whose urls end in a port). Falling back "
                      L"to default: {}",
                      text, sectionNetwork, ofFile(reader, sectionNetwork, L"proxy"),
                      proxySetting));
    return current;
}

std::vector<wstr> AppConfig::readIgnoredPackages(const IniReader& reader,
                                                 const std::vector<wstr>& current) {
    if (!reader.hasOption(sectionApp, L"ignored_packages"))
        return current;
    std::map<wstr, PackageMark, SettingsStore::KeyLess> marks;
    bool all = false;
    for (wstr item : splitList(reader.get(sectionApp, L"ignored_packages"))) {
        if (item.empty())
            continue;
        bool ignored = item[0] != L'-';
        if (item[0] == L'-' || item[0] == L'+')
            item.erase(0, 1);
        wstr::trimRight(wstr::trimLeft(item));
        if (wstr::equals(item, allPackages, false)) {
            all = true;
            continue;
        }
        auto [it, added] = marks.try_emplace(item, PackageMark{item, ignored});
        it->second.ignored = ignored;
    }
    std::vector<wstr> result;
    if (all)
        result.push_back(allPackages);
    for (const auto& [key, mark] : marks) {
        if (all && !mark.ignored)
            result.push_back(L"-" + mark.name);
        else if (!all && mark.ignored)
            result.push_back(mark.name);
    }
    return result;
}

wstr AppConfig::readExternalCommand(const wstr& key, const wstr& value, const wstr& file,
                                    const std::vector<wstr>& folders,
                                    const std::vector<wstr>& extensions) {
    if (value.empty())
        return {};
    wstr resolved = Sys::resolveCommandLine(value, folders, extensions);
    if (!resolved.empty())
        return resolved;
    wstr message;
    logMessage(Logger::Error,
               wstr::format(message,
                            L"Failed to parse setting \"{}\" in section [{}]{}, or to find the "
                            L"designed executable file. Command line was: {}",
                            key, sectionExternal, file.empty() ? wstr() : wstr(L" of " + file),
                            value));
    return {};
}

// --- Sections ------------------------------------------------------------------------

void AppConfig::readSettings(const IniReader& reader) {
    warnUnknownSettings(reader);
    if (reader.hasSection(sectionApp))
        readAppSection(reader);
    if (reader.hasSection(sectionGui))
        readGuiSection(reader);
    if (reader.hasSection(sectionExternal))
        readExternalSection(reader);
    if (reader.hasSection(sectionConsole))
        readConsoleSection(reader);
    if (reader.hasSection(sectionNetwork))
        readNetworkSection(reader);
    if (reader.hasSection(sectionVar))
        readVarSection(reader);
    storeVarSection();
}

void AppConfig::readAppSection(const IniReader& reader) {
    launchAtStartup = readBool(reader, sectionApp, L"launch_at_startup", launchAtStartup);
    hotkeyRun = readHotkey(reader, L"hotkey_run", hotkeyRun);
    hotkeyPaste = readHotkey(reader, L"hotkey_paste", hotkeyPaste);
    hotkeyHistory = readHotkey(reader, L"hotkey_history", hotkeyHistory);
    hotkeyConsole = readHotkey(reader, L"hotkey_console", hotkeyConsole);
    writeLogFile = readBool(reader, sectionApp, L"write_log_file", writeLogFile);
    ignoredPackages = readIgnoredPackages(reader, ignoredPackages);
    excludeNonexistentLocalFiles = readBool(reader, sectionApp, L"exclude_nonexistent_local_files",
                                            excludeNonexistentLocalFiles);
    excludeNonexistentRemoteFiles = readBool(
        reader, sectionApp, L"exclude_nonexistent_remote_files", excludeNonexistentRemoteFiles);
    storeAppSection();
}

void AppConfig::readGuiSection(const IniReader& reader) {
    for (const wchar_t* key :
         {L"font_size", L"compact_results", L"show_history_hits", L"show_scores"}) {
        if (!reader.hasOption(sectionGui, key))
            continue;
        wstr message;
        warn(wstr::format(message,
                          L"Obsolete setting '{}' found in section [{}]{}. Please review your "
                          L"config file(s)",
                          key, sectionGui, ofFile(reader, sectionGui, key)));
    }
    geometry = readGeometry(reader, sectionGui, L"geometry", geometry);
    autoWidth = readInt(reader, sectionGui, L"auto_width", autoWidth, 5, 100);
    alwaysOnTop = readBool(reader, sectionGui, L"always_on_top", alwaysOnTop);
    hideOnFocusLost =
        readWord(reader, sectionGui, L"hide_on_focus_lost", hideOnFocusLost, focusLostWords);
    retainLastSearch =
        readWord(reader, sectionGui, L"retain_last_search", retainLastSearch, retainWords);
    escapeAlwaysCloses = readBool(reader, sectionGui, L"escape_always_closes", escapeAlwaysCloses);
    loopList = readBool(reader, sectionGui, L"loop_list", loopList);
    spaceAsTab = readBool(reader, sectionGui, L"space_as_tab", spaceAsTab);
    singleClick = readBool(reader, sectionGui, L"single_click", singleClick);
    // Above 1000 rows means "no limit" (0), as does a negative number.
    maxHeight = readInt(reader, sectionGui, L"max_height", maxHeight, 0, 1000, 0);
    showOnTaskbar = readBool(reader, sectionGui, L"show_on_taskbar", showOnTaskbar);
    maxResults = readInt(reader, sectionGui, L"max_results", maxResults, 10, 1000);
    wordSeparators = optionOr(reader, sectionGui, L"word_separators", wordSeparators);
    std::vector<wstr> list = reader.hasOption(sectionGui, L"theme")
                                 ? splitList(reader.get(sectionGui, L"theme"))
                                 : themes;
    readThemes(reader, list);
    storeGuiSection();
}

void AppConfig::readThemes(const IniReader& reader, const std::vector<wstr>& list) {
    themes = withoutDuplicateThemes(reader, list);
    SettingsStore scratch;
    SettingsStore origins;
    std::vector<wstr> declared;
    for (const wstr& section : reader.sections()) {
        if (!isThemeSection(section))
            continue;
        wstr name = themeNameOf(reader, section);
        if (name.empty())
            continue;
        if (wstr::indexIn(name, declared) >= 0) {
            wstr message;
            warn(wstr::format(message,
                              L"Theme \"{}\" declared several times (again in {}), unexpected "
                              L"results may occur. Keeping the first declaration; theme names are "
                              L"compared without case",
                              name, reader.fileOf(section, {})));
            continue;
        }
        declared.push_back(name);
        if (wstr::indexIn(name, themes) < 0)
            continue;
        for (const wstr& key : themeKeyList()) {
            if (!reader.hasOption(section, key))
                continue;
            scratch.set(wstr::lowerCopy(name), key, reader.get(section, key));
            wstr origin;
            origins.set(
                wstr::lowerCopy(name), key,
                wstr::format(origin, L"theme \"{}\" in {}", name, reader.fileOf(section, key)));
        }
    }
    themeSettings.clear();
    themeOrigins.clear();
    for (const wstr& theme : themes) {
        auto section = scratch.findSection(wstr::lowerCopy(theme));
        if (section == scratch.sectionsEnd())
            continue;
        for (const auto& [key, value] : section->second) {
            themeSettings[wstr::lowerCopy(key)] = value;
            themeOrigins[wstr::lowerCopy(key)] =
                origins.getOrDefault(wstr::lowerCopy(theme), key, L"");
        }
    }
}

void AppConfig::readExternalSection(const IniReader& reader) {
    std::vector<wstr> folders = Sys::searchPath();
    std::vector<wstr> extensions = Sys::pathExtensions();
    auto command = [&](const wchar_t* key, const wstr& current) {
        return readExternalCommand(key, optionOr(reader, sectionExternal, key, current),
                                   reader.fileOf(sectionExternal, key), folders, extensions);
    };
    editor = command(L"editor", editor);
    editorAcceptsMultifiles =
        readBool(reader, sectionExternal, L"editor_accepts_multifiles", editorAcceptsMultifiles);
    if (reader.hasOption(sectionExternal, L"config_editor")) {
        configEditor = command(L"config_editor", configEditor);
        configEditorAcceptsMultifiles =
            readBool(reader, sectionExternal, L"config_editor_accepts_multifiles",
                     configEditorAcceptsMultifiles);
    } else {
        configEditor = editor;
        configEditorAcceptsMultifiles = editorAcceptsMultifiles;
    }
    terminal = command(L"terminal", terminal);
    fileExplorer = command(L"file_explorer", fileExplorer);
    webBrowser = command(L"web_browser", webBrowser);
    if (webBrowser.empty())
        Sys::urlSchemeHandler(webBrowser, {L"http", L"https"}, nullptr, folders, extensions);
    webBrowserNewWindow =
        readTriState(reader, sectionExternal, L"web_browser_new_window", webBrowserNewWindow);
    webBrowserPrivateMode =
        readTriState(reader, sectionExternal, L"web_browser_private_mode", webBrowserPrivateMode);
    storeExternalSection();
}

void AppConfig::readConsoleSection(const IniReader& reader) {
    consoleGeometry = readGeometry(reader, sectionConsole, L"geometry", consoleGeometry);
    settingsStore.set(sectionConsole, L"geometry", geometryToString(consoleGeometry));
    showTimePrefix = readBool(reader, sectionConsole, L"show_time_prefix", showTimePrefix);
    settingsStore.set(sectionConsole, L"show_time_prefix", boolToString(showTimePrefix));
    flashOn = readWord(reader, sectionConsole, L"flash_on", flashOn, flashOnWords);
    settingsStore.set(sectionConsole, L"flash_on", flashOnToString(flashOn));
    for (const wstr& option : reader.options(sectionConsole)) {
        if (option.size() <= aliasPrefix.size() || !option.starts_with(aliasPrefix))
            continue;
        wstr name = option.substr(aliasPrefix.size());
        wstr line = reader.get(sectionConsole, option);
        aliases[name] = line;
        settingsStore.set(sectionConsole, name, line);
    }
}

void AppConfig::readNetworkSection(const IniReader& reader) {
    proxy = readProxy(reader, proxy);
    settingsStore.set(sectionNetwork, L"proxy", proxySetting);
    timeout = readInt(reader, sectionNetwork, L"timeout", timeout, 2, 60);
    wstr text;
    settingsStore.set(sectionNetwork, L"timeout", wstr::format(text, L"{}", timeout));
}

void AppConfig::readVarSection(const IniReader& reader) {
    for (const wstr& option : reader.options(sectionVar))
        settingsStore.set(sectionVar, option, reader.get(sectionVar, option));
}

// --- Text store ------------------------------------------------------------------------

void AppConfig::storeAppSection() {
    SettingsStore& s = settingsStore;
    s.set(sectionApp, L"launch_at_startup", boolToString(launchAtStartup));
    s.set(sectionApp, L"hotkey_run", hotkeyToString(hotkeyRun));
    s.set(sectionApp, L"hotkey_paste", hotkeyToString(hotkeyPaste));
    s.set(sectionApp, L"hotkey_history", hotkeyToString(hotkeyHistory));
    s.set(sectionApp, L"hotkey_console", hotkeyToString(hotkeyConsole));
    s.set(sectionApp, L"write_log_file", boolToString(writeLogFile));
    wstr packages;
    s.set(sectionApp, L"ignored_packages", wstr::join(packages, ignoredPackages, L","));
    s.set(sectionApp, L"exclude_nonexistent_local_files",
          boolToString(excludeNonexistentLocalFiles));
    s.set(sectionApp, L"exclude_nonexistent_remote_files",
          boolToString(excludeNonexistentRemoteFiles));
}

void AppConfig::storeGuiSection() {
    SettingsStore& s = settingsStore;
    wstr text;
    s.set(sectionGui, L"geometry", geometryToString(geometry));
    s.set(sectionGui, L"auto_width", wstr::format(text, L"{}", autoWidth));
    s.set(sectionGui, L"always_on_top", boolToString(alwaysOnTop));
    s.set(sectionGui, L"hide_on_focus_lost", focusLostModeToString(hideOnFocusLost));
    s.set(sectionGui, L"retain_last_search", retainLastSearchToString(retainLastSearch));
    s.set(sectionGui, L"escape_always_closes", boolToString(escapeAlwaysCloses));
    s.set(sectionGui, L"loop_list", boolToString(loopList));
    s.set(sectionGui, L"space_as_tab", boolToString(spaceAsTab));
    s.set(sectionGui, L"single_click", boolToString(singleClick));
    text.clear();
    s.set(sectionGui, L"max_height", wstr::format(text, L"{}", maxHeight));
    s.set(sectionGui, L"show_on_taskbar", boolToString(showOnTaskbar));
    text.clear();
    s.set(sectionGui, L"max_results", wstr::format(text, L"{}", maxResults));
    s.set(sectionGui, L"word_separators", wordSeparators);
}

void AppConfig::storeExternalSection() {
    SettingsStore& s = settingsStore;
    s.set(sectionExternal, L"editor", editor);
    s.set(sectionExternal, L"editor_accepts_multifiles", boolToString(editorAcceptsMultifiles));
    s.set(sectionExternal, L"config_editor", configEditor);
    s.set(sectionExternal, L"config_editor_accepts_multifiles",
          boolToString(configEditorAcceptsMultifiles));
    s.set(sectionExternal, L"terminal", terminal);
    s.set(sectionExternal, L"file_explorer", fileExplorer);
    s.set(sectionExternal, L"web_browser", webBrowser);
    s.set(sectionExternal, L"web_browser_new_window", triStateToString(webBrowserNewWindow));
    s.set(sectionExternal, L"web_browser_private_mode", triStateToString(webBrowserPrivateMode));
}

void AppConfig::storeVarSection() {
    std::shared_ptr<AppServices> app = AppServices::instance();
    if (!app)
        return;
    const DataFs::Folders& f = app->folders();
    SettingsStore& s = settingsStore;
    s.set(sectionVar, L"APP_DRIVE", Path::root(f.install));
    s.set(sectionVar, L"APP_DIR", f.install);
    s.set(sectionVar, L"APP_EXE", f.bootstrap);
    s.set(sectionVar, L"APP_ARCH", L"x64");
    s.set(sectionVar, L"PROFILE_DIR", f.profile);
    s.set(sectionVar, L"PROFILE_DIR_INSTALLED_PACKS", f.profileInstalledPackages);
    s.set(sectionVar, L"PROFILE_DIR_LIVE_PACKS", f.profilePackages);
    s.set(sectionVar, L"PROFILE_DIR_USER", f.profileUser);
    for (const KnownFolderRow& row : knownFolderTable()) {
        wstr key;
        s.set(sectionVar, wstr::format(key, L"KNOWNFOLDERGUID_{}", row.name), row.guid);
        int32_t hresult = 0;
        wstr path = Sys::knownFolderPath(row.folder, false, &hresult);
        if (!path.empty()) {
            key.clear();
            s.set(sectionVar, wstr::format(key, L"KNOWNFOLDER_{}", row.name), path);
            continue;
        }
        // Folders that have no meaning on this system, or that the user has
        // not set up (an unset XDG user folder), are left out silently.
        uint32_t error = Platform::lastError();
        if (error == Platform::ERROR_NOT_SUPPORTED || error == Platform::ERROR_FILE_NOT_FOUND)
            continue;
        wstr message;
        warn(wstr::format(message, L"Failed to get path of KnownFolder {} (code {:#08X}).",
                          row.name, static_cast<uint32_t>(hresult)));
    }
}

// --- Comparison and queries --------------------------------------------------------

bool AppConfig::operator==(const AppConfig& o) const {
    auto sameKey = [](const Hotkey& a, const Hotkey& b) {
        return a.modifiers == b.modifiers && a.key == b.key;
    };
    auto samePackages = [](const std::vector<wstr>& a, const std::vector<wstr>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const wstr& x, const wstr& y) { return wstr::equals(x, y, false); });
    };
    auto varOf = [](const SettingsStore& store) {
        auto section = store.findSection(sectionVar);
        return section == store.sectionsEnd() ? SettingsStore::KeyMap() : section->second;
    };
    return launchAtStartup == o.launchAtStartup && sameKey(hotkeyRun, o.hotkeyRun) &&
           sameKey(hotkeyPaste, o.hotkeyPaste) && sameKey(hotkeyHistory, o.hotkeyHistory) &&
           sameKey(hotkeyConsole, o.hotkeyConsole) && writeLogFile == o.writeLogFile &&
           excludeNonexistentLocalFiles == o.excludeNonexistentLocalFiles &&
           excludeNonexistentRemoteFiles == o.excludeNonexistentRemoteFiles &&
           geometry == o.geometry && autoWidth == o.autoWidth && alwaysOnTop == o.alwaysOnTop &&
           hideOnFocusLost == o.hideOnFocusLost && retainLastSearch == o.retainLastSearch &&
           escapeAlwaysCloses == o.escapeAlwaysCloses && loopList == o.loopList &&
           spaceAsTab == o.spaceAsTab && singleClick == o.singleClick && maxHeight == o.maxHeight &&
           showOnTaskbar == o.showOnTaskbar && maxResults == o.maxResults &&
           wordSeparators == o.wordSeparators && themes == o.themes &&
           themeSettings == o.themeSettings && editor == o.editor &&
           editorAcceptsMultifiles == o.editorAcceptsMultifiles && configEditor == o.configEditor &&
           configEditorAcceptsMultifiles == o.configEditorAcceptsMultifiles &&
           terminal == o.terminal && fileExplorer == o.fileExplorer && webBrowser == o.webBrowser &&
           webBrowserNewWindow == o.webBrowserNewWindow &&
           webBrowserPrivateMode == o.webBrowserPrivateMode &&
           consoleGeometry == o.consoleGeometry && showTimePrefix == o.showTimePrefix &&
           flashOn == o.flashOn && aliases == o.aliases && sameNetwork(o) &&
           samePackages(ignoredPackages, o.ignoredPackages) &&
           varOf(settingsStore) == varOf(o.settingsStore);
}

bool AppConfig::sameNetwork(const AppConfig& o) const {
    return proxy == o.proxy && proxySetting == o.proxySetting && timeout == o.timeout;
}

bool AppConfig::applyLaunchAtStartup() const {
    std::shared_ptr<AppServices> app = AppServices::instance();
    return app && Autorun::apply(launchAtStartup, app->folders().bootstrap);
}

bool AppConfig::isPackageIgnored(const wstr& name) const {
    bool all = false;
    int decision = -1;
    for (const wstr& item : ignoredPackages) {
        if (wstr::equals(item, allPackages, false)) {
            all = true;
            continue;
        }
        bool signedItem = !item.empty() && (item[0] == L'-' || item[0] == L'+');
        std::wstring_view itemName = std::wstring_view(item).substr(signedItem ? 1 : 0);
        if (wstr::equals(itemName, name, false))
            decision = item[0] == L'-' ? 0 : 1;
    }
    return decision >= 0 ? decision == 1 : all;
}
