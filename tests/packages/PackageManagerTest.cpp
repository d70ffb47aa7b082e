#include "packages/PackageManager.h"

#include "packages/PackageInternal.h"
#include "platform/ThreadId.h"
#include "tests/packages/PackageFakes.h"
#include "tests/packages/PythonEnvironment.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <future>

namespace {

using qvtest::AppScope;
using qvtest::Gate;
using qvtest::ManagerHarness;
using qvtest::PackageSpec;
using qvtest::RunningTask;
using qvtest::TestPlugin;

uint64_t idOf(const wstr& fullName) {
    wstr packageName;
    return Plugin::parseFullName(fullName, packageName);
}

// Pending messages of one plugin and kind, as the statistics show them.
std::size_t pendingCount(const PackageManager& manager, const wstr& fullName, uint32_t kind) {
    std::size_t count = 0;
    for (const auto& task : manager.getFullStats().pendingTasks)
        count += task->pluginId == idOf(fullName) && task->kind == kind;
    return count;
}

CatalogItemPtr itemOf(const Plugin& plugin, const wstr& label) {
    return std::make_shared<CatalogItem>(plugin.id(), CatalogItem::keyword, label, wstr(),
                                         L"t-" + label, CatalogItem::forbidden, false,
                                         CatalogItem::keepall, 0, wstr());
}

// Records of the level whose text holds the piece.
std::size_t countContaining(const qvtest::LogRecords& log, Logger::Level level, const wstr& piece) {
    std::size_t count = 0;
    for (const auto& item : log.all())
        count += item->level == level && item->message.find(piece) != wstr::npos;
    return count;
}

PluginMsg::Data typed(const wstr& text) {
    return PluginMsg::Data::suggestion(text, {});
}

// Each test starts the manager with ToolA (plugin Finder) and the internal
// package, and has let ToolA.Finder's "start" run.
struct Started {
    explicit Started(const ManagerHarness::Tweak& tweak = {},
                     PackageSpec fixture = qvtest::plugins({L"Finder"}))
        : harness(app, tweak) {
        harness.addPackage("ToolA", std::move(fixture));
        harness.start();
    }
    void runStart() { qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindStart)); }
    std::shared_ptr<TestPlugin> finder() { return harness.plugin(L"ToolA", L"Finder"); }

    AppScope app;
    ManagerHarness harness;
};

TEST(PackageManager, StartLoadsTheInternalPackageAndThoseOnDisk) {
    AppScope app;
    ManagerHarness harness(app);
    harness.addPackage("ToolB", qvtest::plugins({L"Finder"}));
    harness.addPackage("ToolA", qvtest::plugins({L"Finder", L"Opener"}));
    harness.start();
    ASSERT_TRUE(harness.take(L"ToolB.Finder", PluginMsg::kindStart));
    ASSERT_TRUE(harness.passes(2));
    PackageManager& manager = *harness.manager();

    for (const wstr name : {L"Internal", L"ToolA", L"ToolB"})
        EXPECT_TRUE(manager.findPackage(Package::idOf(name), 1)) << wstr::toUtf8(name);
    std::vector<PackageManager::PackageEntry> expected = {{Package::idOf(L"Internal"), L"Internal"},
                                                          {Package::idOf(L"ToolA"), L"ToolA"},
                                                          {Package::idOf(L"ToolB"), L"ToolB"}};
    std::sort(expected.begin(), expected.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    EXPECT_EQ(manager.listPackages(false), expected);
    EXPECT_EQ(
        manager.knownIds(),
        (std::set<uint64_t>{Package::idOf(L"Internal"), Package::idOf(L"ToolA"),
                            Package::idOf(L"ToolB"), idOf(L"Internal.About"), idOf(L"ToolA.Finder"),
                            idOf(L"ToolA.Opener"), idOf(L"ToolB.Finder")}));
    EXPECT_EQ(manager.pluginFullName(idOf(L"ToolA.Opener")), L"ToolA.Opener");
    bool found = true;
    EXPECT_EQ(manager.pluginFullName(idOf(L"ToolA.Gone"), &found),
              formatFullId(idOf(L"ToolA.Gone")));
    EXPECT_FALSE(found);
    EXPECT_EQ(app->listenerCount(), 1u);
    const auto timers = app->takeTimers();
    EXPECT_NE(std::find(timers.begin(), timers.end(), std::pair<uint32_t, uint32_t>(5, 100)),
              timers.end());
}

// "start" runs alone: its plugin's "catalog" stays pending until it ended,
// while other plugins go on.
TEST(PackageManager, StartRunsAloneAndCatalogFollows) {
    Started s;
    auto start = s.harness.take(L"ToolA.Finder", PluginMsg::kindStart);
    ASSERT_TRUE(start);
    ASSERT_TRUE(s.harness.take(L"Internal.About", PluginMsg::kindStart));
    ASSERT_TRUE(s.harness.passes(3));
    EXPECT_EQ(pendingCount(*s.harness.manager(), L"ToolA.Finder", PluginMsg::kindCatalog), 1u);
    for (const auto& msg : s.harness.pool().pushed())
        EXPECT_FALSE(msg->pluginId() == idOf(L"ToolA.Finder"));

    qvtest::runTask(std::move(start));
    auto catalog = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->sequence(), 1u);
}

// Typing merges into one pending "suggest" (latest text) while the plugin's
// "start" runs; once a suggestion runs, the next keystroke makes it stale and
// its catalog changes are refused.
TEST(PackageManager, TypingMergesAndSupersedes) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    auto start = s.harness.take(L"ToolA.Finder", PluginMsg::kindStart);
    ASSERT_TRUE(start);
    for (const wstr text : {L"a", L"ab", L"abc"})
        manager.broadcastMessage(PluginMsg::kindSuggest, typed(text));
    EXPECT_EQ(pendingCount(manager, L"ToolA.Finder", PluginMsg::kindSuggest), 1u);
    qvtest::runTask(std::move(start));

    auto suggest = s.harness.take(L"ToolA.Finder", PluginMsg::kindSuggest);
    ASSERT_TRUE(suggest);
    EXPECT_EQ(suggest->text(), L"abc");
    EXPECT_EQ(suggest->sequence(), 3u);

    Gate gate;
    std::atomic<uint32_t> stateAfter = 0;
    s.finder()->setHook([&](TestPlugin& plugin, const PluginMsg& msg) {
        if (msg.text() == L"abc")
            gate.wait();
        stateAfter = manager.callerState();
        plugin.setSuggestions({itemOf(plugin, L"hit")}, 0, 0);
    });
    const auto catalog = s.app->catalog();
    {
        RunningTask running(suggest);
        ASSERT_TRUE(gate.waitArrived());
        EXPECT_EQ(s.finder()->records().back().callerState, PackageManager::callerCurrent);
        manager.broadcastMessage(PluginMsg::kindSuggest, typed(L"abcd"));
        gate.open();
    }
    EXPECT_EQ(stateAfter, PackageManager::callerShouldTerminate);
    EXPECT_TRUE(suggest->isCancelled());
    EXPECT_EQ(catalog->clearPluginSuggestions(idOf(L"ToolA.Finder")), 0u);

    qvtest::runTask(s.harness.take(L"ToolA.Finder", PluginMsg::kindSuggest));
    EXPECT_EQ(stateAfter, PackageManager::callerCurrent);
    EXPECT_EQ(s.finder()->records().back().text, L"abcd");
    EXPECT_EQ(catalog->clearPluginSuggestions(idOf(L"ToolA.Finder")), 1u);
}

TEST(PackageManager, CatalogRequestsWhileACatalogRunsOrWaits) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    const uint64_t finder = idOf(L"ToolA.Finder");
    auto start = s.harness.take(L"ToolA.Finder", PluginMsg::kindStart);
    EXPECT_TRUE(manager.sendMessage(finder, PluginMsg::kindCatalog, {}));
    EXPECT_EQ(pendingCount(manager, L"ToolA.Finder", PluginMsg::kindCatalog), 1u);
    qvtest::runTask(std::move(start));

    auto running = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    ASSERT_TRUE(running);
    EXPECT_EQ(running->sequence(), 2u);
    EXPECT_FALSE(manager.sendMessage(finder, PluginMsg::kindCatalog, {}));

    // The reloaded package's "catalog" does not wait on the old revision's.
    manager.onPackagesChanged({{L"ToolA", false}});
    ASSERT_TRUE(s.harness.waitLoaded(L"ToolA", 2));
    qvtest::runTask(s.harness.take(L"ToolA.Finder", PluginMsg::kindStart));
    auto reloaded = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->packageRevision(), 2u);
    EXPECT_TRUE(running->isCancelled());
}

TEST(PackageManager, CancelMessagesRemovesPendingAndFlagsRunning) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    auto start = s.harness.take(L"ToolA.Finder", PluginMsg::kindStart);
    manager.sendMessage(idOf(L"ToolA.Finder"), PluginMsg::kindActivated, {});
    qvtest::runTask(std::move(start));
    auto activated = s.harness.take(L"ToolA.Finder", PluginMsg::kindActivated);
    ASSERT_TRUE(activated);
    auto about = s.harness.take(L"Internal.About", PluginMsg::kindStart);
    manager.sendMessage(idOf(L"Internal.About"), PluginMsg::kindActivated, {});
    EXPECT_EQ(manager.cancelMessages(PluginMsg::kindActivated), 1u);
    EXPECT_TRUE(activated->isCancelled());
    EXPECT_EQ(pendingCount(manager, L"Internal.About", PluginMsg::kindActivated), 0u);
}

TEST(PackageManager, RevisionsGoOnAfterAnUnload) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    const uint32_t toolA = Package::idOf(L"ToolA");
    s.runStart();
    auto oldFinder = s.finder();
    qvtest::LogRecords log;

    s.harness.removePackageFolder("ToolA");
    manager.onPackagesChanged({{L"toola", false}});
    ASSERT_TRUE(s.harness.passes(2));
    EXPECT_FALSE(manager.findPackage(toolA, 0));
    EXPECT_EQ(log.matching(Logger::Info, L"Unloaded package: toola").size(), 1u);
    EXPECT_TRUE(oldFinder->shouldTerminate(false));
    EXPECT_TRUE(oldFinder->released());

    s.harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
    manager.onPackagesChanged({{L"ToolA", false}});
    ASSERT_TRUE(s.harness.waitLoaded(L"ToolA", 2));
    EXPECT_FALSE(manager.findPackage(toolA, 1));
    EXPECT_EQ(manager.findPackage(toolA, 0)->revision(), 2u);
    EXPECT_FALSE(s.finder()->shouldTerminate(false));
}

// The running message of an unloaded package runs on, but its plugin learns
// it should stop and cannot change the catalog any more.
TEST(PackageManager, UnloadedPackagesTaskShouldTerminate) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    s.runStart();
    auto catalog = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    Gate gate;
    std::atomic<uint32_t> state = 0;
    s.finder()->setHook([&](TestPlugin& plugin, const PluginMsg&) {
        gate.wait();
        state = manager.callerState();
        plugin.setCatalog({itemOf(plugin, L"late")});
    });
    {
        RunningTask running(catalog);
        ASSERT_TRUE(gate.waitArrived());
        EXPECT_TRUE(manager.unloadPackage(Package::idOf(L"ToolA")));
        gate.open();
    }
    EXPECT_EQ(state, PackageManager::callerShouldTerminate);
    EXPECT_EQ(s.app->catalog()->itemCount(), 0u);
}

TEST(PackageManager, ConfigurationChangeAloneSendsEvents) {
    qvtest::requirePython();
    AppScope app;
    ManagerHarness harness(app);
    app->writePackageFile("ToolA", "toola.ini", "[main]\nkey = 1\n");
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
    harness.start();
    ASSERT_TRUE(harness.waitLoaded(L"ToolA", 1));
    wstr value;
    ASSERT_TRUE(harness.package(L"ToolA")->settingsGet(L"main", L"key", value));
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindStart));
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindCatalog));

    app->writePackageFile("ToolA", "toola.ini", "[main]\nkey = 2\n");
    harness.manager()->onPackagesChanged({{L"ToolA", true}});
    auto events = harness.take(L"ToolA.Finder", PluginMsg::kindEvents);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->flags(), PluginMsg::packageConfigChanged);
    EXPECT_EQ(events->packageRevision(), 1u);
    ASSERT_TRUE(harness.package(L"ToolA")->settingsGet(L"main", L"key", value));
    EXPECT_EQ(value, L"2");
}

TEST(PackageManager, ReloadPackageSettingsReadsThemAgain) {
    qvtest::requirePython();
    AppScope app;
    ManagerHarness harness(app);
    app->writePackageFile("ToolA", "toola.ini", "[main]\nkey = 1\n");
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}));
    harness.start();
    ASSERT_TRUE(harness.waitLoaded(L"ToolA", 1));
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindStart));
    qvtest::runTask(harness.take(L"ToolA.Finder", PluginMsg::kindCatalog));
    wstr value;
    ASSERT_TRUE(harness.package(L"ToolA")->settingsGet(L"main", L"key", value));

    app->writeUserFile("toola.ini", "[main]\nkey = 2\n");
    harness.manager()->reloadPackageSettings(0);
    auto changed = harness.take(L"ToolA.Finder", PluginMsg::kindEvents);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->flags(), PluginMsg::packageConfigChanged);
    qvtest::runTask(std::move(changed));
    ASSERT_TRUE(harness.package(L"ToolA")->settingsGet(L"main", L"key", value));
    EXPECT_EQ(value, L"2");

    harness.manager()->reloadPackageSettings(PluginMsg::environmentChanged);
    auto unchanged = harness.take(L"ToolA.Finder", PluginMsg::kindEvents);
    ASSERT_TRUE(unchanged);
    EXPECT_EQ(unchanged->flags(), PluginMsg::environmentChanged);
}

TEST(PackageManager, IgnoredPackagesLeaveAndComeBack) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    const uint32_t toolA = Package::idOf(L"ToolA");
    ASSERT_TRUE(s.harness.waitLoaded(L"ToolA", 1));
    qvtest::LogRecords log;

    s.app->setIgnored({L"toola"});
    manager.applyConfig();
    EXPECT_EQ(log.matching(Logger::Info, L"Unloading ignored package: ToolA").size(), 1u);
    ASSERT_TRUE(s.harness.passes(2));
    EXPECT_FALSE(manager.findPackage(toolA, 0));

    s.app->setIgnored({});
    manager.applyConfig();
    EXPECT_TRUE(s.harness.waitLoaded(L"ToolA", 2));
}

// A thread a plugin starts serves the plugin (state 3) but cannot change the
// catalog; only the message's own thread can.
TEST(PackageManager, RegisteredPluginThreads) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    s.runStart();
    auto catalogMsg = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    std::atomic<uint32_t> threadState = 0;
    std::atomic<std::size_t> itemsFromThread = 99;
    const auto catalog = s.app->catalog();
    s.finder()->setHook([&](TestPlugin& plugin, const PluginMsg&) {
        const uint32_t owner = Platform::currentThreadId();
        std::thread helper([&] {
            manager.registerPythonThread(owner);
            threadState = manager.callerState();
            plugin.setCatalog({itemOf(plugin, L"from thread")});
            itemsFromThread = catalog->itemCount();
            manager.unregisterPythonThread();
        });
        helper.join();
        plugin.setCatalog({itemOf(plugin, L"from task")});
    });
    const std::size_t before = catalog->itemCount();
    qvtest::runTask(catalogMsg);
    EXPECT_EQ(threadState, PackageManager::callerThread);
    EXPECT_EQ(itemsFromThread, before);
    EXPECT_EQ(catalog->itemCount(), before + 1);
    EXPECT_EQ(manager.callerState(), PackageManager::callerNoTask);
}

TEST(PackageManager, CatalogRunsInTheBatchClass) {
    Started s;
    s.runStart();
    auto catalog = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    const int before = sched_getscheduler(0);
    catalog->run();
    EXPECT_EQ(s.finder()->records().front().schedPolicy, SCHED_OTHER);
    EXPECT_EQ(s.finder()->records().back().schedPolicy, SCHED_BATCH);
    EXPECT_EQ(sched_getscheduler(0), before);
}

TEST(PackageManager, BusyAndIdleAreRequestedOncePerChange) {
    Started s;
    auto start = s.harness.take(L"ToolA.Finder", PluginMsg::kindStart);
    ASSERT_TRUE(s.harness.passes(3));
    s.harness.pool().setDiscard(true);
    s.harness.pool().stop();
    start.reset();
    std::vector<uint32_t> states;
    while (std::find(states.begin(), states.end(), PackageManager::timerIdle) == states.end()) {
        ASSERT_TRUE(s.harness.waitPass());
        for (const auto& [id, delay] : s.app->takeTimers()) {
            if (id == PackageManager::timerBusy || id == PackageManager::timerIdle)
                states.push_back(id);
        }
    }
    EXPECT_EQ(states, (std::vector<uint32_t>{6, 7}));
}

// Keystrokes never wait for a package that loads.
TEST(PackageManager, MessagesDoNotWaitForALoad) {
    Gate gate;
    Started s({}, qvtest::plugins({L"Finder"}, [&gate] { gate.wait(); }));
    ASSERT_TRUE(gate.waitArrived());
    PackageManager& manager = *s.harness.manager();
    auto keystroke = std::async(std::launch::async, [&] {
        manager.cancelMessages(PluginMsg::kindSuggest);
        manager.broadcastMessage(PluginMsg::kindSuggest, typed(L"x"));
        return manager.listPackages(false).size();
    });
    EXPECT_EQ(keystroke.wait_for(qvtest::waitLimit), std::future_status::ready);
    gate.open();
    EXPECT_TRUE(s.harness.waitLoaded(L"ToolA", 1));
}

// Stopping while a package loads interrupts that load after the stop time,
// waits for it to end, and loads nothing after it.
TEST(PackageManager, StopDuringTheFirstLoad) {
    Gate gate;
    std::atomic<uint32_t> interrupted = 0;
    std::atomic<bool> loadEnded = false;
    AppScope app;
    ManagerHarness harness(app, [&](PackageManager::Options& options) {
        options.monitorStopMs = 20;
        options.terminateHook = [&](uint32_t threadId) {
            interrupted = threadId;
            gate.open();
        };
    });
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}, [&] {
                           gate.wait();
                           loadEnded = true;
                       }));
    harness.addPackage("ToolB", qvtest::plugins({L"Finder"}));
    harness.start();
    ASSERT_TRUE(gate.waitArrived());
    qvtest::LogRecords log;
    harness.manager()->stop();
    EXPECT_TRUE(loadEnded);
    EXPECT_NE(interrupted, 0u);
    EXPECT_FALSE(harness.package(L"ToolB"));
    EXPECT_EQ(app->listenerCount(), 0u);
    EXPECT_EQ(countContaining(log, Logger::Warning, L"it is left running"), 0u);
    EXPECT_TRUE(harness.manager()->listPackages(false).empty());
}

// A load that ignores both the stop and the interruption does not hold the
// shutdown: it is left to end by itself, and said so.
// The given-up loader still runs when stop returns; the test waits for its
// thread to end, after it has dropped the package, so that nothing of it runs
// into the next test's application.
TEST(PackageManager, StopGivesUpALoadThatIgnoresIt) {
    // Shared with the loader, which ends after the gate.
    struct Shared {
        Gate gate;
        Event loaderEnded{false};
    };
    auto shared = std::make_shared<Shared>();
    AppScope app;
    ManagerHarness harness(app, [&](PackageManager::Options& options) {
        options.monitorStopMs = 20;
        options.monitorInterruptedMs = 20;
        options.terminateHook = [](uint32_t) {};
    });
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}, [shared] {
                           qvtest::signalAtThreadEnd(shared->loaderEnded.handle());
                           shared->gate.wait();
                       }));
    harness.start();
    ASSERT_TRUE(shared->gate.waitArrived());
    qvtest::LogRecords log;
    harness.manager()->stop();
    EXPECT_EQ(
        log.matching(Logger::Warning,
                     L"Loading of package ToolA did not stop within 40 ms; it is left running")
            .size(),
        1u);
    shared->gate.open();
    EXPECT_EQ(shared->loaderEnded.wait(10000), Platform::WAIT_OBJECT_0);
}

// A loader that has reported its result still runs while it drops the last
// reference to its package (here a failed load the monitor went on without):
// stop waits for it, and interrupts it, like any load in progress. The next
// late load is what used to forget it.
TEST(PackageManager, StopWaitsForALoaderStillReleasingItsPackage) {
    // Shared with the loader threads, which may outlive a failing test.
    struct Shared {
        Gate loadA, releasing, loadB;
        std::atomic<uint32_t> threadA = 0, threadB = 0;
        std::atomic<bool> released = false;
    };
    auto shared = std::make_shared<Shared>();
    AppScope app;
    ManagerHarness harness(app, [shared](PackageManager::Options& options) {
        options.loadWaitMs = 20;
        options.monitorStopMs = 20;
        options.terminateHook = [shared](uint32_t threadId) {
            if (threadId == shared->threadA)
                shared->releasing.open();
            if (threadId == shared->threadB)
                shared->loadB.open();
        };
    });
    PackageSpec toolA = qvtest::failing(L"ToolA");
    toolA.onLoad = [shared] {
        shared->threadA = Platform::currentThreadId();
        shared->loadA.wait();
    };
    toolA.onRelease = [shared] {
        shared->releasing.wait();
        shared->released = true;
    };
    harness.addPackage("ToolA", std::move(toolA));
    harness.addPackage("ToolB", qvtest::plugins({L"Finder"}, [shared] {
                           shared->threadB = Platform::currentThreadId();
                           shared->loadA.open();
                           ASSERT_TRUE(shared->releasing.waitArrived());
                           shared->loadB.wait();
                       }));
    harness.start();
    ASSERT_TRUE(harness.waitPass());
    qvtest::LogRecords log;
    harness.manager()->stop();
    EXPECT_TRUE(shared->released);
    EXPECT_EQ(countContaining(log, Logger::Warning, L"it is left running"), 0u);
    shared->releasing.open();
    shared->loadB.open();
}

// A package whose scripts block at import holds back neither the packages
// after it nor, once it has loaded, its own plugins.
TEST(PackageManager, ABlockedLoadDoesNotHoldBackTheOthers) {
    Gate gate;
    AppScope app;
    ManagerHarness harness(app, [](PackageManager::Options& options) { options.loadWaitMs = 20; });
    harness.addPackage("ToolA", qvtest::plugins({L"Finder"}, [&] { gate.wait(); }));
    harness.addPackage("ToolB", qvtest::plugins({L"Finder"}));
    qvtest::LogRecords log;
    harness.start();
    ASSERT_TRUE(gate.waitArrived());
    EXPECT_TRUE(harness.waitLoaded(L"ToolB", 1));
    EXPECT_TRUE(harness.take(L"ToolB.Finder", PluginMsg::kindStart));
    EXPECT_EQ(log.matching(Logger::Info,
                           L"Package ToolA is still loading after 20 ms; the other packages load "
                           L"meanwhile")
                  .size(),
              1u);
    gate.open();
    EXPECT_TRUE(harness.take(L"ToolA.Finder", PluginMsg::kindStart));
}

// A thread a plugin started serves the plugin, but the message that started
// it ends when its body returns: nothing waits for it any more.
TEST(PackageManager, APluginThreadDoesNotKeepItsMessageRunning) {
    Started s;
    PackageManager& manager = *s.harness.manager();
    s.runStart();
    auto catalogMsg = s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog);
    Gate registered, release;
    std::thread helper;
    std::atomic<uint32_t> laterState = 0;
    s.finder()->setHook([&](TestPlugin&, const PluginMsg&) {
        const uint32_t owner = Platform::currentThreadId();
        helper = std::thread([&, owner] {
            manager.registerPythonThread(owner);
            registered.open();
            release.wait();
            laterState = manager.callerState();
            manager.unregisterPythonThread();
        });
        registered.wait();
    });
    qvtest::runTask(std::move(catalogMsg));
    ASSERT_TRUE(release.waitArrived());
    EXPECT_TRUE(s.harness.passes(2));
    EXPECT_EQ(manager.getTaskCounts().runningCatalog, 0u);
    release.open();
    helper.join();
    EXPECT_EQ(laterState, PackageManager::callerThread);
}

// A message that runs too long is reported once, by plugin; the cache stops
// waiting for that plugin's catalog.
TEST(PackageManager, AStuckMessageIsReportedOnce) {
    Gate gate;
    Started s([](PackageManager::Options& options) {
        options.stuckTaskMs = 20;
        options.runningPollMs = 5;
    });
    s.runStart();
    s.finder()->setHook([&](TestPlugin&, const PluginMsg&) { gate.wait(); });
    qvtest::LogRecords log;
    RunningTask running(s.harness.take(L"ToolA.Finder", PluginMsg::kindCatalog));
    ASSERT_TRUE(gate.waitArrived());
    auto reported = [&] {
        return countContaining(log, Logger::Warning, L"ToolA.Finder.on_catalog (instance #");
    };
    const auto deadline = std::chrono::steady_clock::now() + qvtest::waitLimit;
    while (reported() == 0) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        ASSERT_TRUE(s.harness.waitPass());
    }
    ASSERT_TRUE(s.harness.passes(3));
    EXPECT_EQ(reported(), 1u);
    const PackageManager::TaskCounts counts = s.harness.manager()->getTaskCounts();
    EXPECT_EQ(counts.runningCatalog, 1u);
    EXPECT_EQ(counts.stuckCatalog, 1u);
    gate.open();
}

// A package that fails to load leaves another package of the same id alone.
TEST(PackageManager, AFailedLoadRemovesOnlyItsOwnEntry) {
    Started s;
    ASSERT_TRUE(s.harness.waitLoaded(L"ToolA", 1));
    s.harness.addPackage("ToolC", qvtest::failing(L"ToolA"));
    s.harness.addPackage("ToolD", qvtest::failing(wstr()));
    s.harness.manager()->reloadPackages({L"ToolC", L"ToolD"});
    EXPECT_TRUE(s.harness.manager()->findPackage(Package::idOf(L"ToolA"), 1));
    EXPECT_FALSE(s.harness.manager()->findPackage(Package::idOf(L"ToolD"), 0));
}

TEST(PackageManager, StatisticsSnapshot) {
    qvtest::ClockScope clockScope(1000);
    std::atomic<uint64_t>& clock = clockScope.value;
    {
        AppScope app;
        ManagerHarness harness(app);
        EXPECT_TRUE(harness.manager()->getFullStats().packages.empty());
        EXPECT_EQ(harness.manager()->getTaskCounts().running, 0u);

        harness.addPackage("ToolA", qvtest::plugins({L"One", L"Two", L"Three"}));
        harness.start();
        auto start = harness.take(L"ToolA.One", PluginMsg::kindStart);
        auto startTwo = harness.take(L"ToolA.Two", PluginMsg::kindStart);
        ASSERT_TRUE(startTwo);
        Gate gate;
        harness.plugin(L"ToolA", L"One")->setHook([&](TestPlugin&, const PluginMsg&) {
            gate.wait();
        });
        RunningTask running(start);
        ASSERT_TRUE(gate.waitArrived());
        clock = 1250;
        const PackageManager::TaskCounts counts = harness.manager()->getTaskCounts();
        EXPECT_EQ(counts.packages, 2u);
        EXPECT_EQ(counts.running, 4u);
        EXPECT_EQ(counts.runningCatalog, 0u);
        EXPECT_EQ(counts.pending, 4u);
        EXPECT_EQ(counts.pendingCatalog, 4u);

        PackageManager::FullStats stats = harness.manager()->getFullStats();
        const auto& package = stats.packages.at(Package::idOf(L"ToolA"));
        EXPECT_EQ(package->revision, 1u);
        EXPECT_FALSE(package->internal);
        EXPECT_TRUE(stats.packages.at(Package::idOf(L"Internal"))->internal);
        ASSERT_EQ(package->plugins.size(), 3u);
        for (const auto& [id, plugin] : package->plugins)
            EXPECT_EQ(stats.plugins.at(id), plugin);

        auto record = [&](const std::vector<PackageManager::FullStats::TaskPtr>& tasks,
                          const wstr& plugin, uint32_t kind) {
            for (const auto& task : tasks)
                if (task->pluginId == idOf(plugin) && task->kind == kind)
                    return task;
            return PackageManager::FullStats::TaskPtr();
        };
        auto runningStart = record(stats.runningTasks, L"ToolA.One", PluginMsg::kindStart);
        ASSERT_TRUE(runningStart);
        EXPECT_NE(runningStart->threadId, 0u);
        EXPECT_EQ(runningStart->runningTime, 250u);
        EXPECT_EQ(runningStart->kindName, "start");
        EXPECT_EQ(runningStart->description, start->describe());
        EXPECT_NE(
            std::find(package->runningTasks.begin(), package->runningTasks.end(), runningStart),
            package->runningTasks.end());
        auto waiting = record(stats.pendingTasks, L"ToolA.One", PluginMsg::kindCatalog);
        ASSERT_TRUE(waiting);
        EXPECT_EQ(waiting->threadId, 0u);
        EXPECT_EQ(waiting->runningTime, 0u);
        EXPECT_EQ(package->pendingTasks.front()->kind, PluginMsg::kindCatalog);

        clock = 1300;
        gate.open();
        running.join();
        auto ended = record(harness.manager()->getFullStats().runningTasks, L"ToolA.One",
                            PluginMsg::kindStart);
        ASSERT_TRUE(ended);
        EXPECT_EQ(ended->threadId, 0u);
        EXPECT_EQ(ended->runningTime, 300u);

        harness.manager()->unloadPackage(Package::idOf(L"ToolA"));
        stats = harness.manager()->getFullStats();
        EXPECT_FALSE(stats.packages.count(Package::idOf(L"ToolA")));
        EXPECT_FALSE(record(stats.runningTasks, L"ToolA.One", PluginMsg::kindStart));
        start.reset();
    }
}

TEST(PackageManager, ConfigurablePackages) {
    AppScope app;
    ManagerHarness harness(app);
    app->writePackageFile("ToolA", "toola.ini", "[main]\n");
    app->writePackageFile("ToolB", "ToolB.INI", "[main]\n");
    app->writePackageFile("ToolC", "other.ini", "[main]\n");
    for (const char* name : {"ToolA", "ToolB", "ToolC"})
        harness.addPackage(name, qvtest::plugins({L"Finder"}));
    harness.start();
    ASSERT_TRUE(harness.waitLoaded(L"ToolC", 1));
    ASSERT_TRUE(harness.waitLoaded(L"ToolA", 1));
    ASSERT_TRUE(harness.waitLoaded(L"ToolB", 1));
    std::vector<PackageManager::PackageEntry> expected = {{Package::idOf(L"ToolA"), L"ToolA"},
                                                          {Package::idOf(L"ToolB"), L"ToolB"}};
    std::sort(expected.begin(), expected.end(),
              [](const auto& a, const auto& b) { return a.id < b.id; });
    EXPECT_EQ(harness.manager()->listPackages(true), expected);
}

} // namespace
