#include "packages/PluginMsg.h"

#include "packages/PackageManager.h"
#include "tests/packages/PackageFakes.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <stdexcept>

namespace {

using qvtest::AppScope;
using qvtest::TestPackage;
using qvtest::TestPlugin;

constexpr std::array<uint32_t, 7> allKinds = {150, 200, 210, 220, 300, 301, 400};

struct Fixture {
    AppScope app;
    std::shared_ptr<TestPackage> package =
        std::make_shared<TestPackage>(L"ToolA", 3, wstr(), qvtest::PackageSpec());
    std::shared_ptr<TestPlugin> plugin = std::make_shared<TestPlugin>(L"ToolA.Finder");
    std::shared_ptr<TestPlugin> other = std::make_shared<TestPlugin>(L"ToolA.Other");
    CatalogItemPtr item = makeItem(L"target");

    CatalogItemPtr makeItem(const wstr& target) const {
        return std::make_shared<CatalogItem>(plugin->id(), CatalogItem::keyword, L"Label", wstr(),
                                             target, CatalogItem::accepted, false,
                                             CatalogItem::keepall, 0, wstr());
    }
    CatalogActionPtr makeAction(const wstr& name) const {
        return std::make_shared<CatalogAction>(plugin->id(), name, L"Action " + name, wstr(),
                                               wstr());
    }
    // A valid message of the kind, with the data the kind needs.
    std::shared_ptr<PluginMsg> message(uint32_t kind,
                                       const std::shared_ptr<TestPlugin>& target = nullptr,
                                       uint32_t delayMs = 0) const {
        PluginMsg::Data data;
        data.flags = 1;
        data.text = L"text";
        data.item = item;
        return std::make_shared<PluginMsg>(package, target ? target : plugin, kind, data, delayMs);
    }
};

TEST(PluginMsg, KindTableAndNames) {
    std::vector<std::pair<uint32_t, std::string>> rows;
    for (const PluginMsg::KindInfo& info : PluginMsg::kinds())
        rows.emplace_back(info.id, info.name);
    EXPECT_EQ(rows, (std::vector<std::pair<uint32_t, std::string>>{{150, "start"},
                                                                   {200, "catalog"},
                                                                   {210, "suggest"},
                                                                   {220, "execute"},
                                                                   {300, "activated"},
                                                                   {301, "deactivated"},
                                                                   {400, "events"}}));
    EXPECT_EQ(PluginMsg::kindName(500), "");
}

TEST(PluginMsg, InvalidConstructions) {
    Fixture f;
    for (uint32_t kind : allKinds)
        EXPECT_TRUE(f.message(kind)->isValid()) << kind;

    EXPECT_FALSE(f.message(0)->isValid());
    EXPECT_FALSE(f.message(500)->isValid());
    EXPECT_EQ(f.message(500)->kind(), 0u);

    PluginMsg noItem(f.package, f.plugin, PluginMsg::kindExecute, PluginMsg::Data::none(), 0);
    EXPECT_FALSE(noItem.isValid());

    PackageHost::setInstance(nullptr);
    auto nameless = std::make_shared<TestPlugin>(L"ToolA.Late");
    EXPECT_EQ(nameless->id(), 0u);
    EXPECT_FALSE(f.message(PluginMsg::kindStart, nameless)->isValid());
    EXPECT_FALSE(f.message(PluginMsg::kindSuggest)->isValid());
    EXPECT_TRUE(f.message(PluginMsg::kindEvents)->isValid());
}

TEST(PluginMsg, CreateRefusesMissingOrUnloadedTargets) {
    Fixture f;
    EXPECT_TRUE(PluginMsg::create(f.package, f.plugin, PluginMsg::kindStart, {}));
    EXPECT_FALSE(PluginMsg::create(nullptr, f.plugin, PluginMsg::kindStart, {}));
    EXPECT_FALSE(PluginMsg::create(f.package, nullptr, PluginMsg::kindStart, {}));
    f.package->markUnloaded();
    EXPECT_FALSE(PluginMsg::create(f.package, f.plugin, PluginMsg::kindStart, {}));
}

// Messages are named in the words of the log: the plugin's method and the
// load of the package.
TEST(PluginMsg, Describe) {
    Fixture f;
    EXPECT_EQ(f.message(PluginMsg::kindSuggest)->describe(),
              "ToolA.Finder.on_suggest (instance #3)");
}

// Rows: the pending kind; columns: the running kind, both in table order.
TEST(PluginMsg, MustWaitForTable) {
    Fixture f;
    const std::array<const char*, 7> expected = {
        "1111111", // start waits for everything
        "1100001", // catalog
        "1000001", // suggest
        "1000001", // execute
        "1000111", // activated
        "1000111", // deactivated
        "1111111", // events
    };
    for (size_t n = 0; n < allKinds.size(); ++n) {
        std::string row;
        for (uint32_t running : allKinds)
            row += f.message(allKinds[n])->mustWaitFor(*f.message(running)) ? '1' : '0';
        EXPECT_EQ(row, expected[n]) << "pending kind " << allKinds[n];
    }
}

TEST(PluginMsg, OnlyMessagesOfOnePluginAndLoadConflict) {
    Fixture f;
    auto pending = f.message(PluginMsg::kindStart);
    EXPECT_FALSE(pending->mustWaitFor(*f.message(PluginMsg::kindStart, f.other)));
    auto reloaded = std::make_shared<TestPackage>(L"ToolA", 4, wstr(), qvtest::PackageSpec());
    PluginMsg newer(reloaded, f.plugin, PluginMsg::kindStart, {}, 0);
    EXPECT_FALSE(pending->mustWaitFor(newer));
    EXPECT_FALSE(f.message(0)->mustWaitFor(*pending));
}

TEST(PluginMsg, MergesPerKind) {
    Fixture f;
    for (uint32_t kind : {150u, 200u, 300u, 301u})
        EXPECT_TRUE(f.message(kind)->merge(*f.message(kind))) << kind;

    PluginMsg desktop(f.package, f.plugin, PluginMsg::kindEvents,
                      PluginMsg::Data::eventFlags(PluginMsg::desktopChanged), 0);
    PluginMsg startMenu(f.package, f.plugin, PluginMsg::kindEvents,
                        PluginMsg::Data::eventFlags(PluginMsg::startMenuChanged), 0);
    ASSERT_TRUE(desktop.merge(startMenu));
    EXPECT_EQ(desktop.flags(), 12288u);

    auto first = std::make_shared<PluginMsg>(f.package, f.plugin, PluginMsg::kindSuggest,
                                             PluginMsg::Data::suggestion(L"a", {}), 0);
    PluginMsg second(f.package, f.plugin, PluginMsg::kindSuggest,
                     PluginMsg::Data::suggestion(L"ab", {f.item}), 0);
    ASSERT_TRUE(first->merge(second));
    EXPECT_EQ(first->text(), L"ab");
    EXPECT_EQ(first->items(), std::vector<CatalogItemPtr>{f.item});

    EXPECT_FALSE(f.message(PluginMsg::kindStart)->merge(*f.message(PluginMsg::kindCatalog)));
    EXPECT_FALSE(f.message(PluginMsg::kindStart)->merge(*f.message(PluginMsg::kindStart, f.other)));
    EXPECT_FALSE(f.message(0)->merge(*f.message(0)));
}

TEST(PluginMsg, ExecuteMergesOnlyTheSameRequest) {
    Fixture f;
    auto execute = [&](const CatalogItemPtr& item, const CatalogActionPtr& action) {
        return std::make_shared<PluginMsg>(f.package, f.plugin, PluginMsg::kindExecute,
                                           PluginMsg::Data::execution(item, action), 0);
    };
    CatalogItemPtr twin = f.makeItem(L"target");
    CatalogItemPtr withArgs = f.makeItem(L"target");
    withArgs->setArgs(L"--verbose", wstr());
    CatalogActionPtr open = f.makeAction(L"open");
    CatalogActionPtr openTwin = f.makeAction(L"open");
    CatalogActionPtr edit = f.makeAction(L"edit");

    struct Row {
        const char* name;
        CatalogItemPtr item;
        CatalogActionPtr action;
        bool merged;
    };
    const std::vector<Row> rows = {
        {"same item, no action", f.item, nullptr, true},
        {"equal item, no action", twin, nullptr, true},
        {"same item, equal action", f.item, openTwin, false},
        {"other arguments", withArgs, nullptr, false},
        {"other item", f.makeItem(L"elsewhere"), nullptr, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(execute(f.item, nullptr)->merge(*execute(row.item, row.action)), row.merged)
            << row.name;
    EXPECT_TRUE(execute(f.item, open)->merge(*execute(twin, openTwin)));
    EXPECT_FALSE(execute(f.item, open)->merge(*execute(f.item, edit)));
    EXPECT_FALSE(execute(f.item, open)->merge(*execute(f.item, nullptr)));
}

TEST(PluginMsg, MergeMovesTheScheduleToTheEarlier) {
    Fixture f;
    qvtest::ClockScope clockScope(1000);
    std::atomic<uint64_t>& clock = clockScope.value;
    auto pending = f.message(PluginMsg::kindCatalog, nullptr, 100);
    EXPECT_FALSE(pending->isDue());
    EXPECT_EQ(pending->dueTime(), 1100u);

    auto later = f.message(PluginMsg::kindCatalog, nullptr, 500);
    EXPECT_TRUE(pending->merge(*later));
    EXPECT_EQ(pending->dueTime(), 1100u);

    clock = 1020;
    auto sooner = f.message(PluginMsg::kindCatalog, nullptr, 30);
    EXPECT_TRUE(pending->merge(*sooner));
    EXPECT_EQ(pending->queuedTime(), 1020u);
    EXPECT_EQ(pending->dueTime(), 1050u);

    auto now = f.message(PluginMsg::kindCatalog);
    EXPECT_TRUE(now->isDue());
    EXPECT_EQ(now->dueTime(), 0u);
    EXPECT_TRUE(pending->merge(*now));
    EXPECT_TRUE(pending->isDue());
}

TEST(PluginMsg, FormatIds) {
    const std::vector<std::pair<uint32_t, wstr>> halves = {
        {0, L"None"}, {1, L"App"}, {42, L"0x00002a"}, {0xdeadbeef, L"0xdeadbeef"}};
    for (const auto& [id, text] : halves)
        EXPECT_EQ(formatPluginId(id), text) << id;
    const std::vector<std::pair<uint64_t, wstr>> full = {{0, L"None"},
                                                         {0x100000001ull, L"App"},
                                                         {(42ull << 32) | 16, L"0x00002a.0x000010"},
                                                         {(1ull << 32) | 5, L"App.0x000005"},
                                                         {5, L"None.0x000005"}};
    for (const auto& [id, text] : full)
        EXPECT_EQ(formatFullId(id), text) << id;
}

TEST(PackageTask, EarlierIsWrapSafe) {
    EXPECT_TRUE(PackageTask::isEarlier(1, 2));
    EXPECT_FALSE(PackageTask::isEarlier(2, 1));
    EXPECT_FALSE(PackageTask::isEarlier(5, 5));
    EXPECT_TRUE(PackageTask::isEarlier(UINT64_MAX - 1, 3));
    EXPECT_FALSE(PackageTask::isEarlier(3, UINT64_MAX - 1));
}

// A task that does not get to its body still records when it ran and leaves
// no thread id behind.
TEST(PackageTask, EarlyReturnsRecordTheirEnd) {
    Fixture f;
    qvtest::LogRecords log;
    qvtest::ClockScope clock(500, 1);

    auto invalid = f.message(500);
    invalid->run();
    EXPECT_EQ(invalid->runStart(), 500u);
    EXPECT_EQ(invalid->runEnd(), 501u);
    EXPECT_EQ(invalid->threadId(), 0u);

    auto noManager = f.message(PluginMsg::kindStart);
    noManager->run();
    EXPECT_NE(noManager->runEnd(), 0u);
    EXPECT_EQ(noManager->threadId(), 0u);
    EXPECT_TRUE(f.plugin->records().empty());
    EXPECT_TRUE(log.all().empty());
}

TEST(PackageTask, ExceptionsAreLoggedWithTheDescription) {
    Fixture f;
    auto manager = std::make_shared<PackageManager>();
    f.app->setManager(manager);
    qvtest::LogRecords log;
    for (bool standard : {true, false}) {
        f.plugin->setHook([standard](TestPlugin&, const PluginMsg&) {
            if (standard)
                throw std::runtime_error("boom");
            throw 42;
        });
        auto msg = f.message(PluginMsg::kindEvents);
        msg->setSequence(f.plugin->nextSequence(msg->kind()));
        qvtest::runTask(msg);
    }
    const wstr description = wstr::fromUtf8(f.message(PluginMsg::kindEvents)->describe().c_str());
    EXPECT_EQ(f.plugin->records().size(), 2u);
    EXPECT_EQ(log.matching(Logger::Warning,
                           L"Exception caught while running task \"" + description + L"\": boom")
                  .size(),
              1u);
    EXPECT_EQ(log.matching(Logger::Warning,
                           L"Unknown exception caught while running task \"" + description + L"\".")
                  .size(),
              1u);
}

} // namespace
