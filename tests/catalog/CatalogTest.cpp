#include "catalog/Catalog.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <future>
#include <thread>

namespace {

using qvtest::FakePlugin;
using qvtest::HostScope;

constexpr uint64_t pluginA = 0x200000001;
constexpr uint64_t pluginB = 0x300000001;
const std::pair<uint32_t, uint32_t> searchTimer{8, 50};
const std::pair<uint32_t, uint32_t> actionsTimer{9, 50};

struct Found {
    wstr label;
    uint32_t source;
    uint64_t score;
    MatchKind kind;
    bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) {
    *os << testing::PrintToString(std::wstring(f.label)) << " source " << f.source << " score "
        << f.score << " kind " << static_cast<int>(f.kind);
}

std::vector<Found> found(const CatalogResults& results) {
    std::vector<Found> out;
    for (const CatalogResultPtr& r : results)
        out.push_back({r->item()->label(), r->source(), r->score(), r->kind()});
    return out;
}

std::vector<wstr> labels(const CatalogResults& results) {
    std::vector<wstr> out;
    for (const CatalogResultPtr& r : results)
        out.push_back(r->item()->label());
    return out;
}

std::shared_ptr<CatalogResults> searchFor(Catalog& catalog, const wstr& text,
                                          const CatalogItemPtr& chain = nullptr) {
    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, text, chain);
    return results;
}

bool dirtySignalled(const Catalog& catalog) {
    return catalog.dirtyEvent().wait(0) == Platform::WAIT_OBJECT_0;
}

std::size_t warningCount(const qvtest::LogRecords& log) {
    std::size_t count = 0;
    for (const Logger::ItemPtr& record : log.all())
        count += record->level == Logger::Warning;
    return count;
}

TEST(Catalog, InsertPluginItemsReplacesMergesAndRemoves) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto a = plugin.item(L"Alpha", L"a"), b = plugin.item(L"Beta", L"b"),
         c = plugin.item(L"Gamma", L"c");
    EXPECT_EQ(catalog.insertPluginItems(plugin, {a, b, c}, true), 3u);
    EXPECT_TRUE(dirtySignalled(catalog));
    EXPECT_NE(catalog.dirtyTime(), 0u);
    EXPECT_EQ(host->takeTimers(), (std::vector{searchTimer}));

    // A known id with a new label: the stored object takes it, b is a leftover.
    auto renamed = plugin.item(L"Alphabet", L"a");
    EXPECT_EQ(catalog.insertPluginItems(plugin, {renamed, c}, true), 3u);
    EXPECT_EQ(a->label(), L"Alphabet");
    auto results = searchFor(catalog, L"alphabet");
    ASSERT_EQ(results->size(), 1u);
    EXPECT_EQ((*results)[0]->item(), a);
    EXPECT_EQ(catalog.itemCount(), 2u);

    // Merging never removes.
    EXPECT_EQ(catalog.insertPluginItems(plugin, {plugin.item(L"Delta", L"d")}, false), 1u);
    EXPECT_EQ(catalog.itemCount(), 3u);

    // Unchanged items still count as changes.
    host->takeTimers();
    EXPECT_EQ(catalog.insertPluginItems(plugin, {c}, false), 1u);
    EXPECT_EQ(host->takeTimers(), (std::vector{searchTimer}));

    dirtySignalled(catalog); // consume the auto-reset signal
    EXPECT_EQ(catalog.insertPluginItems(plugin, {}, true), 3u);
    EXPECT_TRUE(dirtySignalled(catalog));
    EXPECT_EQ(catalog.itemCount(), 0u);
    EXPECT_EQ(catalog.insertPluginItems(plugin, {}, true), 0u);
}

TEST(Catalog, InternalPluginsDoNotDirtyTheCache) {
    HostScope host;
    Catalog catalog;
    FakePlugin internal(pluginA, L"About", true);
    EXPECT_EQ(catalog.insertPluginItems(internal, {internal.item(L"About", L"about")}, true), 1u);
    EXPECT_EQ(catalog.insertPluginItems(internal, {}, true), 1u);
    EXPECT_FALSE(dirtySignalled(catalog));
    EXPECT_EQ(host->takeTimers(), (std::vector{searchTimer, searchTimer}));

    FakePlugin plugin(pluginB);
    catalog.insertPluginItems(plugin, {plugin.item(L"X", L"x")}, false);
    EXPECT_EQ(catalog.removePluginItems(pluginB), 1u);
    EXPECT_EQ(host->takeTimers(), (std::vector{searchTimer})); // removal does not notify
}

TEST(Catalog, InsertPluginItemsSkipsBadItemsWithOneWarning) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA, L"Plug");
    FakePlugin other(pluginB);
    auto invalid = plugin.item(L" ", L"t1");
    auto error = std::make_shared<CatalogItem>(pluginA, CatalogItem::error, L"Failed", L"why", L"",
                                               0, false, 0, 0, L"");
    qvtest::LogRecords log;
    EXPECT_EQ(catalog.insertPluginItems(plugin,
                                        {other.item(L"Foreign", L"f"), nullptr, invalid,
                                         plugin.item(L"", L"t2"), error, plugin.item(L"Ok", L"ok")},
                                        false),
              1u);
    EXPECT_EQ(warningCount(log), 1u);
    EXPECT_EQ(log.matching(Logger::Warning,
                           L"Ignoring item with invalid property(ies) from plugin Plug (category: "
                           L"url; label: \"\"; target: \"t1\"): the label is empty")
                  .size(),
              1u);

    qvtest::LogRecords second;
    EXPECT_EQ(catalog.insertPluginItems(plugin, {error, invalid}, false), 0u);
    EXPECT_EQ(warningCount(second), 1u);
    EXPECT_EQ(second
                  .matching(Logger::Warning, L"ERROR items cannot be part of the catalog (plugin: "
                                             L"Plug; label: \"Failed\"; desc: \"why\")")
                  .size(),
              1u);
    EXPECT_EQ(catalog.itemCount(), 1u);
}

TEST(Catalog, InsertPluginItemsStopsWhenThePluginMustTerminate) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    plugin.terminateAfter(2);
    auto items = {plugin.item(L"A", L"a"), plugin.item(L"B", L"b"), plugin.item(L"C", L"c")};
    EXPECT_EQ(catalog.insertPluginItems(plugin, items, true), 0u);
    EXPECT_EQ(plugin.terminateCalls(), 2);
    EXPECT_TRUE(plugin.askedAboutCaller());
    EXPECT_EQ(catalog.itemCount(), 2u);
    EXPECT_FALSE(dirtySignalled(catalog));
    EXPECT_TRUE(host->takeTimers().empty());
}

TEST(Catalog, CatalogAdoptsTheHistorysObjects) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto executed = plugin.item(L"Editor", L"ed");
    ASSERT_TRUE(catalog.recordHit(executed, nullptr));
    catalog.addSearchTerms(L"edi", executed);

    // A plugin delivers another object of the same id: the history's is kept.
    catalog.insertPluginItems(plugin, {plugin.item(L"Editor", L"ed")}, true);
    auto results = searchFor(catalog, L"editor");
    ASSERT_EQ(results->size(), 1u);
    EXPECT_EQ((*results)[0]->item(), executed);
    EXPECT_EQ((*results)[0]->score(), 1000u + 1u); // exact, plus one hit

    // A new label reaches the history's holder, and the history's index.
    catalog.insertPluginItems(plugin, {plugin.item(L"Writer", L"ed")}, true);
    EXPECT_EQ(executed->label(), L"Writer");
    Mutex::Lock lock(catalog.mutex());
    auto contents = catalog.history().items().indexContents(CatalogItemStore::IndexKind::composed);
    EXPECT_EQ(contents.count(L'w'), 1u);
    EXPECT_EQ(contents.count(L'd'), 0u);
}

TEST(Catalog, SuggestionMethodPairs) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA, L"Sugg");
    const std::tuple<uint32_t, uint32_t, bool> pairs[] = {
        {0, 0, true},    {0, 100, true},     {0, 200, true},    {0, 1000, false},
        {1000, 0, true}, {1000, 100, true},  {1000, 200, true}, {1000, 1000, true},
        {500, 0, false}, {1000, 300, false},
    };
    for (auto [match, sort, accepted] : pairs) {
        SCOPED_TRACE(testing::Message() << match << "/" << sort);
        catalog.setSuggestions(plugin, {plugin.item(L"Before", L"before")}, 1000, 1000);
        qvtest::LogRecords log;
        std::size_t changes =
            catalog.setSuggestions(plugin, {plugin.item(L"After", L"after")}, match, sort);
        EXPECT_EQ(changes, accepted ? 2u : 0u); // one stored, one left over
        EXPECT_EQ(warningCount(log), accepted ? 0u : 1u);
        // Listed unscored (match method 0) or scored: "e" finds either way.
        auto results = searchFor(catalog, L"e");
        EXPECT_EQ(labels(*results), (std::vector<wstr>{accepted ? L"After" : L"Before"}));
    }
    wstr expected = L"Ignoring suggestion from plugin Sugg because the specified match and sort "
                    L"methods combination is invalid (#0 and #1000)";
    qvtest::LogRecords log;
    catalog.setSuggestions(plugin, {}, 0, 1000);
    EXPECT_EQ(log.matching(Logger::Warning, expected).size(), 1u);
}

TEST(Catalog, SetSuggestionsKeepsOrderAndObjects) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto x = plugin.item(L"X", L"x"), y = plugin.item(L"Y", L"y"), z = plugin.item(L"Z", L"z");
    EXPECT_EQ(catalog.setSuggestions(plugin, {z, x, y}, 0, 0), 3u);
    EXPECT_EQ(host->takeTimers(), (std::vector{searchTimer}));
    EXPECT_EQ(labels(*searchFor(catalog, L"")), (std::vector<wstr>{L"Z", L"X", L"Y"}));

    // The same items again, as other objects: the stored ones stay, in place.
    EXPECT_EQ(
        catalog.setSuggestions(plugin, {plugin.item(L"Z", L"z"), plugin.item(L"X", L"x")}, 0, 0),
        3u); // two kept, Y left over
    auto results = searchFor(catalog, L"");
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"Z", L"X"}));
    EXPECT_EQ((*results)[0]->item(), z);

    // Only one error item per plugin.
    auto error1 = std::make_shared<CatalogItem>(pluginA, CatalogItem::error, L"E1", L"", L"", 0,
                                                false, 0, 0, L"");
    auto error2 = std::make_shared<CatalogItem>(pluginA, CatalogItem::error, L"E2", L"", L"e2", 0,
                                                false, 0, 0, L"");
    catalog.setSuggestions(plugin, {error1, error2, x}, 0, 0);
    EXPECT_EQ(labels(*searchFor(catalog, L"")), (std::vector<wstr>{L"E1", L"X"}));
    catalog.setSuggestions(plugin, {error2}, 0, 0);
    EXPECT_EQ(labels(*searchFor(catalog, L"")), (std::vector<wstr>{L"E1"}));

    EXPECT_EQ(catalog.clearPluginSuggestions(pluginA), 1u);
    EXPECT_TRUE(searchFor(catalog, L"")->empty());
    catalog.setSuggestions(plugin, {x}, 0, 0);
    catalog.clearSuggestions();
    EXPECT_TRUE(searchFor(catalog, L"")->empty());
}

TEST(Catalog, BuiltinAndPluginActions) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA, L"Files");
    auto file = plugin.item(L"Notes", L"/tmp/notes.txt", CatalogItem::file);
    auto url = plugin.item(L"Site", L"https://example.org", CatalogItem::url);
    auto command = plugin.item(L"Cmd", L"cmd", CatalogItem::cmdline);
    auto share = std::make_shared<CatalogAction>(pluginA, L"share", L"Share", L"", L"");
    auto mail = std::make_shared<CatalogAction>(pluginA, L"mail", L"Mail", L"", L"");
    auto foreign = std::make_shared<CatalogAction>(pluginB, L"other", L"Other", L"", L"");
    auto nameless = std::make_shared<CatalogAction>(pluginA, L"Bad Name", L"Bad", L"", L"");
    EXPECT_EQ(catalog.setPluginActions(plugin, CatalogItem::file,
                                       {share, foreign, nameless, mail, share}),
              2u);
    EXPECT_EQ(host->takeTimers(), (std::vector{actionsTimer}));
    EXPECT_EQ(catalog.setPluginActions(plugin, CatalogItem::url, {share}), 1u);

    std::vector<CatalogActionPtr> actions;
    EXPECT_EQ(catalog.countItemActions(file), 12u);
    catalog.getItemActions(file, actions);
    std::vector<wstr> names;
    for (const CatalogActionPtr& action : actions)
        names.push_back(action->name());
    EXPECT_EQ(names, (std::vector<wstr>{L"open", L"edit", L"runas", L"openwith", L"explore",
                                        L"explore_resolved_path", L"properties", L"copy_path",
                                        L"copy_resolved_path", L"print", L"share", L"mail"}));
    EXPECT_EQ(actions[0]->pluginId(), CatalogAction::appPluginId);
    CatalogActionPtr open = actions[0];

    actions.clear();
    catalog.getItemActions(url, actions);
    ASSERT_EQ(actions.size(), 4u);
    EXPECT_EQ(actions[0]->name(), L"browse");
    EXPECT_EQ(actions[0]->label(), open->label()); // "Open" both, told apart by name and id
    EXPECT_NE(actions[0]->id(), open->id());
    EXPECT_EQ(actions[3], share);
    EXPECT_EQ(catalog.countItemActions(command), 0u);
    EXPECT_EQ(catalog.countItemActions(plugin.item(L"", L"invalid")), 0u);

    // Clearing one category leaves the others; removing the plugin clears all.
    EXPECT_EQ(catalog.setPluginActions(plugin, CatalogItem::file, {}), 0u);
    EXPECT_EQ(host->takeTimers(), (std::vector{actionsTimer, actionsTimer}));
    EXPECT_EQ(catalog.countItemActions(file), 10u);
    EXPECT_EQ(catalog.countItemActions(url), 4u);
    EXPECT_EQ(catalog.removePluginActions(pluginA), 1u);
    EXPECT_EQ(catalog.removePluginActions(pluginA), 0u);
    EXPECT_EQ(catalog.countItemActions(url), 3u);
    EXPECT_EQ(catalog.setPluginActions(plugin, 0, {share}), 0u);
    FakePlugin unnamed(pluginA, L"");
    EXPECT_EQ(catalog.setPluginActions(unnamed, CatalogItem::file, {share}), 0u);
}

TEST(Catalog, ItemActionsSelectTheLastUsedOne) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto file = plugin.item(L"Notes", L"/tmp/notes.txt", CatalogItem::file);
    std::vector<CatalogActionPtr> actions;
    EXPECT_EQ(catalog.getItemActions(file, actions), 0u); // no hit yet
    ASSERT_EQ(actions[1]->name(), L"edit");
    ASSERT_TRUE(catalog.recordHit(file, actions[1]));
    actions.clear();
    EXPECT_EQ(catalog.getItemActions(file, actions), 1u);

    // The position counts from the start of the vector the actions are added to.
    std::vector<CatalogActionPtr> more{nullptr, nullptr};
    EXPECT_EQ(catalog.getItemActions(file, more), 3u);
}

TEST(Catalog, RecordHitRefusesErrorsAndUsesTheRealOffset) {
    HostScope host;
    host->setKnown({pluginA});
    host->setName(pluginA, L"Pack.Plug");
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto error = std::make_shared<CatalogItem>(pluginA, CatalogItem::error, L"E", L"", L"", 0,
                                               false, 0, 0, L"");
    EXPECT_FALSE(catalog.recordHit(error, nullptr));
    EXPECT_FALSE(catalog.recordHit(plugin.item(L"", L"x"), nullptr));
    auto bad = std::make_shared<CatalogAction>(pluginA, L"BAD", L"Bad", L"", L"");
    EXPECT_FALSE(catalog.recordHit(plugin.item(L"A", L"a"), bad));

    const char* savedTz = std::getenv("TZ");
    std::string restore = savedTz ? savedTz : "";
    const std::pair<const char*, int64_t> zones[] = {
        {"IST-5:30", 19800}, {"EST+5", -18000}, {"UTC0", 0}};
    for (auto [zone, offset] : zones) {
        setenv("TZ", zone, 1);
        tzset();
        wstr name = wstr::fromUtf8(zone);
        auto item = plugin.item(name, name);
        ASSERT_TRUE(catalog.recordHit(item, nullptr));
        Mutex::Lock lock(catalog.mutex());
        const CatalogHistory::Hits& hits = catalog.history().hits();
        auto hit = std::find_if(hits.begin(), hits.end(),
                                [&](const CatalogHistory::HitPtr& h) { return h->item == item; });
        ASSERT_NE(hit, hits.end());
        EXPECT_EQ((*hit)->utcOffset, offset) << zone;
        EXPECT_NEAR((*hit)->time, std::time(nullptr), 5);
    }
    if (savedTz)
        setenv("TZ", restore.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    Mutex::Lock lock(catalog.mutex());
    EXPECT_EQ(catalog.history().hits().size(), 3u);
    EXPECT_EQ(catalog.history().pluginNames(), (std::map<uint64_t, wstr>{{pluginA, L"Pack.Plug"}}));
}

TEST(Catalog, SearchMergesItsSourcesInOrder) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA), suggester(pluginB);
    auto notepad = plugin.item(L"Notepad", L"notepad");
    auto notes = plugin.item(L"Notes", L"notes");
    auto paint = plugin.item(L"Paint", L"paint");
    catalog.insertPluginItems(plugin, {notepad, notes, paint}, true);
    catalog.recordHit(notepad, nullptr);
    catalog.addSearchTerms(L"NOT", notes);
    catalog.setSuggestions(suggester, {suggester.item(L"Note taker", L"nt")}, 1000, 1000);

    auto results = searchFor(catalog, L"  not ");
    // The associated item takes the best history score plus one; Notepad has
    // one hit on top of its fuzzy score.
    EXPECT_EQ(found(*results),
              (std::vector<Found>{
                  {L"Notes", CatalogResult::keyword, 619 + 1 + 1, MatchKind::wordStart},
                  {L"Note taker", CatalogResult::suggestion, 563, MatchKind::wordStart},
                  {L"Notepad", CatalogResult::catalog, 619 + 1, MatchKind::wordStart},
              }));
    // The list is not cut: that is the caller's part. Asking for only the
    // first results in order gives those, and still every result.
    auto firstOnly = std::make_shared<CatalogResults>();
    catalog.search(firstOnly, L"not", nullptr, 1);
    ASSERT_EQ(firstOnly->size(), 3u);
    EXPECT_EQ((*firstOnly)[0]->item(), notes);
    results->truncate(2);
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"Notes", L"Note taker"}));

    // A word match leads, whatever its source; then scores decide.
    EXPECT_EQ(found(*searchFor(catalog, L"note")),
              (std::vector<Found>{
                  {L"Note taker", CatalogResult::suggestion, 594, MatchKind::word},
                  {L"Notes", CatalogResult::catalog, 765, MatchKind::wordStart},
                  {L"Notepad", CatalogResult::catalog, 667 + 1, MatchKind::wordStart},
              }));
}

TEST(Catalog, EmptyTextListsOnlyUnscoredSuggestions) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA), listed(pluginB);
    catalog.insertPluginItems(plugin, {plugin.item(L"Alpha", L"a")}, true);
    catalog.recordHit(plugin.item(L"Alpha", L"a"), nullptr);
    catalog.setSuggestions(plugin, {plugin.item(L"Scored", L"s")}, 1000, 1000);
    catalog.setSuggestions(listed, {listed.item(L"Second", L"2"), listed.item(L"First", L"1")}, 0,
                           0);
    auto results = searchFor(catalog, L" \t");
    EXPECT_EQ(found(*results), (std::vector<Found>{
                                   {L"Second", CatalogResult::suggestion, 0, MatchKind::unscored},
                                   {L"First", CatalogResult::suggestion, 0, MatchKind::unscored},
                               }));
}

TEST(Catalog, ChainedSearchWithEmptyText) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA), other(pluginB);
    auto chain = plugin.item(L"Open", L"open", CatalogItem::cmdline, CatalogItem::required);
    catalog.insertPluginItems(plugin, {chain, plugin.item(L"Other", L"other")}, true);
    auto withX = plugin.item(L"Open", L"open", CatalogItem::cmdline, CatalogItem::required);
    withX->setArgs(L"x", L"");
    catalog.recordHit(withX, nullptr); // also records the item without arguments
    catalog.recordHit(withX, nullptr);
    auto withY = plugin.item(L"Open", L"open", CatalogItem::cmdline, CatalogItem::required);
    withY->setArgs(L"y", L"");
    ASSERT_TRUE(catalog.recordHit(withY, nullptr));
    catalog.setSuggestions(plugin, {plugin.item(L"Hint", L"hint")}, 1000, 1000);
    catalog.setSuggestions(other, {other.item(L"Elsewhere", L"e")}, 1000, 1000);

    auto results = searchFor(catalog, L"", chain);
    // History items of the chain's base id, with their hits as score; the one
    // without the required arguments is dropped. Then every suggestion of the
    // chain item's plugin.
    EXPECT_EQ(found(*results), (std::vector<Found>{
                                   {L"Hint", CatalogResult::suggestion, 0, MatchKind::unscored},
                                   {L"Open", CatalogResult::history, 1, MatchKind::unscored},
                                   {L"Open", CatalogResult::history, 1, MatchKind::unscored},
                               }));
    EXPECT_EQ((*results)[1]->item()->rawArgs(), L"x"); // x is older but ties go by arguments

    // With text, the arguments are matched.
    results = searchFor(catalog, L"y", chain);
    ASSERT_EQ(results->size(), 1u);
    EXPECT_EQ((*results)[0]->item()->rawArgs(), L"y");

    // An invalid chain item gives nothing.
    EXPECT_TRUE(searchFor(catalog, L"", plugin.item(L"", L"bad"))->empty());
}

TEST(Catalog, SuggestionsReplaceEarlierResultsOfTheirItem) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    auto paint = plugin.item(L"Paint", L"paint");
    catalog.insertPluginItems(plugin, {paint, plugin.item(L"Paintbrush", L"brush")}, true);
    catalog.setSuggestions(plugin, {plugin.item(L"Paint", L"paint")}, 0, 0);
    auto results = searchFor(catalog, L"paint");
    EXPECT_EQ(found(*results),
              (std::vector<Found>{
                  {L"Paint", CatalogResult::suggestion, 0, MatchKind::unscored},
                  {L"Paintbrush", CatalogResult::catalog, 630, MatchKind::wordStart},
              }));
    // An item found by both the catalog and the history appears once.
    catalog.clearSuggestions();
    catalog.recordHit(paint, nullptr);
    results = searchFor(catalog, L"paint");
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"Paint", L"Paintbrush"}));
    EXPECT_EQ((*results)[0]->source(), CatalogResult::catalog);
}

TEST(Catalog, MissingFilesWithHitsAreDropped) {
    HostScope host;
    qvtest::TempDir dir;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    wstr present = wstr::fromUtf8(dir.write("present.txt", "x").c_str());
    wstr gone = wstr::fromUtf8(dir.write("gone.txt", "x").c_str());
    wstr neverRun = wstr::fromUtf8((dir.path() / "never.txt").c_str());
    auto a = plugin.item(L"Report present", present, CatalogItem::file);
    auto b = plugin.item(L"Report gone", gone, CatalogItem::file);
    auto c = plugin.item(L"Report never", neverRun, CatalogItem::file);
    catalog.insertPluginItems(plugin, {a, b, c}, true);
    catalog.recordHit(a, nullptr);
    catalog.recordHit(b, nullptr);
    std::filesystem::remove(dir.path() / "gone.txt");

    EXPECT_EQ(labels(*searchFor(catalog, L"report")),
              (std::vector<wstr>{L"Report never", L"Report present"}));
    catalog.setExcludeNonexistentFiles(false, true);
    EXPECT_EQ(searchFor(catalog, L"report")->size(), 3u);
}

TEST(Catalog, KnownPluginsFilterCatalogAndHistory) {
    HostScope host;
    Catalog catalog;
    FakePlugin a(pluginA), b(pluginB);
    catalog.insertPluginItems(a, {a.item(L"Apple", L"a")}, true);
    catalog.insertPluginItems(b, {b.item(L"Apricot", L"b")}, true);
    catalog.recordHit(b.item(L"Apron", L"c"), nullptr);
    EXPECT_EQ(searchFor(catalog, L"ap")->size(), 3u); // nothing known: no filter
    host->setKnown({pluginA});
    EXPECT_EQ(labels(*searchFor(catalog, L"ap")), (std::vector<wstr>{L"Apple"}));
}

// The package manager is asked before the catalog's lock is taken: another
// thread can take that lock while the host is being asked.
TEST(Catalog, PackageManagerIsNeverAskedUnderTheCatalogLock) {
    HostScope host;
    host->setKnown({pluginA});
    host->setName(pluginA, L"P.A");
    Catalog catalog;
    FakePlugin plugin(pluginA);
    catalog.insertPluginItems(plugin, {plugin.item(L"Item", L"i")}, true);
    std::atomic<bool> lockFree = true;
    host->setProbe([&] {
        std::promise<void> locked;
        std::thread other([&] {
            Mutex::Lock lock(catalog.mutex());
            locked.set_value();
        });
        bool free =
            locked.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        lockFree = lockFree && free;
        if (!free)
            other.detach(); // it gets the lock once this call returns
        else
            other.join();
    });
    searchFor(catalog, L"item");
    catalog.recordHit(plugin.item(L"Item", L"i"), nullptr);
    Catalog::Stats stats;
    catalog.getStats(stats);
    host->setProbe(nullptr);
    EXPECT_GE(host->probeCalls(), 4);
    EXPECT_TRUE(lockFree);
}

TEST(Catalog, Statistics) {
    HostScope host;
    host->setKnown({pluginA});
    Catalog catalog;
    FakePlugin a(pluginA), b(pluginB), a2(0x200000002);
    auto x = a.item(L"X", L"x"), y = a2.item(L"Y", L"y"), z = b.item(L"Z", L"z");
    catalog.insertPluginItems(a, {x}, true);
    catalog.insertPluginItems(a2, {y}, true);
    catalog.recordHit(x, nullptr);
    catalog.recordHit(z, nullptr);
    catalog.addSearchTerms(L"t", x);
    catalog.addSearchTerms(L"t", y); // not in the history: no records of its own there
    catalog.addSearchTerms(L"u", z);

    Catalog::Stats stats;
    catalog.getStats(stats);
    EXPECT_EQ(stats.totalCatalogItems, 2u);
    EXPECT_EQ(stats.totalHistoryItems, 2u);
    EXPECT_EQ(stats.totalKeywords, 2u);
    EXPECT_EQ(stats.totalKwAssocItems, 3u);
    EXPECT_EQ(stats.totalHits, 2u);
    EXPECT_EQ(stats.orphans, 1u); // z: its plugin is not loaded
    const Catalog::Stats::Counters& pa = stats.plugins[pluginA];
    EXPECT_EQ(pa.catalogItems, 1u);
    EXPECT_EQ(pa.historyItems, 1u);
    EXPECT_EQ(pa.keywordEntries, 1u);
    EXPECT_EQ(pa.terms, 1u);
    EXPECT_EQ(pa.hits, 1u);
    const Catalog::Stats::Counters& package2 = stats.packages[2];
    EXPECT_EQ(package2.catalogItems, 2u);
    EXPECT_EQ(package2.keywordEntries, 2u);
    EXPECT_EQ(package2.terms, 2u); // once per plugin of the package in the term
    EXPECT_EQ(stats.packages[3].hits, 1u);
    EXPECT_FALSE(stats.firstHit.empty());
    EXPECT_GE(stats.historySpan, 0);
}

TEST(Catalog, ErasingHistoryResetsHitCounts) {
    HostScope host;
    Catalog catalog;
    FakePlugin a(pluginA), b(pluginB);
    auto x = a.item(L"X", L"x"), y = b.item(L"Y", L"y");
    catalog.insertPluginItems(a, {x}, true);
    catalog.setSuggestions(b, {y}, 1000, 1000);
    catalog.recordHit(x, nullptr);
    catalog.recordHit(y, nullptr);
    EXPECT_TRUE(catalog.historyHasItem(x));
    EXPECT_TRUE(catalog.historyHasPackage(3));

    catalog.eraseHistoryPackage(1); // nothing for the application's package
    EXPECT_EQ(y->hitCount(), 1u);
    catalog.eraseHistoryPackage(3);
    EXPECT_EQ(y->hitCount(), 0u);
    EXPECT_FALSE(catalog.historyHasPackage(3));
    EXPECT_EQ(x->hitCount(), 1u);

    catalog.eraseHistoryItem(a.item(L"X", L"x"));
    EXPECT_EQ(x->hitCount(), 0u);
    EXPECT_FALSE(catalog.historyHasItem(x));

    catalog.recordHit(x, nullptr);
    catalog.addSearchTerms(L"ex", x);
    EXPECT_EQ(catalog.getHistoryTerms(x), L"ex");
    catalog.clearHistory();
    EXPECT_EQ(x->hitCount(), 0u);
    EXPECT_EQ(catalog.getHistoryTerms(x), L"");
}

// An erasure writes the history file: the plugin names known by then are
// written too, not the bare ids the earlier writes had to use.
TEST(Catalog, ErasingHistoryWritesThePluginNamesKnownNow) {
    for (bool byPackage : {false, true}) {
        HostScope host;
        host->setKnown({pluginA, pluginB});
        qvtest::TempDir dir;
        const std::filesystem::path path = dir.path() / "history.json";
        Catalog catalog;
        catalog.loadHistoryFile(wstr::fromUtf8(path.string().c_str()));
        FakePlugin a(pluginA), b(pluginB);
        auto kept = a.item(L"Kept", L"k"), gone = b.item(L"Gone", L"g");
        ASSERT_TRUE(catalog.recordHit(kept, nullptr));
        ASSERT_TRUE(catalog.recordHit(gone, nullptr));
        host->setName(pluginA, L"Pack.Plug");
        if (byPackage)
            catalog.eraseHistoryPackage(3);
        else
            catalog.eraseHistoryItem(gone);
        std::ifstream file(path);
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("\"Pack.Plug\""), std::string::npos) << "by package " << byPackage;
        EXPECT_EQ(text.find("Gone"), std::string::npos);
    }
}

TEST(Catalog, NotifyingWithoutApplicationDoesNothing) {
    Catalog::notifyChanged(Catalog::searchChanged);
    Catalog catalog;
    FakePlugin plugin(pluginA);
    EXPECT_EQ(catalog.insertPluginItems(plugin, {plugin.item(L"A", L"a")}, true), 1u);
    EXPECT_EQ(searchFor(catalog, L"a")->size(), 1u);
}

} // namespace
