#include "app/AppConfig.h"

#include "tests/app/FakeApp.h"
#include "tests/app/FakeIni.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include "tests/app/WstrPrint.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using qvtest::FakeIni;

std::vector<wstr> warnings(const qvtest::LogRecords& log) {
    std::vector<wstr> texts;
    for (const auto& item : log.all())
        if (item->level == Logger::Warning)
            texts.push_back(item->message);
    return texts;
}

wstr stored(const AppConfig& config, const wstr& section, const wstr& key) {
    wstr value;
    EXPECT_TRUE(config.settingsStore.get(section, key, value))
        << wstr::toUtf8(section + L"/" + key);
    return value;
}

// No proxy variable and no user folders of the machine running the tests.
class AppConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy",
                                 "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY"})
            env.unset(name);
        env.set("HOME", home.str())
            .set("XDG_CONFIG_HOME", home.str() + "/config")
            .set("XDG_DATA_HOME", home.str() + "/data")
            .set("XDG_DATA_DIRS", home.str() + "/sysdata")
            .set("XDG_CONFIG_DIRS", home.str() + "/sysconfig")
            .set("XDG_STATE_HOME", home.str() + "/state");
    }

    qvtest::TempDir home;
    qvtest::ScopedEnv env;
};

TEST_F(AppConfigTest, DefaultsAndTheirTexts) {
    AppConfig config;
    const std::map<wstr, std::map<wstr, wstr>> expected = {
        {L"app",
         {{L"launch_at_startup", L"0"},
          {L"hotkey_run", L"Ctrl+Win+K"},
          {L"hotkey_paste", L""},
          {L"hotkey_history", L""},
          {L"hotkey_console", L""},
          {L"write_log_file", L"1"},
          {L"ignored_packages", L""},
          {L"exclude_nonexistent_local_files", L"1"},
          {L"exclude_nonexistent_remote_files", L"0"}}},
        {L"gui",
         {{L"geometry", L"auto"},
          {L"auto_width", L"33"},
          {L"always_on_top", L"0"},
          {L"hide_on_focus_lost", L"no"},
          {L"retain_last_search", L"no"},
          {L"escape_always_closes", L"0"},
          {L"loop_list", L"0"},
          {L"space_as_tab", L"0"},
          {L"single_click", L"0"},
          {L"max_height", L"10"},
          {L"show_on_taskbar", L"1"},
          {L"max_results", L"100"},
          {L"word_separators", L""}}},
        {L"external",
         {{L"editor", L""},
          {L"editor_accepts_multifiles", L"0"},
          {L"config_editor", L""},
          {L"config_editor_accepts_multifiles", L"0"},
          {L"terminal", L""},
          {L"file_explorer", L""},
          {L"web_browser", L""},
          {L"web_browser_new_window", L""},
          {L"web_browser_private_mode", L""}}},
        {L"console", {}},
        {L"network", {}},
        {L"var", {}},
    };
    std::map<wstr, std::map<wstr, wstr>> actual;
    for (const wstr& section : config.settingsStore.sections())
        for (const wstr& key : config.settingsStore.keys(section))
            actual[section][key] = stored(config, section, key);
    for (const wstr& section : config.settingsStore.sections())
        actual[section];
    EXPECT_EQ(actual, expected);

    EXPECT_EQ(config.hotkeyRun.modifiers, 10);
    EXPECT_EQ(config.hotkeyRun.key, 75);
    EXPECT_EQ(config.consoleGeometry, GeometrySetting());
    EXPECT_TRUE(config.showTimePrefix);
    EXPECT_EQ(config.flashOn, FlashWarn);
    EXPECT_EQ(config.aliases, (std::map<wstr, wstr>{{L"qv", L"import quorvalent as qv"},
                                                    {L"qvu", L"import quorvalent_util as qvu"}}));
    EXPECT_EQ(config.proxy, ProxySettings());
    EXPECT_EQ(config.timeout, 5);
    EXPECT_TRUE(config.themes.empty());
    EXPECT_TRUE(config.themeSettings.empty());
}

TEST_F(AppConfigTest, EveryKeyWithItsRangeAndWarning) {
    struct Case {
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* value;
        const wchar_t* storedKey; // null: the key itself
        const wchar_t* stored;
        const wchar_t* warning; // null: none
    };
    const Case cases[] = {
        {L"app", L"launch_at_startup", L"yes", nullptr, L"1", nullptr},
        {L"app", L"launch_at_startup", L"maybe", nullptr, L"0",
         L"Unknown value \"maybe\" for setting \"launch_at_startup\" in section [app] of "
         L"/fake/User/Quorvalent.ini (expected yes or no). Falling back to default: 0"},
        {L"app", L"hotkey_run", L"", nullptr, L"Ctrl+Win+K", nullptr},
        {L"app", L"hotkey_run", L"win+ctrl+k", nullptr, L"win+ctrl+k", nullptr},
        {L"app", L"hotkey_console", L"Ctrl+A+B", nullptr, L"Ctrl+A+B", nullptr},
        {L"app", L"write_log_file", L"off", nullptr, L"0", nullptr},
        {L"app", L"ignored_packages", L"foo, -bar, <all>, -Foo", nullptr, L"<all>,-bar,-foo",
         nullptr},
        {L"app", L"exclude_nonexistent_local_files", L"disabled", nullptr, L"0", nullptr},
        {L"app", L"exclude_nonexistent_remote_files", L"enable", nullptr, L"1", nullptr},
        {L"gui", L"geometry", L"Monitor_2", nullptr, L"monitor_2", nullptr},
        {L"gui", L"geometry", L"monitor_", nullptr, L"auto",
         L"Unknown or invalid value \"monitor_\" for setting \"geometry\" in section [gui] of "
         L"/fake/User/Quorvalent.ini (or specified monitor ID is incorrect). Falling back to "
         L"default: auto"},
        {L"gui", L"geometry", L"monitor_2x", nullptr, L"auto",
         L"Unknown or invalid value \"monitor_2x\" for setting \"geometry\" in section [gui] of "
         L"/fake/User/Quorvalent.ini (or specified monitor ID is incorrect). Falling back to "
         L"default: auto"},
        {L"gui", L"auto_width", L"3", nullptr, L"5", nullptr},
        {L"gui", L"auto_width", L"250", nullptr, L"100", nullptr},
        {L"gui", L"auto_width", L"", nullptr, L"33", nullptr},
        {L"gui", L"always_on_top", L"On", nullptr, L"1", nullptr},
        {L"gui", L"hide_on_focus_lost", L"yes", nullptr, L"delayed", nullptr},
        {L"gui", L"hide_on_focus_lost", L"immediate", nullptr, L"immediate", nullptr},
        {L"gui", L"hide_on_focus_lost", L"true", nullptr, L"no",
         L"Unknown value \"true\" for setting \"hide_on_focus_lost\" in section [gui] of "
         L"/fake/User/Quorvalent.ini (expected no, immediate or delayed). Falling back to default: "
         L"no"},
        {L"gui", L"retain_last_search", L"on", nullptr, L"selected", nullptr},
        {L"gui", L"retain_last_search", L"unselected", nullptr, L"unselected", nullptr},
        {L"gui", L"retain_last_search", L"sometimes", nullptr, L"no",
         L"Unknown value \"sometimes\" for setting \"retain_last_search\" in section [gui] of "
         L"/fake/User/Quorvalent.ini (expected no, selected or unselected). Falling back to "
         L"default: no"},
        {L"gui", L"escape_always_closes", L"1", nullptr, L"1", nullptr},
        {L"gui", L"loop_list", L"true", nullptr, L"1", nullptr},
        {L"gui", L"space_as_tab", L"yes", nullptr, L"1", nullptr},
        {L"gui", L"single_click", L"wrong", nullptr, L"0",
         L"Unknown value \"wrong\" for setting \"single_click\" in section [gui] of "
         L"/fake/User/Quorvalent.ini (expected yes or no). Falling back to default: 0"},
        {L"gui", L"max_height", L"5000", nullptr, L"0", nullptr},
        {L"gui", L"max_height", L"1001", nullptr, L"0", nullptr},
        {L"gui", L"max_height", L"1000", nullptr, L"1000", nullptr},
        {L"gui", L"max_height", L"-3", nullptr, L"0", nullptr},
        {L"gui", L"max_height", L"", nullptr, L"10", nullptr},
        {L"gui", L"show_on_taskbar", L"no", nullptr, L"0", nullptr},
        {L"gui", L"max_results", L"abc", nullptr, L"10",
         L"Value \"abc\" of setting \"max_results\" in section [gui] of /fake/User/Quorvalent.ini "
         L"is not a whole number. Using 10"},
        {L"gui", L"max_results", L"20 # twenty", nullptr, L"20",
         L"Value \"20 # twenty\" of setting \"max_results\" in section [gui] of "
         L"/fake/User/Quorvalent.ini is not a whole number. Using 20"},
        {L"gui", L"max_height", L"5000px", nullptr, L"0",
         L"Value \"5000px\" of setting \"max_height\" in section [gui] of "
         L"/fake/User/Quorvalent.ini is not a whole number. Using 0"},
        {L"gui", L"max_results", L"010", nullptr, L"10", nullptr},
        {L"gui", L"max_results", L"-5", nullptr, L"10", nullptr},
        {L"gui", L"max_results", L"5000", nullptr, L"1000", nullptr},
        {L"gui", L"max_results", L"0x20", nullptr, L"32", nullptr},
        {L"gui", L"word_separators", L" -_", nullptr, L" -_", nullptr},
        {L"gui", L"font_size", L"12", L"max_results", L"100",
         L"Obsolete setting 'font_size' found in section [gui] of /fake/User/Quorvalent.ini. "
         L"Please review "
         L"your config file(s)"},
        {L"gui", L"show_scores", L"1", L"max_results", L"100",
         L"Obsolete setting 'show_scores' found in section [gui] of /fake/User/Quorvalent.ini. "
         L"Please review "
         L"your config file(s)"},
        {L"external", L"web_browser_new_window", L"yes", nullptr, L"1", nullptr},
        {L"external", L"web_browser_private_mode", L"0", nullptr, L"0", nullptr},
        {L"external", L"web_browser_private_mode", L"private", nullptr, L"",
         L"Unknown value \"private\" for setting \"web_browser_private_mode\" in section "
         L"[external] of /fake/User/Quorvalent.ini (expected yes or no). Falling back to default: "
         L"unset"},
        {L"console", L"geometry", L"persistent", nullptr, L"persistent", nullptr},
        {L"console", L"show_time_prefix", L"off", nullptr, L"0", nullptr},
        {L"console", L"flash_on", L"never", nullptr, L"never", nullptr},
        {L"console", L"flash_on", L"err", nullptr, L"error", nullptr},
        {L"console", L"flash_on", L"warning", nullptr, L"warning",
         L"Unknown value \"warning\" for setting \"flash_on\" in section [console] of "
         L"/fake/User/Quorvalent.ini (expected info, warn, err or never). Falling back to default: "
         L"warning"},
        {L"console", L"alias_py", L"import sys", L"py", L"import sys", nullptr},
        {L"network", L"timeout", L"1", nullptr, L"2", nullptr},
        {L"network", L"timeout", L"90", nullptr, L"60", nullptr},
        {L"network", L"timeout", L"0x10", nullptr, L"16", nullptr},
        {L"network", L"proxy", L"http://Host:81", nullptr, L"http=http://host:81", nullptr},
        {L"network", L"proxy", L"noproxy", nullptr, L"none", nullptr},
        {L"network", L"proxy", L"none", nullptr, L"none", nullptr},
        {L"network", L"proxy", L"system", nullptr, L"system", nullptr},
        {L"network", L"proxy", L" ", nullptr, L"system", nullptr},
        {L"network", L"proxy", L"host:81", nullptr, L"http=http://host:81",
         L"Scheme not found in proxy URL (defaults to http): \"host:81\""},
        {L"network", L"proxy", L"http://host", nullptr, L"system",
         L"Unknown value \"http://host\" for setting \"proxy\" in section [network] of "
         L"/fake/User/Quorvalent.ini "
         L"(expected system, none, or scheme=url lines whose urls end in a port). Falling back "
         L"to default: system"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << wstr::toUtf8(c.key) << " = " << wstr::toUtf8(c.value));
        qvtest::LogRecords log;
        AppConfig config;
        config.readSettings(FakeIni().section(c.section, {{c.key, c.value}}));
        EXPECT_EQ(stored(config, c.section, c.storedKey ? c.storedKey : c.key), c.stored);
        std::vector<wstr> expected;
        if (c.warning)
            expected.push_back(c.warning);
        EXPECT_EQ(warnings(log), expected);
    }
}

TEST_F(AppConfigTest, FieldsFollowTheTexts) {
    AppConfig config;
    config.readSettings(
        FakeIni()
            .section(L"app", {{L"hotkey_paste", L"Ctrl+A+B"},
                              {L"hotkey_history", L"Alt+F4"},
                              {L"ignored_packages", L"b, A"}})
            .section(L"gui", {{L"max_height", L"5000"},
                              {L"auto_width", L"3"},
                              {L"geometry", L"monitor_2"},
                              {L"hide_on_focus_lost", L"yes"}})
            .section(L"console",
                     {{L"alias_qv", L"import os"}, {L"alias_", L"nothing"}, {L"flash_on", L"info"}})
            .section(L"network", {{L"proxy", L"socks5=host:99"}}));
    EXPECT_EQ(config.hotkeyPaste.key, -1);
    EXPECT_EQ(config.hotkeyPaste.modifiers, -1);
    EXPECT_EQ(config.hotkeyHistory.modifiers, 1);
    EXPECT_EQ(config.hotkeyHistory.key, 115);
    EXPECT_EQ(config.ignoredPackages, (std::vector<wstr>{L"A", L"b"}));
    EXPECT_EQ(config.maxHeight, 0);
    EXPECT_EQ(config.autoWidth, 5);
    EXPECT_EQ(config.geometry, (GeometrySetting{0, 2}));
    EXPECT_EQ(config.hideOnFocusLost, FocusLostDelayed);
    EXPECT_EQ(config.flashOn, FlashInfo);
    EXPECT_EQ(config.aliases, (std::map<wstr, wstr>{{L"qv", L"import os"},
                                                    {L"qvu", L"import quorvalent_util as qvu"}}));
    EXPECT_EQ(config.proxy.mode, ProxyList);
    EXPECT_EQ(config.proxy.entries, (std::map<wstr, wstr>{{L"socks5", L"socks5://host:99"}}));
    EXPECT_FALSE(config.settingsStore.hasKey(L"console", L"alias_"));
    EXPECT_FALSE(config.settingsStore.hasKey(L"console", L"qvu"));
}

TEST_F(AppConfigTest, AbsentSectionsKeepEverything) {
    AppConfig config;
    config.readSettings(FakeIni().section(L"other", {{L"max_height", L"5"}}));
    EXPECT_TRUE(config == AppConfig());
    EXPECT_TRUE(config.settingsStore.keys(L"console").empty());
    EXPECT_TRUE(config.settingsStore.keys(L"network").empty());
    EXPECT_TRUE(config.webBrowser.empty());
}

TEST_F(AppConfigTest, ThemesAreMergedInListOrder) {
    qvtest::LogRecords log;
    AppConfig config;
    config.readSettings(
        FakeIni()
            .section(L"gui", {{L"theme", L"Dark, light, dark"}})
            .section(
                L"theme/dark",
                {{L"color_background", L"#111"}, {L"layout", L"all"}, {L"not_a_theme_key", L"x"}})
            .section(L"theme/Light", {{L"COLOR_BACKGROUND", L"#222"}, {L"font_face", L"Arial"}})
            .section(L"theme/DARK", {{L"color_faded", L"#333"}})
            .section(L"theme/My Theme", {{L"color_faded", L"#444"}})
            .section(L" theme/padded", {{L"color_faded", L"#555"}})
            .section(L"theme/", {{L"color_faded", L"#666"}})
            .section(L"Theme/unlisted", {{L"color_faded", L"#777"}}));
    EXPECT_EQ(config.themes, (std::vector<wstr>{L"Dark", L"light"}));
    EXPECT_EQ(config.themeSettings,
              (std::map<wstr, wstr>{
                  {L"color_background", L"#222"}, {L"layout", L"all"}, {L"font_face", L"Arial"}}));
    // Where each value came from, for the theme's warnings.
    const wstr file = L"/fake/User/Quorvalent.ini";
    EXPECT_EQ(config.themeOrigins,
              (std::map<wstr, wstr>{{L"color_background", L"theme \"Light\" in " + file},
                                    {L"layout", L"theme \"dark\" in " + file},
                                    {L"font_face", L"theme \"Light\" in " + file}}));
    EXPECT_EQ(
        warnings(log),
        (std::vector<wstr>{
            L"Unknown setting \"not_a_theme_key\" in section [theme/dark] of "
            L"/fake/User/Quorvalent.ini: the "
            L"program does not read it",
            L"Theme \"dark\" specified twice in \"theme\" setting of /fake/User/Quorvalent.ini. "
            L"Keeping "
            L"first occurrence only",
            L"Theme \"DARK\" declared several times (again in /fake/User/Quorvalent.ini), "
            L"unexpected "
            L"results may occur. Keeping the first declaration; theme names are compared "
            L"without case",
            L"Invalid theme section name \"theme/My Theme\" in /fake/User/Quorvalent.ini. Section "
            L"ignored",
            L"Invalid theme section name \" theme/padded\" in /fake/User/Quorvalent.ini. Section "
            L"ignored",
            L"Invalid theme section name \"theme/\" in /fake/User/Quorvalent.ini. Section ignored",
        }));
    EXPECT_FALSE(config.settingsStore.hasKey(L"gui", L"theme"));
}

TEST_F(AppConfigTest, ThemeSectionsApplyToTheCurrentListWithoutThemeKey) {
    AppConfig config;
    config.themes = {L"mine"};
    config.readSettings(FakeIni()
                            .section(L"gui", {{L"loop_list", L"1"}})
                            .section(L"theme/Mine", {{L"opacity_back", L"80"}}));
    EXPECT_EQ(config.themeSettings, (std::map<wstr, wstr>{{L"opacity_back", L"80"}}));
}

TEST_F(AppConfigTest, IgnoredPackages) {
    struct Case {
        const wchar_t* value;
        std::vector<wstr> list;
    };
    for (const Case& c :
         std::initializer_list<Case>{{L"foo, -bar, <all>, -Foo", {L"<all>", L"-bar", L"-foo"}},
                                     {L"foo, -foo", {}},
                                     {L"+Zeta, alpha,, -beta, ", {L"alpha", L"Zeta"}},
                                     {L"- <ALL> , + gamma", {L"<all>"}},
                                     {L"", {}}}) {
        AppConfig config;
        config.readSettings(FakeIni().section(L"app", {{L"ignored_packages", c.value}}));
        EXPECT_EQ(config.ignoredPackages, c.list) << c.value;
    }

    AppConfig config;
    config.ignoredPackages = {L"<all>", L"-bar", L"-foo"};
    EXPECT_TRUE(config.isPackageIgnored(L"baz"));
    EXPECT_FALSE(config.isPackageIgnored(L"bar"));
    EXPECT_FALSE(config.isPackageIgnored(L"FOO"));
    config.ignoredPackages = {L"Alpha", L"-beta", L"+gamma", L"-gamma"};
    EXPECT_TRUE(config.isPackageIgnored(L"alpha"));
    EXPECT_FALSE(config.isPackageIgnored(L"beta"));
    EXPECT_FALSE(config.isPackageIgnored(L"gamma"));
    EXPECT_FALSE(config.isPackageIgnored(L"delta"));
    config.ignoredPackages.clear();
    EXPECT_FALSE(config.isPackageIgnored(L"alpha"));
}

TEST_F(AppConfigTest, ComparesEverySettingButHotkeyTexts) {
    using Change = std::function<void(AppConfig&)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        {"launch_at_startup", [](AppConfig& c) { c.launchAtStartup = true; }},
        {"hotkey_run key", [](AppConfig& c) { c.hotkeyRun.key = 76; }},
        {"hotkey_paste modifiers", [](AppConfig& c) { c.hotkeyPaste.modifiers = 1; }},
        {"hotkey_history", [](AppConfig& c) { c.hotkeyHistory.key = 65; }},
        {"hotkey_console", [](AppConfig& c) { c.hotkeyConsole.key = 65; }},
        {"write_log_file", [](AppConfig& c) { c.writeLogFile = false; }},
        {"exclude local", [](AppConfig& c) { c.excludeNonexistentLocalFiles = false; }},
        {"exclude remote", [](AppConfig& c) { c.excludeNonexistentRemoteFiles = true; }},
        {"geometry", [](AppConfig& c) { c.geometry.monitor = 2; }},
        {"auto_width", [](AppConfig& c) { c.autoWidth = 34; }},
        {"always_on_top", [](AppConfig& c) { c.alwaysOnTop = true; }},
        {"hide_on_focus_lost", [](AppConfig& c) { c.hideOnFocusLost = 1; }},
        {"retain_last_search", [](AppConfig& c) { c.retainLastSearch = 2; }},
        {"escape_always_closes", [](AppConfig& c) { c.escapeAlwaysCloses = true; }},
        {"loop_list", [](AppConfig& c) { c.loopList = true; }},
        {"space_as_tab", [](AppConfig& c) { c.spaceAsTab = true; }},
        {"single_click", [](AppConfig& c) { c.singleClick = true; }},
        {"max_height", [](AppConfig& c) { c.maxHeight = 0; }},
        {"show_on_taskbar", [](AppConfig& c) { c.showOnTaskbar = false; }},
        {"max_results", [](AppConfig& c) { c.maxResults = 10; }},
        {"word_separators", [](AppConfig& c) { c.wordSeparators = L"-"; }},
        {"theme list", [](AppConfig& c) { c.themes = {L"dark"}; }},
        {"theme values", [](AppConfig& c) { c.themeSettings[L"layout"] = L"all"; }},
        {"editor", [](AppConfig& c) { c.editor = L"/bin/ed"; }},
        {"editor multifiles", [](AppConfig& c) { c.editorAcceptsMultifiles = true; }},
        {"config_editor", [](AppConfig& c) { c.configEditor = L"/bin/ed"; }},
        {"config editor multifiles", [](AppConfig& c) { c.configEditorAcceptsMultifiles = true; }},
        {"terminal", [](AppConfig& c) { c.terminal = L"/bin/sh"; }},
        {"file_explorer", [](AppConfig& c) { c.fileExplorer = L"/bin/ls"; }},
        {"web_browser", [](AppConfig& c) { c.webBrowser = L"/bin/b"; }},
        {"new window", [](AppConfig& c) { c.webBrowserNewWindow = 0; }},
        {"private mode", [](AppConfig& c) { c.webBrowserPrivateMode = 1; }},
        {"console geometry", [](AppConfig& c) { c.consoleGeometry.mode = 4; }},
        {"show_time_prefix", [](AppConfig& c) { c.showTimePrefix = false; }},
        {"flash_on", [](AppConfig& c) { c.flashOn = FlashNever; }},
        {"aliases", [](AppConfig& c) { c.aliases[L"qv"] = L"pass"; }},
        {"proxy mode", [](AppConfig& c) { c.proxy.mode = ProxySystem; }},
        {"proxy entries", [](AppConfig& c) { c.proxy.entries[L"http"] = L"http://h:80"; }},
        {"proxy setting", [](AppConfig& c) { c.proxySetting = L"none"; }},
        {"timeout", [](AppConfig& c) { c.timeout = 6; }},
        {"ignored_packages", [](AppConfig& c) { c.ignoredPackages = {L"foo"}; }},
        {"var", [](AppConfig& c) { c.settingsStore.set(L"var", L"x", L"1"); }},
    };
    for (const auto& [name, change] : changes) {
        AppConfig changed;
        change(changed);
        EXPECT_FALSE(changed == AppConfig()) << name;
        // The [network] changes, and those only, are told to plugins as such.
        const std::string field = name;
        EXPECT_EQ(changed.sameNetwork(AppConfig()),
                  !(field.starts_with("proxy") || field == "timeout"))
            << name;
    }

    AppConfig a;
    AppConfig b;
    a.hotkeyRun.text = L"Win+Ctrl+K";
    a.ignoredPackages = {L"<all>", L"-Foo"};
    b.ignoredPackages = {L"<ALL>", L"-foo"};
    a.settingsStore.set(L"gui", L"auto_width", L"99");
    EXPECT_TRUE(a == b);
}

TEST_F(AppConfigTest, ExternalCommandsAreResolved) {
    std::filesystem::path bin = home.path() / "bin";
    for (const char* name : {"myedit", "myterm"}) {
        home.write(std::string("bin/") + name, "#!/bin/sh\n");
        std::filesystem::permissions(bin / name, std::filesystem::perms::owner_all);
    }
    env.set("PATH", bin.string());
    const wstr edit = wstr::fromUtf8((bin / "myedit").c_str());
    const wstr term = wstr::fromUtf8((bin / "myterm").c_str());

    qvtest::LogRecords log;
    AppConfig config;
    config.readSettings(FakeIni().section(L"external", {{L"editor", L"myedit --new"},
                                                        {L"editor_accepts_multifiles", L"yes"},
                                                        {L"terminal", L"myterm"},
                                                        {L"file_explorer", L"nosuchprogram %1"}}));
    EXPECT_EQ(config.editor, edit + L" --new");
    EXPECT_TRUE(config.editorAcceptsMultifiles);
    EXPECT_EQ(config.configEditor, edit + L" --new");
    EXPECT_TRUE(config.configEditorAcceptsMultifiles);
    EXPECT_EQ(config.terminal, term);
    EXPECT_EQ(config.fileExplorer, L"");
    EXPECT_EQ(config.webBrowser, L"");
    EXPECT_EQ(stored(config, L"external", L"config_editor"), edit + L" --new");
    EXPECT_EQ(log.matching(Logger::Error,
                           L"Failed to parse setting \"file_explorer\" in section [external] of "
                           L"/fake/User/Quorvalent.ini, or to find the designed executable file. "
                           L"Command line was: "
                           L"nosuchprogram %1")
                  .size(),
              1u);

    AppConfig own;
    own.readSettings(
        FakeIni().section(L"external", {{L"editor", L"myedit"}, {L"config_editor", L"myterm"}}));
    EXPECT_EQ(own.configEditor, term);
    EXPECT_FALSE(own.configEditorAcceptsMultifiles);
}

TEST_F(AppConfigTest, WebBrowserFallsBackToTheHttpHandler) {
    home.write("bin/mybrowser", "#!/bin/sh\n");
    std::filesystem::permissions(home.path() / "bin/mybrowser", std::filesystem::perms::owner_all);
    env.set("PATH", (home.path() / "bin").string());
    home.write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=b.desktop\n");
    home.write("data/applications/b.desktop",
               "[Desktop Entry]\nType=Application\nName=B\nExec=mybrowser %u\n");

    AppConfig config;
    config.readSettings(FakeIni().section(L"external", {{L"web_browser", L""}}));
    EXPECT_TRUE(
        config.webBrowser.starts_with(wstr::fromUtf8((home.path() / "bin/mybrowser").c_str())))
        << wstr::toUtf8(config.webBrowser);
}

TEST_F(AppConfigTest, BuiltInVariablesComeFromTheApplication) {
    DataFs::Folders folders;
    folders.install = L"/opt/qv";
    folders.bootstrap = L"/opt/qv/quorvalent";
    folders.profile = L"/home/u/.config/Quorvalent";
    folders.profileInstalledPackages = L"/home/u/.config/Quorvalent/InstalledPackages";
    folders.profilePackages = L"/home/u/.config/Quorvalent/Packages";
    folders.profileUser = L"/home/u/.config/Quorvalent/User";
    auto app = qvtest::FakeApp::install(folders);
    std::filesystem::create_directories(home.path() / "data/applications");

    qvtest::LogRecords log;
    AppConfig config;
    auto var = [&](const wchar_t* key) { return stored(config, L"var", key); };
    EXPECT_EQ(var(L"APP_DRIVE"), L"/");
    EXPECT_EQ(var(L"app_dir"), L"/opt/qv");
    EXPECT_EQ(var(L"APP_EXE"), L"/opt/qv/quorvalent");
    EXPECT_EQ(var(L"APP_ARCH"), L"x64");
    EXPECT_EQ(var(L"PROFILE_DIR_USER"), L"/home/u/.config/Quorvalent/User");
    EXPECT_EQ(var(L"PROFILE_DIR_LIVE_PACKS"), L"/home/u/.config/Quorvalent/Packages");
    EXPECT_EQ(var(L"KNOWNFOLDERGUID_DESKTOP"), L"{b4bfcc3a-db2c-424c-b029-7fe99a87c641}");
    EXPECT_EQ(var(L"KNOWNFOLDERGUID_WINDOWS"), L"{f38bf404-1d43-42f2-9305-67de0b28fc23}");
    EXPECT_EQ(var(L"KNOWNFOLDER_PROFILE"), wstr::fromUtf8(home.str().c_str()));
    EXPECT_EQ(var(L"KNOWNFOLDER_STARTUP"),
              wstr::fromUtf8((home.path() / "config/autostart").c_str()));
    EXPECT_FALSE(config.settingsStore.hasKey(L"var", L"KNOWNFOLDER_WINDOWS"));
    EXPECT_FALSE(config.settingsStore.hasKey(L"var", L"KNOWNFOLDER_SKYDRIVE"));
    // No user folder for documents is configured: left out without a word.
    EXPECT_FALSE(config.settingsStore.hasKey(L"var", L"KNOWNFOLDER_DOCUMENTS"));
    EXPECT_TRUE(warnings(log).empty());

    // A [var] option of the files is copied; a built-in name keeps its value.
    config.readSettings(FakeIni().section(L"var", {{L"mine", L"1"}, {L"app_dir", L"/elsewhere"}}));
    EXPECT_EQ(var(L"mine"), L"1");
    EXPECT_EQ(var(L"APP_DIR"), L"/opt/qv");
}

} // namespace
