// The shipped default configuration file and docs/configuration.md, checked
// against the settings the program reads: both name every setting with the
// same default, and the file, read first as installed, changes no default.

#include "app/AppConfig.h"

#include "core/Logger.h"
#include "tests/app/ConfigFolders.h"
#include "tests/app/FakeApp.h"
#include "tests/app/PythonForTests.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

using Key = std::pair<std::string, std::string>; // section, setting

struct FileEntry {
    std::string value;
    bool commented = false;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const fs::path shippedFile = fs::path(QV_BUILD_DIR) / "default/App/Quorvalent.ini";
const fs::path configurationDoc =
    (fs::path(QV_TEST_DATA_DIR) / "../../../docs/configuration.md").lexically_normal();

// "key = value" lines, or "#key = value" for a setting shown commented out,
// by section.
std::map<Key, FileEntry> fileEntries(const std::string& text) {
    static const std::regex sectionLine(R"(^\[([^\]]+)\]$)");
    static const std::regex settingLine(R"(^(#?)([a-z_]+) =(?: (.*))?$)");
    std::map<Key, FileEntry> entries;
    std::string section, line;
    std::istringstream in(text);
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_match(line, match, sectionLine))
            section = match[1];
        else if (std::regex_match(line, match, settingLine))
            entries[{section, match[2]}] = {match[3], match[1].length() > 0};
    }
    return entries;
}

// The default column of each setting's row, by the section its table
// follows ("### [app]").
std::map<Key, std::string> documentedDefaults(const std::string& text) {
    static const std::regex heading(R"(^#+ \[([^\]]+)\].*$)");
    static const std::regex row(R"(^\| `([a-z_]+)` \|[^|]*\| ([^|]*) \|.*$)");
    std::map<Key, std::string> defaults;
    std::string section, line;
    std::istringstream in(text);
    std::smatch match;
    while (std::getline(in, line)) {
        if (std::regex_match(line, match, heading))
            section = match[1];
        else if (std::regex_match(line, match, row))
            defaults[{section, match[1]}] = match[2];
    }
    return defaults;
}

class DefaultConfigTest : public ::testing::Test, protected qvtest::ConfigFolders {
protected:
    // A record read from the text as the default file of an installation.
    std::shared_ptr<AppConfig> loadAsDefault(const std::string& text, bool& loaded) {
        std::vector<wstr> files = DataFs::appConfigFiles(folders);
        fs::path path(wstr::toUtf8(files.front()));
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::trunc) << text;
        auto config = std::make_shared<AppConfig>();
        loaded = config->load(files);
        return config;
    }

    // Every setting the program reads: those it writes back for plugins
    // (the console's aliases, written under their names, as their keys) and
    // the theme list.
    static std::vector<Key> settingsOf(const AppConfig& config) {
        std::vector<Key> keys{{"gui", "theme"}};
        for (const auto& [name, line] : config.aliases)
            keys.emplace_back("console", "alias_" + wstr::toUtf8(name));
        for (const wchar_t* section : {L"app", L"gui", L"external", L"console", L"network"}) {
            for (const wstr& key : config.settingsStore.keys(section)) {
                if (wstr(section) != L"console" || !config.aliases.count(key))
                    keys.emplace_back(wstr::toUtf8(section), wstr::toUtf8(key));
            }
        }
        return keys;
    }
};

// Read first, the shipped file parses without a message and gives the same
// record as sections without settings; it names every setting, and no other.
TEST_F(DefaultConfigTest, TheShippedFileHoldsEverySettingAtItsDefault) {
    const std::string text = readText(shippedFile);
    ASSERT_FALSE(text.empty()) << shippedFile;
    bool loaded = false;
    const auto defaults =
        loadAsDefault("[app]\n[gui]\n[external]\n[console]\n[network]\n[var]\n", loaded);
    ASSERT_TRUE(loaded);
    qvtest::LogRecords log;
    const auto shipped = loadAsDefault(text, loaded);
    EXPECT_TRUE(loaded);
    for (const auto& record : log.all())
        ADD_FAILURE() << wstr::toUtf8(record->message);
    EXPECT_TRUE(*shipped == *defaults);

    std::map<Key, FileEntry> entries = fileEntries(text);
    for (const Key& key : settingsOf(*defaults)) {
        EXPECT_EQ(entries.count(key), 1u) << key.first << "/" << key.second << " missing";
        entries.erase(key);
    }
    for (const auto& [key, entry] : entries)
        ADD_FAILURE() << key.first << "/" << key.second << " is no setting";
}

// docs/configuration.md has a row for every setting whose default is the
// value of the shipped file, or words for a setting that has no value.
TEST_F(DefaultConfigTest, TheDocumentationGivesEverySettingWithItsDefault) {
    bool loaded = false;
    const auto defaults = loadAsDefault("[app]\n[gui]\n[external]\n[console]\n[network]\n", loaded);
    const std::map<Key, FileEntry> entries = fileEntries(readText(shippedFile));
    const std::map<Key, std::string> documented = documentedDefaults(readText(configurationDoc));
    ASSERT_FALSE(documented.empty()) << configurationDoc;
    for (const Key& key : settingsOf(*defaults)) {
        const std::string name = key.first + "/" + key.second;
        auto row = documented.find(key);
        auto entry = entries.find(key);
        if (row == documented.end() || entry == entries.end()) {
            ADD_FAILURE() << name << " is not documented or not in the shipped file";
            continue;
        }
        const std::string& value = entry->second.value;
        if (value.empty())
            EXPECT_EQ(row->second.find('`'), std::string::npos) << name << ": " << row->second;
        else
            EXPECT_EQ(row->second, "`" + value + "`") << name;
    }
}

} // namespace
