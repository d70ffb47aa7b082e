#include "files/FileMonitor.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Kind = FileMonitor::Kind;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

struct Seen {
    uint32_t kind;
    wstr path;
    wstr oldName = {};
    bool operator==(const Seen&) const = default;
};

[[maybe_unused]] std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    return out << seen.kind << ":" << wstr::toUtf8(seen.path) << "<" << wstr::toUtf8(seen.oldName);
}

class FileMonitorTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    fs::path root = dir.path() / "root";
    std::shared_ptr<FileMonitor> monitor = std::make_shared<FileMonitor>();
    Event consumer{true};
    std::vector<Seen> seen;
    uint32_t id = 0;

    void SetUp() override {
        fs::create_directories(root / "sub1");
        fs::create_directories(root / "sub2");
        id = monitor->addDir(wide(root), consumer.handle());
        ASSERT_NE(id, 0u);
    }

    void TearDown() override { monitor->stop(); }

    // Collects events until the predicate holds for what was seen, at most 5 s.
    bool waitUntil(const std::function<bool()>& done) {
        return qvtest::waitOn(
            consumer,
            [&] {
                for (const auto& event : monitor->fetchEvents({id}))
                    seen.push_back({event->kind, event->path, event->oldName});
                return done();
            },
            std::chrono::seconds(5));
    }

    bool waitFor(const Seen& event) {
        return waitUntil([&] { return std::find(seen.begin(), seen.end(), event) != seen.end(); });
    }

    size_t count(const Seen& event) const { return std::count(seen.begin(), seen.end(), event); }
};

TEST_F(FileMonitorTest, CreateWriteDelete) {
    dir.write("root/a.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"a.txt"}));
    dir.write("root/a.txt", "22");
    ASSERT_TRUE(waitFor({Kind::Modified, L"a.txt"}));
    fs::remove(root / "a.txt");
    ASSERT_TRUE(waitFor({Kind::Removed, L"a.txt"}));
}

TEST_F(FileMonitorTest, RenameInOneFolderIsOneEvent) {
    dir.write("root/sub1/a.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"sub1/a.txt"}));
    fs::rename(root / "sub1/a.txt", root / "sub1/b.txt");
    ASSERT_TRUE(waitFor({Kind::Renamed, L"sub1/b.txt", L"a.txt"}));
    EXPECT_EQ(count({Kind::Removed, L"sub1/a.txt"}), 0u);
}

TEST_F(FileMonitorTest, RenameAcrossFoldersIsRemovedThenAdded) {
    dir.write("root/sub1/a.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"sub1/a.txt"}));
    fs::rename(root / "sub1/a.txt", root / "sub2/a.txt");
    ASSERT_TRUE(waitFor({Kind::Added, L"sub2/a.txt"}));
    auto removed = std::find(seen.begin(), seen.end(), Seen{Kind::Removed, L"sub1/a.txt"});
    auto added = std::find(seen.begin(), seen.end(), Seen{Kind::Added, L"sub2/a.txt"});
    EXPECT_LT(removed, added);
    for (const auto& event : seen)
        EXPECT_NE(event.kind, Kind::Renamed);
}

TEST_F(FileMonitorTest, MovingOutAndInOfTheTree) {
    dir.write("root/sub1/out.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"sub1/out.txt"}));
    fs::rename(root / "sub1/out.txt", dir.path() / "out.txt");
    ASSERT_TRUE(waitFor({Kind::Removed, L"sub1/out.txt"}));
    // A tree made outside and moved in is reported with what it holds.
    dir.write("ready/inner/f.txt", "f");
    fs::rename(dir.path() / "ready", root / "ready");
    ASSERT_TRUE(waitFor({Kind::Added, L"ready/inner/f.txt"}));
    EXPECT_EQ(count({Kind::Added, L"ready"}), 1u);
    dir.write("root/ready/inner/g.txt", "g");
    ASSERT_TRUE(waitFor({Kind::Added, L"ready/inner/g.txt"}));
}

TEST_F(FileMonitorTest, NewSubfolderIsWatchedAtOnce) {
    fs::create_directories(root / "new" / "deeper");
    dir.write("root/new/deeper/x.txt", "x");
    ASSERT_TRUE(waitFor({Kind::Added, L"new/deeper/x.txt"}));
    fs::rename(root / "new", root / "renamed");
    ASSERT_TRUE(waitFor({Kind::Renamed, L"renamed", L"new"}));
    dir.write("root/renamed/deeper/y.txt", "y");
    ASSERT_TRUE(waitFor({Kind::Added, L"renamed/deeper/y.txt"}));
}

TEST_F(FileMonitorTest, DeletedRootClosesTheWatch) {
    fs::remove_all(root);
    ASSERT_TRUE(waitFor({Kind::WatchClosed, wide(root)}));
}

TEST_F(FileMonitorTest, RemoveStopAndStartAgain) {
    EXPECT_EQ(monitor->addDir(wide(dir.path() / "missing"), consumer.handle()), 0u);
    monitor->removeDir({id});
    ASSERT_TRUE(waitFor({Kind::WatchRemoved, wide(root)}));
    // With no watch left the thread ends by itself; a new watch starts it again.
    id = monitor->addDir(wide(root), consumer.handle());
    ASSERT_NE(id, 0u);
    dir.write("root/again.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"again.txt"}));

    auto started = std::chrono::steady_clock::now();
    monitor->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7));
    seen.clear();
    id = monitor->addDir(wide(root), consumer.handle());
    dir.write("root/after-stop.txt", "1");
    ASSERT_TRUE(waitFor({Kind::Added, L"after-stop.txt"}));
}

TEST(FileMonitorRequests, NoWatchIsLostWhileTheThreadComesAndGoes) {
    qvtest::TempDir dir;
    FileMonitor monitor;
    Event consumer(true);
    for (int round = 0; round < 200; ++round) {
        uint32_t id = monitor.addDir(wide(dir.path()), consumer.handle());
        ASSERT_NE(id, 0u);
        monitor.removeDir({id});
        // The removal is served, so the thread saw the request.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool removed = false;
        while (!removed && std::chrono::steady_clock::now() < deadline) {
            for (const auto& event : monitor.fetchEvents({id}))
                removed |= event->kind == Kind::WatchRemoved;
            if (!removed)
                consumer.wait(100);
        }
        ASSERT_TRUE(removed) << "round " << round;
    }
}

// A stop that comes while a late addDir launches the monitor thread: stop
// must take the thread addDir launched (under the lock that addDir holds) and
// end it, or that thread would be left serving after the stop.
TEST(FileMonitorRequests, StopDuringALaunchEndsTheLaunchedThread) {
    qvtest::TempDir dir;
    FileMonitor monitor;
    Event consumer(true);
    Event launching(false);
    Event proceed(false);
    bool first = true;
    monitor.setLaunchHook([&] {
        if (!std::exchange(first, false))
            return;
        launching.set();
        proceed.wait(Platform::INFINITE);
    });
    std::atomic<uint32_t> lateId{0};
    std::thread adder([&] { lateId = monitor.addDir(wide(dir.path()), consumer.handle()); });
    ASSERT_EQ(launching.wait(5000), Platform::WAIT_OBJECT_0);
    std::thread stopper([&] { monitor.stop(); });
    proceed.set();
    stopper.join();
    adder.join();
    EXPECT_NE(lateId.load(), 0u);

    // The monitor is whole: the next watch starts a new thread that serves it.
    uint32_t id = monitor.addDir(wide(dir.path()), consumer.handle());
    ASSERT_NE(id, 0u);
    dir.write("after.txt", "1");
    bool added = qvtest::waitOn(
        consumer,
        [&] {
            for (const auto& event : monitor.fetchEvents({id}))
                if (event->kind == Kind::Added && event->path == L"after.txt")
                    return true;
            return false;
        },
        std::chrono::seconds(5));
    EXPECT_TRUE(added);
    monitor.stop();
}

// What watchPastTheLimit's child reports by its exit code.
constexpr int limitUnavailable = 77; // no user namespace to lower the limit in

// The warnings logged since the start of the record that name the limit and
// lie below the folder.
int limitWarnings(const qvtest::LogRecords& log, const fs::path& folder) {
    int warnings = 0;
    for (const auto& item : log.all()) {
        const std::string text = wstr::toUtf8(item->message);
        warnings += item->level == Logger::Warning &&
                    text.find("fs.inotify.max_user_watches") != std::string::npos &&
                    text.find(folder.string() + "/") != std::string::npos;
    }
    return warnings;
}

// Child process: lowers the inotify watch limit to three in a user namespace
// of its own (the limit is counted per namespace), then watches a tree of
// four subfolders, and another tree. Exits 0 when exactly one warning named
// the limit, for a subfolder of the first tree.
[[noreturn]] void watchPastTheLimit(const fs::path& dir) {
    if (unshare(CLONE_NEWUSER) != 0)
        _exit(limitUnavailable);
    const int limit = open("/proc/sys/user/max_inotify_watches", O_WRONLY | O_CLOEXEC);
    if (limit < 0 || write(limit, "3", 1) != 1)
        _exit(limitUnavailable);
    close(limit);
    for (const char* tree : {"one", "two"})
        for (const char* sub : {"a", "b", "c", "d"})
            fs::create_directories(dir / tree / sub);
    qvtest::LogRecords log;
    FileMonitor monitor;
    Event consumer(true);
    monitor.addDir(wide(dir / "one"), consumer.handle());
    const int first = limitWarnings(log, dir / "one");
    monitor.addDir(wide(dir / "two"), consumer.handle());
    const int all = limitWarnings(log, dir);
    std::fprintf(stderr, "limit warnings: %d for the subfolders, %d in all\n", first, all);
    _exit(first == 1 && all == 1 ? 0 : 1);
}

// Subfolders that cannot be watched because the user's inotify watch limit
// is reached are said so once per run, with the limit's name, not dropped in
// silence.
TEST(FileMonitorRequests, TheWatchLimitIsReportedOnce) {
    qvtest::TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0)
        watchPastTheLimit(dir.path());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == limitUnavailable)
        GTEST_SKIP() << "no user namespace in which to lower the inotify watch limit";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
