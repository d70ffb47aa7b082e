#include "packages/Package.h"

#include "catalog/Catalog.h"
#include "tests/packages/PackageFakes.h"
#include "tests/packages/PythonEnvironment.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using qvtest::AppScope;
using qvtest::TestPackage;
using qvtest::TestPlugin;

std::shared_ptr<TestPackage> packageIn(const AppScope& app, const wstr& name) {
    const std::filesystem::path folder = app->root().path() / "live" / wstr::toUtf8(name);
    std::filesystem::create_directories(folder);
    return std::make_shared<TestPackage>(name, 1, wstr::fromUtf8(folder.string().c_str()),
                                         qvtest::plugins({L"Finder"}));
}

wstr valueOf(Package& package, const wstr& section, const wstr& key) {
    wstr value;
    return package.settingsGet(section, key, value) ? value : L"<missing>";
}

// Log lines of one level that start with a prefix.
std::size_t startingWith(const qvtest::LogRecords& log, Logger::Level level, const wstr& prefix) {
    std::size_t count = 0;
    for (const auto& record : log.all())
        count += record->level == level && record->message.starts_with(prefix);
    return count;
}

TEST(Package, IdIgnoresCase) {
    EXPECT_EQ(Package::idOf(L"MyPack"), Package::idOf(L"mypack"));
    EXPECT_NE(Package::idOf(L"MyPack"), Package::idOf(L"MyPack2"));
}

TEST(Package, SettingsLayersAndVariables) {
    qvtest::requirePython();
    AppScope app;
    app->setVariable(L"HOME_DIR", L"/home/me");
    app->writePackageFile("ToolA", "toola.ini",
                          "[main]\nkey = package\nkeep = default\npath = ${var:home_dir}/x\n");
    app->writeUserFile("toola.ini", "[main]\nkey = user\n[extra]\nflag = on\n");
    const std::vector<wstr> variants = DataFs::configFileVariants(L"toola", true);
    ASSERT_EQ(variants.size(), 4u);
    app->writeUserFile(wstr::toUtf8(variants[3]), "[main]\nkeep = specific\n");
    auto package = packageIn(app, L"ToolA");

    EXPECT_FALSE(package->settingsLoaded());
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"user");
    EXPECT_EQ(valueOf(*package, L"main", L"KEEP"), L"specific");
    EXPECT_EQ(valueOf(*package, L"main", L"path"), L"/home/me/x");
    EXPECT_EQ(valueOf(*package, L"extra", L"flag"), L"on");
    EXPECT_EQ(valueOf(*package, L"main", L"nothing"), L"<missing>");
    EXPECT_TRUE(package->settingsLoaded());
    const std::vector<wstr> sections = package->settingsSections();
    EXPECT_NE(std::find(sections.begin(), sections.end(), L"extra"), sections.end());

    // Loaded once: later file changes wait for a forced load.
    app->writeUserFile("toola.ini", "[main]\nkey = changed\n");
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"user");
    EXPECT_FALSE(package->loadSettings(false));
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"user");
    EXPECT_TRUE(package->loadSettings(true));
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"changed");
    EXPECT_FALSE(package->loadSettings(true));

    package->invalidateSettings();
    EXPECT_FALSE(package->settingsLoaded());
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"changed");
}

// The user's settings file is found in any spelling, ${env:...} resolves, and
// one value that cannot be resolved costs itself only, warned once.
TEST(Package, UserFilesInAnyCaseWithEnvironmentReferences) {
    qvtest::requirePython();
    AppScope app;
    qvtest::LogRecords log;
    app->writeUserFile("ToolA.ini", "[main]\nhome = ${env:HOME}\nbad = ${nosuch:x}\nok = 1\n");
    auto package = packageIn(app, L"ToolA");
    const char* home = getenv("HOME");
    ASSERT_NE(home, nullptr);
    for (int access = 0; access < 3; ++access) {
        EXPECT_EQ(valueOf(*package, L"main", L"home"), wstr::fromUtf8(home));
        EXPECT_EQ(valueOf(*package, L"main", L"ok"), L"1");
        EXPECT_EQ(valueOf(*package, L"main", L"bad"), L"<missing>");
    }
    EXPECT_TRUE(package->settingsLoaded());
    const wstr told = L"Error while extracting settings from package ToolA: setting \"bad\" in "
                      L"section [main] of ";
    EXPECT_EQ(startingWith(log, Logger::Warning, told), 1u);
    for (const auto& record : log.all()) {
        if (record->message.starts_with(told)) {
            EXPECT_TRUE(record->message.ends_with(
                L"/ToolA.ini refers to ${nosuch:x}, which does not exist; it is left out"))
                << wstr::toUtf8(record->message);
        }
    }

    app->writeUserFile("TOOLB.INI", "[main]\nkey = upper\n");
    app->writeUserFile("ToolB.ini", "[main]\nkey = mixed\n");
    auto both = packageIn(app, L"ToolB");
    EXPECT_EQ(valueOf(*both, L"main", L"key"), L"upper");
    EXPECT_EQ(startingWith(log, Logger::Warning,
                           L"Two files differ only in letter case: TOOLB.INI is read, ToolB.ini "),
              1u);
}

TEST(Package, UnloadedPackageAnswersWithoutLoading) {
    qvtest::requirePython();
    AppScope app;
    app->writePackageFile("ToolA", "toola.ini", "[main]\nkey = 1\n");
    auto package = packageIn(app, L"ToolA");
    package->markUnloaded();
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"<missing>");
    EXPECT_FALSE(package->settingsLoaded());
    EXPECT_FALSE(package->loadSettings(true));
}

TEST(Package, BadSettingsSourcesAreReportedAndSkipped) {
    qvtest::requirePython();
    AppScope app;
    qvtest::LogRecords log;
    app->writePackageFile("ToolA", "toola.ini", "[main]\nkey = 1\nbroken line\n");
    app->writeUserFile("toola.ini", "[main]\nother = 2\n");
    auto package = packageIn(app, L"ToolA");
    EXPECT_EQ(valueOf(*package, L"main", L"other"), L"2");
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"<missing>");
    EXPECT_EQ(startingWith(log, Logger::Warning,
                           L"Error while parsing settings from resource toola.ini. Error: "),
              1u);

    app->writePackageFile("ToolB", "toolb.ini", "\xEF\xBB\xBF[main]\nkey = \xFF\xFE\n");
    auto undecodable = packageIn(app, L"ToolB");
    EXPECT_EQ(valueOf(*undecodable, L"main", L"key"), L"<missing>");
    EXPECT_EQ(log.matching(Logger::Warning, L"Could not decode resource: toolb.ini").size(), 1u);
}

TEST(Package, AUserFileThatCannotBeReadIsReported) {
    qvtest::requirePython();
    AppScope app;
    qvtest::LogRecords log;
    const auto folder = app->root().path() / "user" / "toola.ini";
    std::filesystem::create_directories(folder);
    auto package = packageIn(app, L"ToolA");
    EXPECT_EQ(valueOf(*package, L"main", L"key"), L"<missing>");
    EXPECT_EQ(log.matching(Logger::Warning, L"Error while reading config file " +
                                                wstr::fromUtf8(folder.string().c_str()) +
                                                L": the file cannot be read")
                  .size(),
              1u);
}

TEST(Package, UnloadPluginsClearsTheirCatalogShare) {
    AppScope app;
    auto package = packageIn(app, L"ToolA");
    ASSERT_TRUE(package->load());
    auto finder = package->plugin(L"Finder");
    const auto catalog = app->catalog();
    auto item = std::make_shared<CatalogItem>(finder->id(), CatalogItem::keyword, L"Item", wstr(),
                                              L"item", CatalogItem::forbidden, false,
                                              CatalogItem::keepall, 0, wstr());
    auto action = std::make_shared<CatalogAction>(finder->id(), L"run", L"Run", wstr(), wstr());
    catalog->insertPluginItems(*finder, {item}, true);
    catalog->setSuggestions(*finder, {item}, 0, 0);
    catalog->setPluginActions(*finder, CatalogItem::keyword, {action});
    catalog->dirtyEvent().reset();
    app->takeTimers();

    package->unloadPlugins();
    EXPECT_TRUE(finder->shouldTerminate(false));
    EXPECT_TRUE(finder->released());
    EXPECT_TRUE(package->plugins().empty());
    EXPECT_EQ(catalog->itemCount(), 0u);
    EXPECT_EQ(catalog->clearPluginSuggestions(finder->id()), 0u);
    EXPECT_EQ(catalog->removePluginActions(finder->id()), 0u);
    EXPECT_EQ(catalog->dirtyEvent().wait(0), Platform::WAIT_OBJECT_0);
    const auto timers = app->takeTimers();
    EXPECT_NE(std::find(timers.begin(), timers.end(), std::pair<uint32_t, uint32_t>(8, 50)),
              timers.end());
    EXPECT_NE(std::find(timers.begin(), timers.end(), std::pair<uint32_t, uint32_t>(9, 50)),
              timers.end());
}

TEST(Package, IconRegistry) {
    AppScope app;
    auto package = packageIn(app, L"ToolA");
    auto other = packageIn(app, L"ToolB");
    ASSERT_TRUE(package->load() && other->load());
    const uint64_t finder = package->plugin(L"Finder")->id();

    auto icon = package->loadIcon({L"res://ToolA/a.png"});
    const uint64_t handle = icon->id();
    EXPECT_EQ(handle >> 32, package->id());
    EXPECT_EQ(package->loadIcon({L"RES://toola/a.png"}), icon);
    EXPECT_EQ(package->findIcon(handle), icon);
    EXPECT_FALSE(package->findIcon(0));
    auto foreign = other->loadIcon({L"res://ToolB/a.png"});
    EXPECT_FALSE(package->findIcon(foreign->id()));
    EXPECT_EQ(package->loadIcon({L"nothing usable"})->id(), 0u);

    auto second = package->loadIcon({L"res://ToolA/b.png"});
    package->setDefaultIcon(finder, foreign->id());
    package->setDefaultIcon(finder, handle + 1);
    EXPECT_FALSE(package->getIcon(finder, false, 0));
    EXPECT_EQ(package->getIcon(finder, true, second->id()), second);
    package->setDefaultIcon(finder, handle);
    EXPECT_EQ(package->getIcon(finder, true, second->id()), icon);
    EXPECT_EQ(package->getIcon(0, true, second->id()), second);
    EXPECT_FALSE(package->getIcon(0, false, second->id()));
    EXPECT_FALSE(package->getIcon(other->plugin(L"Finder")->id(), true, second->id()));
    package->setDefaultIcon(finder, 0);
    EXPECT_FALSE(package->getIcon(finder, false, 0));

    EXPECT_FALSE(package->freeIcon(0));
    EXPECT_FALSE(package->freeIcon(foreign->id()));
    EXPECT_TRUE(package->freeIcon(handle));
    EXPECT_FALSE(package->freeIcon(handle));
    EXPECT_FALSE(package->findIcon(handle));
    EXPECT_EQ(app->forgottenIcons(), std::vector<uint64_t>{handle});
}

// The default icon is the resource named after the package; its bitmap is
// read through the package manager while the package is loaded.
TEST(Package, DefaultIconFromTheLoadedPackage) {
    AppScope app;
    qvtest::ManagerHarness harness(app);
    app->writePackageFile(
        "ToolA", "TOOLA.ico",
        qvtest::str(qvtest::makeIco({{qvtest::makeDib(16, 32, 0xFF00FF00), 32}})));
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
    harness.start();
    ASSERT_TRUE(harness.waitLoaded(L"ToolA", 1));
    auto package = harness.package(L"ToolA");
    package->loadDefaultIcon();
    const uint64_t handle = PackageIcon(package->id(), {L"res://ToolA/TOOLA.ico"}).id();
    auto icon = package->findIcon(handle);
    ASSERT_TRUE(icon);
    auto bitmap = icon->getIcon(16);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 16);

    auto bare = packageIn(app, L"ToolB");
    bare->loadDefaultIcon();
    EXPECT_FALSE(bare->getIcon(0, true, PackageIcon(bare->id(), {L"res://ToolB/toolb.ico"}).id()));
}

} // namespace
