#include "catalog/Catalog.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogResults.h"
#include "core/MemWriter.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qvtest::FakePlugin;
using qvtest::HostScope;
using qvtest::LogRecords;

constexpr uint64_t kPlugin = 0x200000001;

class CatalogFilesTest : public ::testing::Test {
protected:
    wstr historyPath() const { return qvtest::widePath(history_); }
    wstr cachePath() const { return qvtest::widePath(cache_); }

    size_t hitsInFile() const {
        Catalog other;
        return other.loadHistoryFile(historyPath());
    }

    qvtest::TempDir dir_;
    fs::path history_ = dir_.path() / "Quorvalent.history";
    fs::path cache_ = dir_.path() / "Quorvalent.host.qvdict";
    HostScope host_;
    qvtest::RecordingMessageBox::Installed boxes_;
    FakePlugin plugin_{kPlugin, L"Web.Search"};
};

TEST_F(CatalogFilesTest, TheHistoryFileFollowsEveryHitAndErasure) {
    Catalog catalog;
    EXPECT_EQ(catalog.loadHistoryFile(historyPath()), 0u);
    EXPECT_FALSE(fs::exists(history_));

    CatalogItemPtr home = plugin_.item(L"Home", L"https://home.example/");
    ASSERT_TRUE(catalog.recordHit(home, nullptr));
    EXPECT_EQ(hitsInFile(), 1u) << "written at once";
    ASSERT_TRUE(catalog.recordHit(plugin_.item(L"News", L"https://news.example/"), nullptr));
    LogRecords log;
    EXPECT_EQ(hitsInFile(), 2u);
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Info, L"Loaded 2 items from history file.").size(),
              1u);

    catalog.eraseHistoryItem(home);
    EXPECT_EQ(hitsInFile(), 1u);
    catalog.clearHistory();
    EXPECT_FALSE(fs::exists(history_));
}

TEST_F(CatalogFilesTest, ClearingAHistoryThatFailedToLoadKeepsItsFile) {
    qvtest::writeBytes(history_, "{ broken");
    Catalog catalog;
    catalog.loadHistoryFile(historyPath());
    catalog.clearHistory();
    size_t aside = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path()))
        aside += entry.path().extension() == ".bad" ? 1 : 0;
    EXPECT_EQ(aside, 1u);
    EXPECT_FALSE(fs::exists(history_));
}

TEST_F(CatalogFilesTest, TheCacheFileFillsTheCatalogWithTheHistorysObjects) {
    Catalog catalog;
    EXPECT_FALSE(catalog.loadCatalogFile(cachePath()));

    CatalogItemPtr home = plugin_.item(L"Home", L"https://home.example/");
    ASSERT_TRUE(catalog.recordHit(home, nullptr));
    CatalogFile::ItemSet cached{plugin_.item(L"Home", L"https://home.example/"),
                                plugin_.item(L"News", L"https://news.example/")};
    ASSERT_TRUE(CatalogFile::write(cachePath(), cached));
    LogRecords log;
    EXPECT_TRUE(catalog.loadCatalogFile(cachePath()));
    EXPECT_EQ(catalog.itemCount(), 2u);
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Info, L"Loaded 2 items from catalog file.").size(),
              1u);

    auto results = std::make_shared<CatalogResults>();
    catalog.search(results, L"home", nullptr);
    ASSERT_FALSE(results->empty());
    EXPECT_EQ((*results)[0]->item(), home) << "the executed object, with its hit count";
}

TEST_F(CatalogFilesTest, ACacheFolderIsAnError) {
    fs::create_directory(cache_);
    Catalog catalog;
    try {
        catalog.loadCatalogFile(cachePath());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Could not read Catalog from: " + cache_.string() + " (error: not a file)");
    }
}

TEST_F(CatalogFilesTest, TheWriterSavesThePluginsItemsOnceNoCatalogMessageIsPending) {
    qvtest::ScriptedWait clock;
    {
        Catalog catalog;
        catalog.loadCatalogFile(cachePath());
        catalog.startWriter({CatalogWriter::quietPeriodMs, clock.function()});
        ASSERT_EQ(clock.nth(1), Platform::INFINITE);
        host_->setPendingCatalogMessages(1);
        catalog.insertPluginItems(plugin_,
                                  {plugin_.item(L"Home", L"https://home.example/"),
                                   plugin_.item(L"News", L"https://news.example/")},
                                  true);
        EXPECT_EQ(clock.nth(2), 5000u);
        clock.elapse();
        EXPECT_EQ(clock.nth(3), 5000u);
        EXPECT_FALSE(fs::exists(cache_));

        host_->setPendingCatalogMessages(0);
        clock.elapse();
        EXPECT_EQ(clock.nth(4), Platform::INFINITE);
        EXPECT_EQ(catalog.dirtyTime(), 0u);
        catalog.stopWriter();
    }
    Catalog next;
    EXPECT_TRUE(next.loadCatalogFile(cachePath()));
    EXPECT_EQ(next.itemCount(), 2u);
}

TEST_F(CatalogFilesTest, ACatalogGoingAwayStopsItsWriterWithoutWriting) {
    qvtest::ScriptedWait clock;
    {
        Catalog catalog;
        catalog.loadCatalogFile(cachePath());
        catalog.startWriter({CatalogWriter::quietPeriodMs, clock.function()});
        catalog.insertPluginItems(plugin_, {plugin_.item(L"Home", L"https://home.example/")}, true);
        EXPECT_EQ(clock.nth(2), 5000u);
    }
    EXPECT_FALSE(fs::exists(cache_));
}

// One record of the cache file as bytes, so that a file may hold what the
// writer never writes (texts not cleaned, targets not canonical, invalid
// UTF-8, hints out of range, duplicate ids, ids out of order).
struct RawItem {
    uint64_t plugin;
    uint32_t category, argsHint, hitHint;
    uint8_t loop;
    std::string label, target, shortDesc, rawArgs, shownArgs, dataBag;
};

constexpr uint64_t kUnloadedPlugin = 0x900000002;

std::string cacheImage(const std::vector<RawItem>& items) {
    std::string payload = "ITMS";
    auto put = [&payload](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            payload += static_cast<char>(value >> (8 * i));
    };
    auto text = [&](const std::string& bytes) {
        put(bytes.size(), 4);
        payload += bytes;
    };
    put(items.size(), 4);
    for (const RawItem& item : items) {
        payload += "ITEM";
        put(item.plugin, 8);
        put(item.category, 4);
        put(item.argsHint, 4);
        put(item.hitHint, 4);
        put(item.loop, 1);
        for (const std::string* field : {&item.label, &item.target, &item.shortDesc, &item.rawArgs,
                                         &item.shownArgs, &item.dataBag})
            text(*field);
    }
    std::vector<uint8_t> image;
    EXPECT_TRUE(CatalogFile::buildImage(reinterpret_cast<const uint8_t*>(payload.data()),
                                        payload.size(), image));
    return std::string(image.begin(), image.end());
}

void expectSameItem(const CatalogItem& a, const CatalogItem& b) {
    SCOPED_TRACE(wstr::toUtf8(a.label()));
    EXPECT_EQ(a.id(), b.id());
    EXPECT_EQ(a.baseId(), b.baseId());
    EXPECT_EQ(a.pluginId(), b.pluginId());
    EXPECT_EQ(a.category(), b.category());
    EXPECT_EQ(a.label(), b.label());
    EXPECT_EQ(a.shortDesc(), b.shortDesc());
    EXPECT_EQ(a.target(), b.target());
    EXPECT_EQ(a.argsHint(), b.argsHint());
    EXPECT_EQ(a.hitHint(), b.hitHint());
    EXPECT_EQ(a.loopOnSuggest(), b.loopOnSuggest());
    EXPECT_EQ(a.iconHandle(), b.iconHandle());
    EXPECT_EQ(a.dataBag(), b.dataBag());
    EXPECT_EQ(a.rawArgs(), b.rawArgs());
    EXPECT_EQ(a.displayArgsField(), b.displayArgsField());
    EXPECT_EQ(a.lowerDisplayedArgs(), b.lowerDisplayedArgs());
    EXPECT_EQ(a.composedText(), b.composedText());
    EXPECT_EQ(a.lowerComposedText(), b.lowerComposedText());
    EXPECT_EQ(a.hasArgs(), b.hasArgs());
    EXPECT_EQ(a.hitCount(), b.hitCount());
    EXPECT_EQ(a.changes(), b.changes());
}

// The catalog's loader against the plain one it replaces: the set of the
// file's items, each stored as a plugin's item.
TEST_F(CatalogFilesTest, LoadingTheCacheGivesWhatStoringEachItemGives) {
    const RawItem file = {
        kPlugin, CatalogItem::file, CatalogItem::forbidden, 0, 0, "", "", "", "", "", ""};
    const RawItem url = {kPlugin, CatalogItem::url, CatalogItem::accepted, 0, 1, "", "", "", "", "",
                         ""};
    auto with = [](RawItem item, std::string label, std::string target) {
        item.label = std::move(label);
        item.target = std::move(target);
        return item;
    };
    std::vector<RawItem> raw = {
        with(url, "Home", "https://home.example/"),
        with(file,
             "\xc3\x9c"
             "n\xc3\xaf"
             "c\xc3\xb8"
             "d\xc3\xa9 \xe2\x9c\x93 Stra\xc3\x9f"
             "e",
             "/usr/bin/../bin/./env"),
        with(file, " \t News\x01\tFeed \t ", "//Home//User/Doc.TXT/"),
        with(file, "lower \xf0\x9f\x98\x80 only", "relative/../x/"),
        with(file, "Bad \xff\xfe bytes", "/bad/\xc3"),
        with(url, "Home again", "https://home.example/"),          // same id: the first stays
        with(url, "", "https://empty-first.example/"),             // invalid first of its id...
        with(url, "Valid second", "https://empty-first.example/"), // ...hides this one
        with(url, "Hinted", "https://hinted.example/"),
        with(url, "Stored before", "https://stored.example/"),
        with(url, "Executed", "https://executed.example/"),
        with(url, "Search", "https://search.example/?q="),
        with(url, "No plugin", "0"),
        with(url, "Args ignored", "https://forbidden.example/"),
        with(url, "Blank args", "https://blank.example/"),
        with(url, "With args", "https://args.example/"),
        with(url, "Hint 3", "https://hint3.example/"),
        with(url, "Hit hint 9", "https://hit9.example/"),
        with(url, "No target", ""),
        with(url, "\t\x02 ", "https://no-label.example/"),
        with(url, "Failed", ""),
        with(url, "Category 0", "https://c0.example/"),
        with(url, "Category max", "https://cmax.example/"),
        with(url, "Plugin 0", "https://p0.example/"),
        with(url, "Custom", "custom:1"),
    };
    auto find = [&raw](const std::string& label) -> RawItem& {
        for (RawItem& item : raw) {
            if (item.label == label)
                return item;
        }
        throw std::logic_error(label);
    };
    find("Home").shortDesc = "  Start\tpage ";
    find("Home").dataBag = std::string("k=v\0z", 5);
    find("Hinted").argsHint = CatalogItem::required;
    find("Hinted").hitHint = CatalogItem::noargs;
    find("Hinted").loop = 7;
    find("No plugin").plugin = kUnloadedPlugin;
    find("Args ignored").argsHint = CatalogItem::forbidden;
    find("Args ignored").rawArgs = "x";
    find("Blank args").rawArgs = " \t ";
    find("Blank args").shownArgs = "Shown";
    find("With args").rawArgs = "  kittens ";
    find("With args").shownArgs = "Kittens!";
    find("Hint 3").argsHint = 3;
    find("Hit hint 9").hitHint = 9;
    find("Failed").category = CatalogItem::error;
    find("Category 0").category = 0;
    find("Category max").category = 0xFFFFFFFF;
    find("Plugin 0").plugin = 0;
    find("Custom").category = 1001;
    find("Custom").hitHint = CatalogItem::ignore;
    qvtest::writeBytes(cache_, cacheImage(raw));

    // The same start for both: executed items in the history (one with
    // arguments, of the base id of a file's item), and an item stored before
    // or none (the catalog's usual start).
    auto prepare = [this](Catalog& catalog, bool storedBefore) {
        if (storedBefore)
            catalog.insertPluginItems(
                plugin_, {plugin_.item(L"Stored first", L"https://stored.example/")}, false);
        ASSERT_TRUE(catalog.recordHit(plugin_.item(L"Run", L"https://executed.example/"), nullptr));
        CatalogItemPtr query = plugin_.item(L"Query", L"https://search.example/?q=");
        query->setArgs(L"cats", L"");
        ASSERT_TRUE(catalog.recordHit(query, nullptr));
    };
    for (bool storedBefore : {false, true}) {
        SCOPED_TRACE(storedBefore ? "an item stored before" : "an empty catalog");
        Catalog reference;
        prepare(reference, storedBefore);
        std::vector<std::wstring> referenceWarnings;
        CatalogFile::ItemSet set;
        {
            LogRecords log;
            ASSERT_TRUE(CatalogFile::read(cachePath(), set));
            referenceWarnings = qvtest::messagesWith(log, Logger::Warning, L"");
        }
        std::map<uint64_t, std::vector<CatalogItemPtr>> byPlugin;
        for (const CatalogItemPtr& item : set)
            byPlugin[item->pluginId()].push_back(item);
        for (const auto& [pluginId, items] : byPlugin) {
            FakePlugin plugin(pluginId);
            reference.insertPluginItems(plugin, items, false);
        }

        Catalog loaded;
        prepare(loaded, storedBefore);
        LogRecords log;
        ASSERT_TRUE(loaded.loadCatalogFile(cachePath()));
        EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning, L""), referenceWarnings);
        ASSERT_EQ(qvtest::messagesWith(log, Logger::Warning, L"Ignoring 9 invalid items").size(),
                  1u);

        std::vector<CatalogItemPtr> expected = reference.items().sortedItems();
        std::vector<CatalogItemPtr> got = loaded.items().sortedItems();
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_EQ(got.size(), set.size()) << "the item stored before takes the file's one";
        std::set<wchar_t> chars;
        for (std::size_t i = 0; i < got.size(); ++i) {
            expectSameItem(*expected[i], *got[i]);
            EXPECT_EQ(loaded.history().items().find(got[i]->id()) == got[i],
                      reference.history().items().find(expected[i]->id()) == expected[i])
                << "the history's object";
            for (wchar_t ch : got[i]->lowerComposedText())
                chars.insert(ch);
        }
        // What the store counted of each item's characters, by the searches.
        std::vector<wstr> queries = {L"home", L"stra\u00dfe", L"kit", L"zz", L"\U0001F600"};
        for (wchar_t ch : chars)
            queries.push_back(wstr(1, ch));
        for (const wstr& query : queries) {
            SCOPED_TRACE(wstr::toUtf8(query));
            auto a = std::make_shared<CatalogResults>(), b = std::make_shared<CatalogResults>();
            reference.search(a, query, nullptr);
            loaded.search(b, query, nullptr);
            ASSERT_EQ(b->totalCount(), a->totalCount());
            ASSERT_EQ(b->size(), a->size());
            for (std::size_t i = 0; i < a->size(); ++i) {
                EXPECT_EQ((*b)[i]->item()->id(), (*a)[i]->item()->id());
                EXPECT_EQ((*b)[i]->score(), (*a)[i]->score());
                EXPECT_EQ((*b)[i]->kind(), (*a)[i]->kind());
            }
        }
    }
}

} // namespace
