#include "catalog/CatalogWriter.h"
#include "catalog/CatalogFile.h"
#include "core/Mutex.h"
#include "platform/Error.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Platform::INFINITE;

// The part of a catalog the writer sees: its lock, items, dirty event and
// the package manager's pending catalog messages.
struct FakeCatalog {
    FakeCatalog() {
        items.push_back(std::make_shared<CatalogItem>(
            7, CatalogItem::url, L"Home", L"", L"https://home.example/", CatalogItem::accepted,
            false, CatalogItem::keepall, 0, L""));
    }

    CatalogWriter::Source source() {
        return {dirty.handle(), [this] { return !catalogMessagesPending; },
                [this](MemWriter& out) {
                    snapshotStarted.set();
                    if (duringSnapshot)
                        duringSnapshot();
                    Mutex::Lock lock(mutex);
                    ++snapshots;
                    CatalogFile::writeItems(out, items);
                }};
    }

    Mutex mutex;
    std::vector<CatalogItemPtr> items;
    Event dirty{true};
    Event snapshotStarted{false};
    std::function<void()> duringSnapshot;
    std::atomic<bool> catalogMessagesPending{false};
    std::atomic<int> snapshots{0};
};

class CatalogWriterTest : public ::testing::Test {
protected:
    CatalogWriter::Options scripted() { return {CatalogWriter::quietPeriodMs, clock_.function()}; }
    wstr path() const { return qvtest::widePath(file_); }

    size_t itemsInFile() const {
        CatalogFile::ItemSet items;
        return CatalogFile::read(path(), items) ? items.size() : 0;
    }

    qvtest::TempDir dir_;
    fs::path file_ = dir_.path() / "Quorvalent.host.qvdict";
    qvtest::ScriptedWait clock_;
    FakeCatalog catalog_;
};

TEST_F(CatalogWriterTest, ABurstOfChangesIsWrittenOnceAfterTheQuietPeriod) {
    CatalogWriter writer;
    writer.start(path(), catalog_.source(), scripted());
    EXPECT_EQ(clock_.nth(1), INFINITE);
    // Ten changes, each within the quiet period of the one before: each
    // restarts the period and nothing is written.
    for (size_t change = 1; change <= 10; ++change) {
        catalog_.dirty.set();
        EXPECT_EQ(clock_.nth(change + 1), 5000u);
    }
    EXPECT_EQ(catalog_.snapshots, 0);
    EXPECT_FALSE(fs::exists(file_));

    clock_.elapse();
    EXPECT_EQ(clock_.nth(12), INFINITE);
    EXPECT_EQ(catalog_.snapshots, 1);
    EXPECT_EQ(itemsInFile(), 1u);
}

TEST_F(CatalogWriterTest, WritesOnlyOnceTheQuietPeriodHasReallyPassed) {
    qvtest::ScriptedWait realClock(true);
    CatalogWriter writer;
    writer.start(path(), catalog_.source(), {150, realClock.function()});
    ASSERT_EQ(realClock.nth(1), INFINITE);
    const auto changed = std::chrono::steady_clock::now();
    catalog_.dirty.set();
    ASSERT_EQ(catalog_.snapshotStarted.wait(10000), Platform::WAIT_OBJECT_0);
    EXPECT_GE(std::chrono::steady_clock::now() - changed, 150ms);
    EXPECT_EQ(realClock.nth(3), INFINITE);
    EXPECT_EQ(itemsInFile(), 1u);
}

TEST_F(CatalogWriterTest, APendingCatalogMessagePostponesTheWrite) {
    CatalogWriter writer;
    writer.start(path(), catalog_.source(), scripted());
    catalog_.catalogMessagesPending = true;
    catalog_.dirty.set();
    EXPECT_EQ(clock_.nth(2), 5000u);
    clock_.elapse();
    EXPECT_EQ(clock_.nth(3), 5000u) << "tried again after another quiet period";
    EXPECT_EQ(catalog_.snapshots, 0);

    catalog_.catalogMessagesPending = false;
    clock_.elapse();
    EXPECT_EQ(clock_.nth(4), INFINITE);
    EXPECT_EQ(catalog_.snapshots, 1);
    EXPECT_EQ(itemsInFile(), 1u);
}

TEST_F(CatalogWriterTest, AStopDuringTheQuietPeriodWritesNothing) {
    CatalogWriter writer;
    writer.start(path(), catalog_.source(), scripted());
    catalog_.dirty.set();
    EXPECT_EQ(clock_.nth(2), 5000u);
    writer.stop();
    EXPECT_FALSE(writer.running());
    EXPECT_EQ(catalog_.snapshots, 0);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(CatalogWriterTest, AChangeDuringAWriteLeadsToASecondWrite) {
    CatalogWriter writer;
    catalog_.duringSnapshot = [this] {
        if (catalog_.snapshots == 0)
            catalog_.dirty.set();
    };
    writer.start(path(), catalog_.source(), scripted());
    catalog_.dirty.set();
    EXPECT_EQ(clock_.nth(2), 5000u);
    clock_.elapse();
    // Back to waiting without a time-out, the change wakes it at once.
    EXPECT_EQ(clock_.nth(3), INFINITE);
    EXPECT_EQ(clock_.nth(4), 5000u);
    EXPECT_EQ(catalog_.snapshots, 1);
    clock_.elapse();
    EXPECT_EQ(clock_.nth(5), INFINITE);
    EXPECT_EQ(catalog_.snapshots, 2);
}

TEST_F(CatalogWriterTest, AFailedWriteIsLoggedOnceAndRetried) {
    file_ = dir_.path() / "Local" / "Quorvalent.host.qvdict";
    CatalogWriter writer;
    writer.start(path(), catalog_.source(), scripted());
    qvtest::LogRecords log;
    catalog_.dirty.set();
    EXPECT_EQ(clock_.nth(2), 5000u);
    clock_.elapse();
    EXPECT_EQ(clock_.nth(3), 5000u);
    clock_.elapse();
    EXPECT_EQ(clock_.nth(4), 5000u);
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning, L"Failed to write catalog file " + path())
                  .size(),
              1u);

    fs::create_directory(dir_.path() / "Local");
    clock_.elapse();
    EXPECT_EQ(clock_.nth(5), INFINITE);
    EXPECT_EQ(itemsInFile(), 1u);
    EXPECT_EQ(catalog_.snapshots, 3);
}

TEST_F(CatalogWriterTest, AStopAskedDuringTheSnapshotWritesNothing) {
    CatalogWriter writer;
    // The snapshot goes on only once the stop has been asked.
    catalog_.duringSnapshot = [] { Thread::currentStopEvent()->wait(INFINITE); };
    writer.start(path(), catalog_.source(), scripted());
    catalog_.dirty.set();
    EXPECT_EQ(clock_.nth(2), 5000u);
    clock_.elapse();
    ASSERT_EQ(catalog_.snapshotStarted.wait(10000), Platform::WAIT_OBJECT_0);

    writer.stop();
    EXPECT_FALSE(writer.running());
    EXPECT_EQ(catalog_.snapshots, 1);
    EXPECT_FALSE(fs::exists(file_));
}

} // namespace
