#include "app/App.h"

#include "app/Entry.h"
#include "catalog/SwapFile.h"
#include "core/Path.h"
#include "packages/PackageHost.h"
#include "packages/PackageInternal.h"
#include "packages/PackageManager.h"
#include "platform/InstanceSocket.h"
#include "tests/app/PythonForTests.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

// An installation, a profile and a runtime folder in a temporary tree, and
// an application started from that installation.
class AppInit : public testing::Test {
protected:
    void SetUp() override {
        qvtest::ensurePython();
        qvtest::qtApp();
        qvtest::pointHomeAt(root, env);
        root.write("install/quorvalent", "");
        root.write("install/default/App/Quorvalent.ini", "[app]\n");
        const auto program = root.write("install/bin/x64/quorvalent", "");
        app = std::make_shared<App>(wide(program));
    }
    void TearDown() override {
        if (app)
            app->shutdown();
        app.reset();
    }

    void writeUserConfig(const std::string& text) {
        std::ofstream(wstr::toUtf8(DataFs::appConfigFiles(app->folders())[1])) << text;
    }

    qvtest::TempDir root;
    qvtest::ScopedEnv env;
    std::shared_ptr<App> app;
};

bool logged(const qvtest::LogRecords& log, const wstr& text) {
    return !log.matching(Logger::Info, text).empty();
}

} // namespace

TEST_F(AppInit, StartUpBuildsEverythingInOrder) {
    qvtest::LogRecords log;
    ASSERT_EQ(app->init(StartNormal), 0);
    EXPECT_EQ(App::instance(), app);
    ASSERT_TRUE(AppServices::instance());
    EXPECT_EQ(AppServices::instance()->folders().install, wide(root.path() / "install"));
    EXPECT_EQ(AppServices::instance()->config(), app->config());
    ASSERT_TRUE(app->config());
    EXPECT_TRUE(app->configEdit());
    EXPECT_TRUE(app->imageManager());
    ASSERT_TRUE(CatalogHost::instance()) << "the catalog reaches the application";
    ASSERT_TRUE(app->packageManager());
    EXPECT_EQ(PackageHost::instance()->packageManager(), app->packageManager());
    EXPECT_TRUE(qvtest::waitFor([] { return !CatalogHost::instance()->knownIds().empty(); },
                                std::chrono::seconds(30)))
        << "the package manager loaded the built-in package";
    EXPECT_TRUE(app->hasPackageManager());
    EXPECT_TRUE(app->findPackage(Package::idOf(PackageInternal::packageName())));

    EXPECT_TRUE(logged(log, L"Installed mode"));
    EXPECT_TRUE(logged(log, L"Official packages directory NOT FOUND."));
    EXPECT_TRUE(logged(log, L"Profile dir: " + wide(root.path() / "config/Quorvalent")));
    EXPECT_TRUE(logged(log, L"Local dir: " + wide(root.path() / "state/Quorvalent")));
    wstr done;
    for (const auto& record : log.all())
        if (record->message.starts_with(L"Init done in "))
            done = record->message;
    EXPECT_TRUE(done.ends_with(L"s, including 0.0000s (0%) for the Python interpreter."))
        << "the interpreter was started by the tests, not by the application: "
        << wstr::toUtf8(done);

    app->shutdown();
    EXPECT_FALSE(app->imageManager());
    app.reset();
    EXPECT_EQ(App::instance(), nullptr);
    EXPECT_EQ(AppServices::instance(), nullptr);
    EXPECT_EQ(CatalogHost::instance(), nullptr);
    EXPECT_EQ(PackageHost::instance(), nullptr);
}

// Nothing writes them before the start: a swap file there was left by a
// write that was killed (a cache of a million items leaves 11 MB).
TEST_F(AppInit, SwapFilesLeftByAKilledWriteAreRemovedAtStart) {
    DataFs::Folders folders;
    DataFs::resolveFolders(wide(root.path() / "install/bin/x64/quorvalent"), folders);
    const std::vector<wstr> swaps = {
        SwapFile::swapPath(DataFs::catalogFilePath(folders)),
        SwapFile::swapPath(Path::combine(folders.profileUser, L"Quorvalent.history"))};
    for (const wstr& swap : swaps) {
        fs::create_directories(fs::path(wstr::toUtf8(swap)).parent_path());
        std::ofstream(wstr::toUtf8(swap)) << "half written";
    }
    qvtest::LogRecords log;
    ASSERT_EQ(app->init(StartNormal), 0);
    for (const wstr& swap : swaps) {
        EXPECT_FALSE(fs::exists(wstr::toUtf8(swap))) << wstr::toUtf8(swap);
        EXPECT_TRUE(logged(log, L"Removing " + swap + L", left over by an interrupted write"))
            << wstr::toUtf8(swap);
    }
}

TEST_F(AppInit, AReloadAppliesChangedSettingsOnly) {
    ASSERT_EQ(app->init(StartNormal), 0);
    qvtest::LogRecords log;
    const auto first = app->config();
    EXPECT_FALSE(app->reloadConfig()) << "the same files";
    EXPECT_EQ(app->config(), first);

    const auto editor = root.write("bin/my-editor", "#!/bin/sh\n");
    fs::permissions(editor, fs::perms::owner_all);
    writeUserConfig("[external]\nconfig_editor = " + editor.string() +
                    "\nconfig_editor_accepts_multifiles = yes\n");
    EXPECT_TRUE(app->reloadConfig());
    EXPECT_NE(app->config(), first);
    EXPECT_EQ(log.matching(Logger::Info, L"Application configuration has changed").size(), 1u);
    EXPECT_EQ(app->configEdit()->editor().args, std::vector<wstr>{wide(editor)})
        << "the editor follows the settings";
    EXPECT_EQ(app->configEdit()->editor().kind, ConfigEdit::MultiFile);

    writeUserConfig("# only a comment is new\n[external]\nconfig_editor = " + editor.string() +
                    "\nconfig_editor_accepts_multifiles = 1\n");
    const auto second = app->config();
    app->onDataFsEvent(DataFs::ConfigChanged);
    app->processTimers();
    EXPECT_EQ(app->config(), second) << "equal settings are not swapped in";
    EXPECT_EQ(log.matching(Logger::Info, L"Application configuration has changed").size(), 1u);
}

TEST_F(AppInit, TheLoopAnswersOtherStartsAndEndsOnAnExitRequest) {
    ASSERT_EQ(app->init(StartNormal), 0);
    QObject context;
    QTimer::singleShot(30000, &context, [] { App::postQuitMessage(99); });
    auto other = std::async(std::launch::async, [] {
        std::vector<std::optional<uint32_t>> answers;
        for (uint32_t message : {App::messageVersion, App::messageShow, App::messageExit}) {
            Platform::InstanceSocket::Client client;
            if (!client.connect(instanceSocketPath()))
                break;
            answers.push_back(client.send(message, 30000));
        }
        return answers;
    });
    EXPECT_EQ(app->run(), 0u);
    EXPECT_EQ(other.get(), (std::vector<std::optional<uint32_t>>{20240000, 0, 0}));
}

namespace {

// What the main window is handed: each command with the thread it came on.
class RecordingWindows : public AppWindows {
public:
    using Calls = std::vector<std::pair<uint32_t, std::thread::id>>;
    explicit RecordingWindows(std::shared_ptr<Calls> calls) : calls_(std::move(calls)) {}
    uint32_t onInstanceMessage(uint32_t) override { return 0; }
    void onTimer(uint32_t) override {}
    void onConfigChanged() override {}
    bool onMainWindowCommand(uint32_t command) override {
        calls_->emplace_back(command, std::this_thread::get_id());
        return true;
    }

private:
    std::shared_ptr<Calls> calls_;
};

} // namespace

// The built-in plugin's commands come from a pool thread; the main window
// takes them on the user-interface thread, in order, and none is taken
// while there are no windows.
TEST_F(AppInit, MainWindowCommandsReachTheWindowsOnTheUserInterfaceThread) {
    auto calls = std::make_shared<RecordingWindows::Calls>();
    app->setWindowsFactory([calls](App&) { return std::make_unique<RecordingWindows>(calls); });
    EXPECT_FALSE(app->postMainWindowCommand(216)) << "no windows before init";
    ASSERT_EQ(app->init(StartNormal), 0);
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    ASSERT_TRUE(host);
    EXPECT_TRUE(host->hasMainWindow());
    auto posted = std::async(std::launch::async, [host] {
        return host->postMainWindowCommand(216) && host->postMainWindowCommand(204);
    });
    ASSERT_TRUE(posted.get());
    EXPECT_TRUE(calls->empty()) << "nothing runs on the poster's thread";
    app->processTimers();
    const auto ui = std::this_thread::get_id();
    EXPECT_EQ(*calls, (RecordingWindows::Calls{{216, ui}, {204, ui}}));

    app->shutdown();
    EXPECT_FALSE(host->hasMainWindow());
    EXPECT_FALSE(host->postMainWindowCommand(205));
}

TEST_F(AppInit, WithoutWindowsNoMainWindowCommandIsTaken) {
    ASSERT_EQ(app->init(StartNormal), 0);
    EXPECT_FALSE(app->hasMainWindow());
    EXPECT_FALSE(app->postMainWindowCommand(216));
}

TEST(AppStateFile, AFormerPerUserFileMovesToTheCurrentName) {
    qvtest::TempDir dir;
    const wstr former = wide(dir.write("former.state", "old"));
    const wstr current = wide(dir.path() / "current.state");
    App::migrateStateFile(former, current);
    EXPECT_FALSE(fs::exists(wstr::toUtf8(former)));
    std::ifstream in(wstr::toUtf8(current));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");

    dir.write("former.state", "older");
    App::migrateStateFile(former, current);
    EXPECT_FALSE(fs::exists(wstr::toUtf8(former))) << "deleted when the current one exists";

    fs::create_directory(wstr::toUtf8(former));
    fs::remove(wstr::toUtf8(current));
    App::migrateStateFile(former, current);
    EXPECT_TRUE(fs::is_directory(wstr::toUtf8(former))) << "a folder is left alone";
    EXPECT_FALSE(fs::exists(wstr::toUtf8(current)));
}
