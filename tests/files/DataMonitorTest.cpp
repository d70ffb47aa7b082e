#include "files/DataFs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "core/Event.h"
#include "core/Mutex.h"
#include "files/FileMonitor.h"
#include "tests/files/ZipFixture.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

// Records what the data monitor reports and signals each report.
class Listener : public DataFs::EventListener, public DataFs::PackagesListener {
public:
    void onDataFsEvent(uint32_t bits) override {
        Mutex::Lock lock(mutex_);
        bits_.push_back({bits, Clock::now()});
        signal_.set();
    }
    void onPackagesChanged(const std::vector<DataFs::PackageChange>& changes) override {
        Mutex::Lock lock(mutex_);
        for (const auto& change : changes)
            packages_.push_back(change);
        signal_.set();
    }

    // Waits up to timeoutMs for the predicate over the reports so far.
    template <typename Pred> bool waitUntil(Pred done, int timeoutMs = 8000) {
        return qvtest::waitOn(
            signal_,
            [&] {
                Mutex::Lock lock(mutex_);
                return done();
            },
            std::chrono::milliseconds(timeoutMs));
    }

    std::vector<std::pair<uint32_t, Clock::time_point>> bits_;
    std::vector<DataFs::PackageChange> packages_;

private:
    Mutex mutex_;
    Event signal_{true};
};

std::string summary(const std::vector<DataFs::PackageChange>& changes) {
    std::string text;
    for (const auto& change : changes)
        text += wstr::toUtf8(change.name) + (change.configOnly ? "(config) " : " ");
    return text;
}

class DataMonitorTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    DataFs::Folders folders;
    std::shared_ptr<FileMonitor> fileMonitor = std::make_shared<FileMonitor>();
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
    std::unique_ptr<DataFs> dataFs;
    DataFs::ShellFolders shell;

    // Short quiet periods keep the tests quick; their order is the real one.
    DataFs::Timing timing{100, 200, 150, 3000};

    void SetUp() override {
        auto folder = [&](const char* name) {
            fs::create_directories(dir.path() / name);
            return wide(dir.path() / name);
        };
        folders.install = folder("inst");
        folders.local = folder("local");
        folders.defaultPackages = folder("inst/default/Packages");
        folders.profileUser = folder("profile/User");
        folders.profileInstalledPackages = folder("profile/InstalledPackages");
        folders.profilePackages = folder("profile/Packages");
        shell.desktops = {wstr(), folder("Desktop")};
        shell.startMenus = {folder("share/applications"), folder("home-share/applications")};
    }

    void start() {
        dataFs = std::make_unique<DataFs>(folders, fileMonitor, timing);
        dataFs->addEventListener(listener);
        dataFs->addPackagesListener(listener);
        dataFs->startMonitoring(shell);
        ASSERT_TRUE(dataFs->waitUntilWatching(10000));
    }

    void TearDown() override {
        if (dataFs)
            dataFs->stop();
        fileMonitor->stop();
    }

    bool waitPackages(size_t count) {
        return listener->waitUntil([&] { return listener->packages_.size() >= count; });
    }
};

TEST_F(DataMonitorTest, ConfigurationSavesCollapseIntoOneNotification) {
    start();
    auto first = Clock::now();
    dir.write("profile/User/Quorvalent.ini", "a");
    dir.write("profile/User/Quorvalent.ini", "ab");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
    EXPECT_EQ(listener->bits_.front().first, uint32_t(DataFs::ConfigChanged));
    // The monitor counts whole milliseconds: its quiet time may end up to
    // one millisecond short of the test's clock.
    EXPECT_GE(listener->bits_.front().second - first, std::chrono::milliseconds(99));
    // Nothing more follows.
    EXPECT_FALSE(listener->waitUntil([&] { return listener->bits_.size() > 1; }, 400));
}

TEST_F(DataMonitorTest, UserFolderFilesByName) {
    start();
    dir.write("profile/User/Quorvalent-Notepad2.ini", "editor");
    dir.write("profile/User/MyPack.ini", "settings");
    dir.write("profile/User/sub/Other.ini", "ignored");
    ASSERT_TRUE(waitPackages(1));
    EXPECT_EQ(summary(listener->packages_), "MyPack(config) ");
    EXPECT_TRUE(listener->bits_.empty());
}

TEST_F(DataMonitorTest, LivePackageChanges) {
    start();
    dir.write("profile/Packages/loose.py", "files here are no packages");
    fs::create_directories(dir.path() / "profile/Packages/NewPack");
    ASSERT_TRUE(waitPackages(1));
    EXPECT_EQ(summary(listener->packages_), "NewPack ");
    listener->packages_.clear();
    // A script change followed by a settings change stays a full change.
    dir.write("profile/Packages/NewPack/main.py", "x");
    dir.write("profile/Packages/NEWPACK/../NewPack/newpack.ini", "y");
    ASSERT_TRUE(waitPackages(1));
    EXPECT_FALSE(listener->waitUntil([&] { return listener->packages_.size() > 1; }, 400));
    EXPECT_EQ(summary(listener->packages_), "NewPack ");
}

TEST_F(DataMonitorTest, ArchiveRenameReportsBothNames) {
    qvtest::writeZip(dir.path() / "profile/InstalledPackages/Alpha.quorvalent-package",
                     {{"a.py", "a"}});
    start();
    fs::rename(dir.path() / "profile/InstalledPackages/Alpha.quorvalent-package",
               dir.path() / "profile/InstalledPackages/Beta.quorvalent-package");
    ASSERT_TRUE(waitPackages(2));
    EXPECT_EQ(summary(listener->packages_), "Alpha Beta ");
}

TEST_F(DataMonitorTest, DesktopAndStartMenuChanges) {
    start();
    dir.write("Desktop/app.desktop", "[Desktop Entry]");
    dir.write("share/applications/b.desktop", "[Desktop Entry]");
    ASSERT_TRUE(listener->waitUntil([&] {
        uint32_t all = 0;
        for (const auto& [bits, when] : listener->bits_)
            all |= bits;
        return all == (DataFs::DesktopChanged | DataFs::StartMenuChanged);
    }));
}

// An applications folder made after the start arrives with its files, so
// its appearance is the change; its removal takes them away again.
TEST_F(DataMonitorTest, StartMenuFolderMadeOrRemovedLaterIsAChange) {
    shell.startMenus.push_back(wide(dir.path() / "late/applications"));
    start();
    auto startMenuChanges = [&] {
        return std::count_if(
            listener->bits_.begin(), listener->bits_.end(),
            [](const auto& report) { return (report.first & DataFs::StartMenuChanged) != 0; });
    };
    dir.write("late/applications/only.desktop", "[Desktop Entry]");
    ASSERT_TRUE(listener->waitUntil([&] { return startMenuChanges() == 1; }, 30000));
    fs::remove_all(dir.path() / "late");
    ASSERT_TRUE(listener->waitUntil([&] { return startMenuChanges() == 2; }, 30000));
}

TEST_F(DataMonitorTest, ChangesWithoutPackageListenerAreDropped) {
    // The configuration notification then comes after the package change fell due.
    timing.configQuietMs = 2 * timing.packageQuietMs;
    start();
    dataFs->removePackagesListener(listener.get());
    fs::create_directories(dir.path() / "profile/Packages/Dropped");
    dir.write("profile/User/Quorvalent.ini", "a");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
    dataFs->addPackagesListener(listener);
    fs::create_directories(dir.path() / "profile/Packages/Later");
    ASSERT_TRUE(waitPackages(1));
    EXPECT_EQ(summary(listener->packages_), "Later ");
}

TEST_F(DataMonitorTest, InstalledUnderTheDesktopExcludesItOnce) {
    qvtest::LogRecords records;
    folders.install = wide(dir.path() / "Desktop/inst");
    shell.desktops.push_back(wide(dir.path() / "Desk")); // a prefix in text only
    start();
    EXPECT_TRUE(dataFs->isDesktopExcluded());
    EXPECT_FALSE(dataFs->isStartMenuExcluded());
    EXPECT_EQ(records
                  .matching(Logger::Warning,
                            L"Application is installed in the Desktop folder. "
                            L"Catalog WILL NOT be refreshed automatically for this area")
                  .size(),
              1u);
    dir.write("Desktop/app.desktop", "[Desktop Entry]");
    dir.write("profile/User/Quorvalent.ini", "a");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
    EXPECT_FALSE(listener->waitUntil([&] { return listener->bits_.size() > 1; }, 500));
    EXPECT_EQ(listener->bits_.front().first, uint32_t(DataFs::ConfigChanged));
}

TEST_F(DataMonitorTest, PrefixOfTheDesktopNameIsNotInside) {
    folders.install = wide(dir.path() / "Desktop2/inst");
    start();
    EXPECT_FALSE(dataFs->isDesktopExcluded());
}

// Placing a watch may take long (a slow mount); the caller is not held up.
TEST_F(DataMonitorTest, WatchesArePlacedByTheMonitorThread) {
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> onCaller{false};
    fileMonitor->setLaunchHook(
        [&] { onCaller = onCaller || std::this_thread::get_id() == caller; });
    start();
    fileMonitor->setLaunchHook({});
    EXPECT_FALSE(onCaller);
    dir.write("profile/User/Quorvalent.ini", "a");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
}

TEST_F(DataMonitorTest, StopEndsNotificationsAndWatches) {
    start();
    dataFs->stop();
    dir.write("profile/User/Quorvalent.ini", "a");
    EXPECT_FALSE(listener->waitUntil([&] { return !listener->bits_.empty(); }, 500));
    // Restarting the data monitor watches the folders again.
    dataFs = std::make_unique<DataFs>(folders, fileMonitor, timing);
    dataFs->addEventListener(listener);
    dataFs->startMonitoring(shell);
    ASSERT_TRUE(dataFs->waitUntilWatching(10000));
    dir.write("profile/User/Quorvalent.ini", "b");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
}

TEST_F(DataMonitorTest, RealQuietPeriodOfTheConfiguration) {
    timing = DataFs::Timing();
    start();
    auto saved = Clock::now();
    dir.write("profile/User/Quorvalent.ini", "a");
    ASSERT_TRUE(listener->waitUntil([&] { return !listener->bits_.empty(); }));
    // Whole milliseconds, as above.
    EXPECT_GE(listener->bits_.front().second - saved, std::chrono::milliseconds(999));
}

TEST(DataFsScan, RootOrderAndIgnoredPackages) {
    qvtest::TempDir dir;
    DataFs::Folders folders;
    folders.defaultPackages = wide(dir.path() / "default");
    folders.profileInstalledPackages = wide(dir.path() / "installed");
    folders.profilePackages = wide(dir.path() / "live");
    qvtest::writeZip(dir.path() / "default/Alpha.quorvalent-package", {{"a.py", ""}});
    qvtest::writeZip(dir.path() / "default/Skip.quorvalent-package", {{"a.py", ""}});
    qvtest::writeZip(dir.path() / "installed/ALPHA.quorvalent-package", {{"a.py", ""}});
    qvtest::writeZip(dir.path() / "installed/bad name.quorvalent-package", {{"a.py", ""}});
    dir.write("installed/Beta.zip", "");
    dir.write("live/alpha/a.py", "");
    dir.write("live/Gamma/g.py", "");
    dir.write("live/Delta.quorvalent-package", "a file in the live root is no package");
    dir.write("live/.Hidden/h.py", "");
    auto ignored = [](const wstr& name) { return wstr::equals(name, L"skip", false); };
    auto packages = DataFs::scanPackages(folders, wstr(), ignored);
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages.begin()->first, L"Alpha");
    EXPECT_EQ(packages.begin()->second,
              (std::vector<wstr>{wide(dir.path() / "default/Alpha.quorvalent-package"),
                                 wide(dir.path() / "installed/ALPHA.quorvalent-package"),
                                 wide(dir.path() / "live/alpha")}));
    EXPECT_EQ(packages.count(L"gamma"), 1u);
    auto found = DataFs::findPackage(folders, L"GAMMA");
    EXPECT_EQ(found.first, L"Gamma");
    EXPECT_EQ(found.second.size(), 1u);
    EXPECT_TRUE(DataFs::findPackage(folders, L"Skip", ignored).first.empty());
    EXPECT_TRUE(DataFs::findPackage(folders, L"Nothing").first.empty());
}

} // namespace
