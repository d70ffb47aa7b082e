#include <Python.h>

#include "app/AppConfig.h"

#include "core/SysInfo.h"
#include "tests/app/ConfigFolders.h"
#include "tests/app/FakeApp.h"
#include "tests/app/PythonForTests.h"
#include "tests/app/WstrPrint.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// The five configuration files of the temporary installation and profile
// (none written yet).
class AppConfigLoadTest : public ::testing::Test, protected qvtest::ConfigFolders {
protected:
    void SetUp() override {
        env.set("QV_TEST_WORD", "from-env");
        files = DataFs::appConfigFiles(folders);
    }

    void write(size_t index, const std::string& text) {
        std::filesystem::path path(wstr::toUtf8(files.at(index)));
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    std::shared_ptr<AppConfig> load() {
        auto config = std::make_shared<AppConfig>();
        loaded = config->load(files);
        return config;
    }

    std::vector<wstr> files;
    bool loaded = false;
};

TEST_F(AppConfigLoadTest, NoFilesGiveTheDefaults) {
    qvtest::LogRecords log;
    auto config = load();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(*config == AppConfig());
    EXPECT_TRUE(config->settingsStore.equals(AppConfig().settingsStore));
    EXPECT_TRUE(config->webBrowser.empty());
    EXPECT_TRUE(config->settingsStore.keys(L"console").empty());
    EXPECT_TRUE(log.all().empty());
}

TEST_F(AppConfigLoadTest, FilesAreReadInOrderWithTheirVariables) {
    ASSERT_EQ(files.size(), 5u);
    write(0, "[app]\nhotkey_run = Alt+F1\n[gui]\nmax_results = 20\nauto_width = 40\n"
             "[var]\nmyvar = default\n");
    write(1, "[gui]\nmax_results = 30\n"
             "word_separators = ${var:myvar} ${var:APP_DIR} ${env:QV_TEST_WORD} $$\n"
             "[console]\nalias_x = import ${var:myvar}\n");
    write(4, "[gui]\nauto_width = 50\n[var]\napp_dir = /user/override\n");
    auto config = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(config->hotkeyRun.text, L"Alt+F1");
    EXPECT_EQ(config->maxResults, 30);
    EXPECT_EQ(config->autoWidth, 50);
    // During the load a file's variable wins over the built-in one...
    EXPECT_EQ(config->wordSeparators, L"default /user/override from-env $");
    EXPECT_EQ(config->aliases.at(L"x"), L"import default");
    // ...and afterwards the store holds the built-in value.
    wstr value;
    ASSERT_TRUE(config->settingsStore.get(L"var", L"APP_DIR", value));
    EXPECT_EQ(value, folders.install);
    ASSERT_TRUE(config->settingsStore.get(L"var", L"myvar", value));
    EXPECT_EQ(value, L"default");
    ASSERT_TRUE(config->settingsStore.get(L"gui", L"max_results", value));
    EXPECT_EQ(value, L"30");
}

TEST_F(AppConfigLoadTest, BuiltInVariablesReachTheFiles) {
    write(1, "[gui]\nword_separators = ${var:PROFILE_DIR_USER}|${var:knownfolder_profile}\n");
    auto config = load();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(config->wordSeparators, folders.profileUser + L"|" + wide(root.path()));
}

TEST_F(AppConfigLoadTest, APythonErrorStopsReadingWithAMessageBox) {
    qvtest::RecordingMessageBox::Installed boxes;
    std::vector<int> gilHeld;
    boxes.box->setProbe([&gilHeld] { gilHeld.push_back(PyGILState_Check()); });
    write(1,
          "[app]\nwrite_log_file = 0\n[gui]\nmax_results = 20\nword_separators = ${var:missing}\n"
          "max_height = 3\n[network]\ntimeout = 30\n");
    auto config = load();
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(config->writeLogFile);
    EXPECT_EQ(config->maxResults, 20);
    EXPECT_EQ(config->maxHeight, 3) << "read before the failing key";
    EXPECT_EQ(config->timeout, 5);
    wstr value;
    config->settingsStore.get(L"gui", L"max_results", value);
    EXPECT_EQ(value, L"100") << "the section was not written back";
    auto shown = boxes.box->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.starts_with(L"Error while reading app config data: "))
        << wstr::toUtf8(shown[0].text);
    EXPECT_EQ(shown[0].style & MessageBox::MB_ICONMASK, MessageBox::MB_ICONWARNING);
    EXPECT_EQ(gilHeld, std::vector<int>{0}) << "the box waits for the user without the GIL";
}

// Each mistake in a configuration file gives one message that says which file,
// which section and which key; names the user chooses freely give none.
TEST_F(AppConfigLoadTest, MistakesAreToldWithTheirFileSectionAndKey) {
    struct Row {
        const char* what;
        std::vector<std::pair<size_t, std::string>> texts; // file index, text
        size_t named;                                      // the file the message names
        std::vector<wstr> says;                            // empty: no message at all
    };
    const Row rows[] = {
        {"unknown key",
         {{1, "[gui]\nmax_resluts = 20\nmax_results = 30\n"}},
         1,
         {L"Unknown setting \"max_resluts\" in section [gui]", L"did you mean \"max_results\"?"}},
        {"unknown key of the later file",
         {{1, "[app]\nwrite_log_file = 1\n"}, {4, "[app]\nwrite_log_fle = 0\n"}},
         4,
         {L"\"write_log_fle\"", L"[app]", L"did you mean \"write_log_file\"?"}},
        {"unknown section",
         {{1, "[GUI]\nmax_results = 20\n"}},
         1,
         {L"Unknown section [GUI]", L"did you mean [gui]?"}},
        {"unknown key of a theme",
         {{1, "[theme/Mine]\ncolor_backgruond = #000\n"}},
         1,
         {L"\"color_backgruond\"", L"[theme/Mine]", L"did you mean \"color_background\"?"}},
        {"number that is not one",
         {{1, "[gui]\nmax_results = ten\n"}},
         1,
         {L"\"ten\"", L"\"max_results\"", L"[gui]", L"Using 10"}},
        {"boolean of the later file",
         {{0, "[gui]\nalways_on_top = yes\n"}, {3, "[gui]\nalways_on_top = yse\n"}},
         3,
         {L"\"yse\"", L"\"always_on_top\"", L"[gui]", L"Falling back to default: 0"}},
        {"reference to nothing",
         {{1, "[gui]\nmax_results = 20\n"}, {2, "[gui]\nword_separators = ${var:nope}\n"}},
         2,
         {L"setting \"word_separators\" in section [gui]", L"refers to ${var:nope}, which does not "
                                                           L"exist"}},
        {"reference through a variable",
         {{1, "[var]\nroot = ${nope}\n[external]\nterminal = ${var:root}/term\n"}},
         1,
         {L"setting \"terminal\" in section [external]",
          L"refers to ${nope} (through \"root\" in section [var]), which does not exist"}},
        {"$ that starts no reference",
         {{1, "[gui]\nword_separators = a$b\n"}},
         1,
         {L"setting \"word_separators\" in section [gui]", L"write $$ for a literal $"}},
        {"names of the user's own",
         {{1, "[var]\nmy_folder = /x\n[console]\nalias_ll = import os\n"
              "[theme/Mine]\ncolor_background = #000\n[env]\nMY_NAME = me\n"},
          {4, "[theme/Unlisted]\nlayout = 1\n[var]\nother = ${var:my_folder}\n"}},
         0,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (size_t i = 0; i < files.size(); ++i)
            std::filesystem::remove(wstr::toUtf8(files[i]));
        for (const auto& [index, text] : row.texts)
            write(index, text);
        qvtest::RecordingMessageBox::Installed boxes;
        qvtest::LogRecords log;
        load();
        std::vector<wstr> messages;
        for (const auto& item : log.all())
            if (item->level >= Logger::Warning)
                messages.push_back(item->message);
        if (row.says.empty()) {
            EXPECT_EQ(messages, std::vector<wstr>{});
            continue;
        }
        ASSERT_EQ(messages.size(), 1u) << wstr::toUtf8(messages.empty() ? L"" : messages[1]);
        EXPECT_NE(messages[0].find(files[row.named]), wstr::npos) << wstr::toUtf8(messages[0]);
        for (const wstr& part : row.says)
            EXPECT_NE(messages[0].find(part), wstr::npos)
                << wstr::toUtf8(part) << "\n in: " << wstr::toUtf8(messages[0]);
        EXPECT_EQ(messages[0].find(L"Traceback"), wstr::npos) << wstr::toUtf8(messages[0]);
    }
}

// The values the messages above speak of are the ones used.
TEST_F(AppConfigLoadTest, RefusedValuesTakeWhatTheMessagesSay) {
    qvtest::LogRecords log;
    write(0, "[gui]\nalways_on_top = yes\nmax_results = 50\n");
    write(4, "[gui]\nalways_on_top = yse\nmax_results = ten\nmax_height = 12px\n");
    auto config = load();
    EXPECT_TRUE(loaded);
    EXPECT_FALSE(config->alwaysOnTop) << "the earlier file's text was replaced, not kept";
    EXPECT_EQ(config->maxResults, 10);
    EXPECT_EQ(config->maxHeight, 12);
}

// A bad reference: one sentence in the box, the traceback only in the log,
// at debug level.
TEST_F(AppConfigLoadTest, ABadReferenceIsOneSentence) {
    qvtest::RecordingMessageBox::Installed boxes;
    qvtest::LogRecords log;
    write(1, "[gui]\nword_separators = ${var:nope}\n");
    load();
    auto shown = boxes.box->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Error while reading app config data: setting \"word_separators\" in "
                             L"section [gui] of " +
                                 files[1] +
                                 L" refers to ${var:nope}, which does not exist, so the settings "
                                 L"after it keep their defaults.");
    size_t tracebacks = 0;
    for (const auto& item : log.all())
        if (item->level == Logger::Debug &&
            item->message.find(L"InterpolationMissingOptionError") != wstr::npos)
            ++tracebacks;
    EXPECT_EQ(tracebacks, 1u);
}

TEST_F(AppConfigLoadTest, AFileThatDoesNotParseIsSkipped) {
    qvtest::LogRecords log;
    write(0, "[gui]\nmax_results = 20\n");
    write(1, "[gui]\nmax_results = 30\nmax_results = 40\n");
    std::filesystem::create_directories(wstr::toUtf8(files[2]));
    auto config = load();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(config->maxResults, 20);
    EXPECT_EQ(
        log.matching(Logger::Warning, L"Specified config file is not a file: " + files[2]).size(),
        1u);
}

TEST_F(AppConfigLoadTest, AReloadKeepsTheSettingsInForceUnlessTheyChanged) {
    write(1, "[app]\nlaunch_at_startup = 1\nhotkey_run = Ctrl+Win+K\nignored_packages = Foo\n");
    std::shared_ptr<const AppConfig> current = AppConfig::reload(nullptr, files);
    ASSERT_TRUE(current);
    EXPECT_TRUE(current->launchAtStartup);

    // The same settings spelled differently are no change.
    write(1, "[app]\nlaunch_at_startup = yes\nhotkey_run = win ctrl k\nignored_packages = foo\n");
    EXPECT_EQ(AppConfig::reload(current, files), nullptr);

    {
        qvtest::RecordingMessageBox::Installed boxes;
        write(1, "[app]\nlaunch_at_startup = ${var:missing}\n");
        EXPECT_EQ(AppConfig::reload(current, files), nullptr) << "a failed load changes nothing";
        EXPECT_EQ(boxes.box->shown().size(), 1u);
    }

    write(1, "[app]\nlaunch_at_startup = 1\nhotkey_run = Ctrl+Win+J\n");
    std::shared_ptr<const AppConfig> changed = AppConfig::reload(current, files);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->hotkeyRun.key, 74);
}

} // namespace
