#include "catalog/Catalog.h"
#include "catalog/CatalogFile.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

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
        catalog.insertPluginItems(plugin_, {plugin_.item(L"Home", L"https://home.example/")},
                                  true);
        EXPECT_EQ(clock.nth(2), 5000u);
    }
    EXPECT_FALSE(fs::exists(cache_));
}

} // namespace
