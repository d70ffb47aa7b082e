#include "packages/Plugin.h"

#include "catalog/Catalog.h"
#include "core/Hash.h"
#include "tests/packages/PackageFakes.h"

#include <gtest/gtest.h>

namespace {

using qvtest::AppScope;
using qvtest::ManagerHarness;
using qvtest::TestPlugin;

uint64_t parse(const wstr& name, wstr& packageName) {
    return Plugin::parseFullName(name, packageName);
}

TEST(Plugin, ParseFullName) {
    wstr packageName = L"stale";
    const uint64_t id = parse(L"MyPack.Finder", packageName);
    EXPECT_EQ(packageName, L"MyPack");
    EXPECT_EQ(id >> 32, Plugin::nameHash(L"mypack"));
    EXPECT_EQ(id & 0xFFFFFFFF, Plugin::nameHash(L"Finder"));
    EXPECT_EQ(Plugin::nameHash(L"mypack"), std::max<uint32_t>(hashWstr32(L"mypack"), 2));

    wstr other;
    EXPECT_EQ(parse(L"mypack.Finder", other), id);
    EXPECT_EQ(parse(L"MyPack.finder", other) >> 32, id >> 32);
    EXPECT_NE(parse(L"MyPack.finder", other), id);
    EXPECT_NE(parse(L"a.b", other), 0u);

    for (const wstr refused : {L"a", L"a.b.c", L".a.b", L"a..b", L"a.b.", L"", L"."}) {
        packageName = L"stale";
        EXPECT_EQ(parse(refused, packageName), 0u) << wstr::toUtf8(refused);
        EXPECT_TRUE(packageName.empty()) << wstr::toUtf8(refused);
    }
}

TEST(Plugin, IdentityNeedsTheApplicationAndAValidName) {
    TestPlugin orphan(L"ToolA.Finder");
    EXPECT_EQ(orphan.id(), 0u);
    EXPECT_TRUE(orphan.fullName().empty());

    AppScope app;
    TestPlugin refused(L"ToolA");
    EXPECT_EQ(refused.id(), 0u);
    EXPECT_TRUE(refused.fullName().empty());
    TestPlugin plugin(L"ToolA.Finder");
    EXPECT_EQ(plugin.fullName(), L"ToolA.Finder");
    EXPECT_EQ(plugin.packageName(), L"ToolA");
    EXPECT_EQ(plugin.packageId(), Package::idOf(L"toola"));
    EXPECT_FALSE(plugin.package());
}

TEST(Plugin, SequencesAndObsolescence) {
    AppScope app;
    TestPlugin plugin(L"ToolA.Finder");
    EXPECT_FALSE(plugin.isCurrent(PluginMsg::kindSuggest, 0));
    EXPECT_EQ(plugin.nextSequence(PluginMsg::kindSuggest), 1u);
    EXPECT_EQ(plugin.nextSequence(PluginMsg::kindSuggest), 2u);
    EXPECT_EQ(plugin.nextSequence(PluginMsg::kindEvents), 1u);
    EXPECT_FALSE(plugin.isCurrent(PluginMsg::kindSuggest, 1));
    EXPECT_TRUE(plugin.isCurrent(PluginMsg::kindSuggest, 2));
    EXPECT_FALSE(plugin.shouldTerminate(true));

    plugin.markObsolete();
    EXPECT_TRUE(plugin.shouldTerminate(false));
    EXPECT_FALSE(plugin.isCurrent(PluginMsg::kindSuggest, 2));
    EXPECT_FALSE(plugin.isCurrent(PluginMsg::kindEvents, 1));
    EXPECT_EQ(plugin.nextSequence(PluginMsg::kindSuggest), 3u);
    EXPECT_TRUE(plugin.isCurrent(PluginMsg::kindSuggest, 3));
}

CatalogItemPtr itemOf(const Plugin& plugin, const wstr& label) {
    return std::make_shared<CatalogItem>(plugin.id(), CatalogItem::file, label, wstr(),
                                         L"/tmp/" + label, CatalogItem::accepted, false,
                                         CatalogItem::keepall, 0, wstr());
}

bool hasTimer(const std::vector<std::pair<uint32_t, uint32_t>>& timers, uint32_t id) {
    return std::find(timers.begin(), timers.end(), std::pair<uint32_t, uint32_t>(id, 50)) !=
           timers.end();
}

// Only the task that runs one of the plugin's messages changes the catalog.
TEST(Plugin, CatalogOperationsAreGuarded) {
    AppScope app;
    ManagerHarness harness(app);
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
    harness.start();
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindStart));
    auto finder = harness.plugin(L"ToolA", L"Finder");
    const auto catalog = app->catalog();
    auto action = std::make_shared<CatalogAction>(finder->id(), L"open", L"Open", wstr(), wstr());

    finder->setCatalog({itemOf(*finder, L"outside")});
    finder->setSuggestions({itemOf(*finder, L"outside")}, 0, 0);
    EXPECT_EQ(finder->setActions(CatalogItem::file, {action}), 0u);
    EXPECT_EQ(catalog->itemCount(), 0u);
    EXPECT_EQ(catalog->clearPluginSuggestions(finder->id()), 0u);

    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> timers;
    std::atomic<uint64_t> kept = 0;
    finder->setHook([&](TestPlugin& plugin, const PluginMsg&) {
        app->takeTimers();
        plugin.clearAllActions();
        timers.push_back(app->takeTimers());
        plugin.setCatalog({itemOf(plugin, L"one"), itemOf(plugin, L"two")});
        plugin.mergeCatalog({itemOf(plugin, L"three")});
        kept = plugin.setActions(CatalogItem::file, {action});
        app->takeTimers();
        plugin.clearAllActions();
        timers.push_back(app->takeTimers());
    });
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindCatalog));
    EXPECT_EQ(catalog->itemCount(), 3u);
    EXPECT_EQ(kept, 1u);
    ASSERT_EQ(timers.size(), 2u);
    EXPECT_FALSE(hasTimer(timers[0], 9));
    EXPECT_TRUE(hasTimer(timers[1], 9));
}

} // namespace
