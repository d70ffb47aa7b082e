#include "packages/PluginAbout.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "packages/PackageInternal.h"
#include "tests/packages/PackageFakes.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>

namespace {

using qvtest::AppScope;
using qvtest::ManagerHarness;

const wstr aboutName = L"Internal.About";

uint64_t aboutId() {
    wstr packageName;
    return Plugin::parseFullName(aboutName, packageName);
}

// One item as "category|label|description|target".
std::string rowOf(const CatalogItem& item) {
    return std::to_string(item.category()) + "|" + wstr::toUtf8(item.label()) + "|" +
           wstr::toUtf8(item.shortDesc()) + "|" + wstr::toUtf8(item.target());
}

std::vector<std::string> rowsOf(const std::vector<CatalogItemPtr>& items) {
    std::vector<std::string> rows;
    for (const CatalogItemPtr& item : items)
        rows.push_back(rowOf(*item));
    return rows;
}

// The About plugin's items in the catalog, found by searching their common
// label prefix.
std::set<std::string> aboutItems(Catalog& catalog) {
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, L"Quorvalent", nullptr);
    std::set<std::string> rows;
    for (const CatalogResultPtr& result : *results) {
        if (result->item()->pluginId() == aboutId())
            rows.insert(rowOf(*result->item()));
    }
    return rows;
}

// ToolA carries its own settings file, ToolB none; both are loaded and
// their plugins' first messages have run.
struct AboutFixture {
    AboutFixture() : harness(app) {
        app->writePackageFile("ToolA", "toola.ini", "[main]\n");
        harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
        harness.addPackage("ToolB", qvtest::plugins({L"Finder"}));
        harness.start();
        for (const wstr plugin : {L"ToolA.Finder", L"ToolB.Finder", aboutName.c_str()}) {
            qvtest::runTask(harness.take(plugin, PluginMsg::kindStart));
            qvtest::runTask(harness.take(plugin, PluginMsg::kindCatalog));
        }
    }
    // Sends "execute" of an item of the About plugin as the LaunchBox does;
    // whether the plugin took it.
    bool send(uint32_t category, const wstr& target) {
        auto item = std::make_shared<CatalogItem>(aboutId(), category, L"Item", wstr(), target,
                                                  CatalogItem::forbidden, false,
                                                  CatalogItem::noargs, 0, wstr());
        return harness.manager()->sendMessage(aboutId(), PluginMsg::kindExecute,
                                              PluginMsg::Data::execution(item, nullptr));
    }
    // Sends and runs it.
    void execute(uint32_t category, const wstr& target) {
        ASSERT_TRUE(send(category, target));
        qvtest::runTask(harness.take(aboutName, PluginMsg::kindExecute));
    }

    AppScope app;
    ManagerHarness harness;
};

std::string row(uint32_t category, const std::string& label, const std::string& desc,
                const std::string& target) {
    return std::to_string(category) + "|" + label + "|" + desc + "|" + target;
}

// Fifteen command items, a refresh item per package in id order, a configure
// item for ToolA only. The catalog keeps one item per id: the two rows that
// share the target "onlinedocs" become one, the later label winning.
TEST(PluginAbout, CatalogOfCommandsAndPackages) {
    AboutFixture f;
    std::vector<std::string> expected;
    for (const PluginAbout::Command& command : PluginAbout::commands())
        expected.push_back(row(10, "Quorvalent: " + wstr::toUtf8(command.label),
                               wstr::toUtf8(command.shortDesc), wstr::toUtf8(command.target)));
    ASSERT_EQ(expected.size(), 15u);
    EXPECT_EQ(expected[0], row(10, "Quorvalent: About", "About Quorvalent...", "about"));
    for (const auto& entry : f.harness.manager()->listPackages(false)) {
        const std::string name = wstr::toUtf8(entry.name);
        expected.push_back(row(60, "Quorvalent: Refresh Catalog: " + name,
                               "Refresh the Catalog of Package \"" + name + "\"",
                               "pack_refresh " + name));
    }
    expected.push_back(row(60, "Quorvalent: Configure Package: ToolA",
                           "Configure Package \"ToolA\"", "pack_config ToolA"));
    auto about = std::dynamic_pointer_cast<PluginAbout>(f.harness.manager()->findPlugin(aboutId()));
    ASSERT_TRUE(about);
    EXPECT_EQ(rowsOf(about->items()), expected);

    std::set<std::string> stored(expected.begin(), expected.end());
    stored.erase(row(10, "Quorvalent: Online Documentation",
                     "Go to Quorvalent's website to read its documentation", "onlinedocs"));
    EXPECT_EQ(aboutItems(*f.app->catalog()), stored);
    for (const auto& item : about->items()) {
        EXPECT_EQ(item->argsHint(), CatalogItem::forbidden);
        EXPECT_EQ(item->hitHint(), CatalogItem::noargs);
        EXPECT_FALSE(item->loopOnSuggest());
    }
}

TEST(PluginAbout, ActivationRefreshesThePackageItems) {
    AboutFixture f;
    f.harness.addPackage("ToolC", qvtest::plugins({L"Finder"}));
    f.harness.manager()->onPackagesChanged({{L"ToolC", false}});
    ASSERT_TRUE(f.harness.waitLoaded(L"ToolC", 1));
    const std::size_t before = aboutItems(*f.app->catalog()).size();
    f.harness.manager()->sendMessage(aboutId(), PluginMsg::kindActivated, {});
    qvtest::runTask(f.harness.take(aboutName, PluginMsg::kindActivated));
    const auto items = aboutItems(*f.app->catalog());
    EXPECT_EQ(items.size(), before + 1);
    EXPECT_TRUE(items.count(row(60, "Quorvalent: Refresh Catalog: ToolC",
                                "Refresh the Catalog of Package \"ToolC\"", "pack_refresh ToolC")));
}

TEST(PluginAbout, CommandsGoToTheMainWindow) {
    AboutFixture f;
    for (const wstr target : {L"quit", L"exit", L"about"})
        f.execute(CatalogItem::keyword, target);
    EXPECT_EQ(f.app->commands(), (std::vector<uint32_t>{204, 204, 205}));
}

// A command that cannot run is refused when it is sent, with the reason in
// the log, so that the LaunchBox neither hides nor records a hit; one whose
// main window went after it was sent says so when it runs.
TEST(PluginAbout, ACommandThatCannotRunIsAnError) {
    AboutFixture f;
    struct Case {
        const wchar_t* target;
        bool mainWindow;
        const wchar_t* error;
    };
    const Case cases[] = {
        {L"nope", true, L"\"Item\" (nope) cannot run: there is no such command"},
        {L"Quit", true, L"\"Item\" (Quit) cannot run: there is no such command"},
        {L"console", false, L"\"Item\" (console) cannot run: there is no main window"},
    };
    for (const Case& c : cases) {
        qvtest::LogRecords log;
        f.app->setMainWindow(c.mainWindow);
        EXPECT_FALSE(f.send(CatalogItem::keyword, c.target)) << wstr::toUtf8(c.target);
        EXPECT_EQ(log.matching(Logger::Error, c.error).size(), 1u) << wstr::toUtf8(c.target);
    }
    EXPECT_TRUE(f.app->commands().empty());

    qvtest::LogRecords log;
    f.app->setMainWindow(true);
    ASSERT_TRUE(f.send(CatalogItem::keyword, L"diagnostic"));
    f.app->setMainWindow(false);
    qvtest::runTask(f.harness.take(aboutName, PluginMsg::kindExecute));
    EXPECT_TRUE(f.app->commands().empty());
    EXPECT_EQ(
        log.matching(Logger::Error, L"\"Item\" (diagnostic) cannot run: there is no main window")
            .size(),
        1u);
}

TEST(PluginAbout, PackageItemsConfigureAndRefresh) {
    AboutFixture f;
    f.execute(CatalogItem::reference, L"pack_config ToolA");
    f.execute(CatalogItem::reference, L"PACK_CONFIG ToolB");
    EXPECT_EQ(f.app->edits(), (std::vector<wstr>{L"ToolA", L"ToolB"}));

    f.execute(CatalogItem::reference, L"pack_refresh toolb");
    auto refresh = f.harness.take(L"ToolB.Finder", PluginMsg::kindCatalog);
    ASSERT_TRUE(refresh);
    EXPECT_EQ(refresh->sequence(), 2u);

    f.execute(CatalogItem::reference, L"pack_refresh Gone");
    f.execute(CatalogItem::url, L"pack_refresh ToolA");
    ASSERT_TRUE(f.harness.passes(2));
    for (const auto& msg : f.harness.pool().pushed())
        EXPECT_NE(msg->pluginId() >> 32, Package::idOf(L"ToolA"));
}

} // namespace
