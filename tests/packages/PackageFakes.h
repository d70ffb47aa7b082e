#pragma once

#include "catalog/Catalog.h"
#include "catalog/CatalogHost.h"
#include "core/Event.h"
#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"
#include "packages/Plugin.h"
#include "packages/PluginMsg.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qvtest {

// Replaces the task clock while it lives: each reading returns the value,
// then advances it by the step.
struct ClockScope {
    std::atomic<uint64_t> value;
    uint64_t step;
    explicit ClockScope(uint64_t start, uint64_t step = 0) : value(start), step(step) {
        PackageTask::setClock([this] { return value.fetch_add(this->step); });
    }
    ~ClockScope() { PackageTask::setClock({}); }
    ClockScope(const ClockScope&) = delete;
    ClockScope& operator=(const ClockScope&) = delete;
};

// How long a test waits for something another thread does before failing.
constexpr auto waitLimit = std::chrono::seconds(10);

// The application as the packages and the catalog see it: its timers, its
// package manager and a real catalog, package roots in a temporary folder,
// its settings, its main window and its configuration editor.
class FakeApp : public PackageHost, public CatalogHost {
public:
    FakeApp();

    void setTimer(uint32_t id, uint32_t delayMs) override;
    std::shared_ptr<PackageManager> packageManager() override;
    std::shared_ptr<Catalog> catalog() override { return catalog_; }
    DataFs::Folders folders() override { return folders_; }
    bool isPackageIgnored(const wstr& name) override;
    SettingsStore::KeyMap configVariables() override;
    void addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) override;
    void removePackagesListener(const DataFs::PackagesListener* listener) override;
    bool postMainWindowCommand(uint32_t commandId) override;
    bool hasMainWindow() override;
    void editPackageConfig(const wstr& packageName) override;
    void forgetPackageIcons(uint32_t packageId) override;
    void forgetPackageIcon(uint64_t iconHandle) override;

    // The catalog's view of the package manager, as the application wires it.
    std::set<uint64_t> knownIds() override;
    std::optional<wstr> pluginFullName(uint64_t pluginId) override;
    std::optional<uint64_t> pendingCatalogMessages() override;

    void setManager(std::shared_ptr<PackageManager> manager);
    void setIgnored(std::set<wstr> lowerNames);
    void setVariable(const wstr& name, const wstr& value);
    void setMainWindow(bool exists);

    std::vector<std::pair<uint32_t, uint32_t>> takeTimers();
    std::vector<uint32_t> commands();
    std::vector<wstr> edits();
    std::vector<uint64_t> forgottenIcons();
    std::size_t listenerCount();

    const TempDir& root() const { return root_; }
    // Writes a file below the live packages root.
    std::filesystem::path writePackageFile(const std::string& package, const std::string& file,
                                           const std::string& content) const;
    // Writes a file in the user configuration folder.
    std::filesystem::path writeUserFile(const std::string& file, const std::string& content) const;

private:
    std::mutex mutex_;
    TempDir root_;
    DataFs::Folders folders_;
    std::shared_ptr<Catalog> catalog_;
    std::shared_ptr<PackageManager> manager_;
    std::vector<std::pair<uint32_t, uint32_t>> timers_;
    std::set<wstr> ignored_;
    SettingsStore::KeyMap variables_;
    std::vector<std::weak_ptr<DataFs::PackagesListener>> listeners_;
    bool mainWindow_ = true;
    std::vector<uint32_t> commands_;
    std::vector<wstr> edits_;
    std::vector<uint64_t> forgottenIcons_;
};

// Installs a FakeApp as both hosts while it lives; stops its package manager
// before removing them.
class AppScope {
public:
    AppScope();
    ~AppScope();
    AppScope(const AppScope&) = delete;
    AppScope& operator=(const AppScope&) = delete;
    FakeApp* operator->() const { return app_.get(); }
    FakeApp& operator*() const { return *app_; }
    const std::shared_ptr<FakeApp>& get() const { return app_; }

private:
    std::shared_ptr<FakeApp> app_;
};

// A plugin of the tests: records every message it receives, with what the
// calling thread looked like, then runs its hook.
class TestPlugin : public Plugin {
public:
    struct Record {
        uint32_t kind = 0;
        uint64_t sequence = 0;
        wstr text;
        uint32_t flags = 0;
        uint32_t callerState = 0;
        int schedPolicy = -1;
    };
    using Hook = std::function<void(TestPlugin&, const PluginMsg&)>;

    explicit TestPlugin(const wstr& fullName) : Plugin(fullName) {}

    bool isInternal() const override { return false; }
    void releaseScriptObject() override { released_ = true; }
    void dispatchEvent(const PluginMsg& msg) override;

    void setHook(Hook hook);
    std::vector<Record> records();
    bool released() const { return released_; }

private:
    std::mutex mutex_;
    std::vector<Record> records_;
    Hook hook_;
    std::atomic<bool> released_ = false;
};

// What a test package holds and how its load behaves.
struct PackageSpec {
    std::vector<wstr> classes;
    // The name the package is made with, when not the folder's.
    wstr packageName;
    bool failLoad = false;
    // Runs at the start of load (on the monitor thread).
    std::function<void()> onLoad;
    // Runs as the package is destroyed, on the thread that drops the last
    // reference; the harness then keeps none.
    std::function<void()> onRelease;
};

// A package holding plugins of these classes; onLoad runs as it loads.
PackageSpec plugins(std::vector<wstr> classes, std::function<void()> onLoad = {});
// A package whose load fails, made under another name when one is given.
PackageSpec failing(const wstr& packageName);

// A package of test plugins over its folder (resources through a real VDir).
class TestPackage : public Package {
public:
    TestPackage(const wstr& name, uint64_t revision, const wstr& folder, PackageSpec fixture);
    ~TestPackage() override;
    TestPackage(const TestPackage&) = delete;
    TestPackage& operator=(const TestPackage&) = delete;

    bool isInternal() const override { return false; }
    wstr findResource(const wstr& name, bool caseSensitive) override;
    wstr findResource(const wstr& name) override;
    std::vector<wstr> findResources(const wstr& pattern, bool recursive,
                                    bool caseSensitive) override;
    std::vector<wstr> findResources(const wstr& pattern, bool recursive) override;
    std::vector<VDir::EntryInfo> resourceInfo(const wstr& name, bool existingOnly) override;
    VDir::ReadResult readResource(const wstr& name, uint64_t limit, int layer) override;
    bool load() override;

    std::shared_ptr<TestPlugin> plugin(const wstr& className) const;

private:
    std::mutex dirMutex_;
    std::shared_ptr<VDir> dir_;
    PackageSpec spec_;
};

// The pool of the package manager in tests: keeps what the monitor hands it
// until a test takes it and runs it.
class FakePool : public PackageManager::Pool {
public:
    void start() override {}
    bool push(std::shared_ptr<ThreadPool::Task> task) override;
    void stop() override;

    // Waits for the first pushed message that matches and takes it out of the
    // pool; null when none came in time.
    std::shared_ptr<PluginMsg> take(const std::function<bool(const PluginMsg&)>& match);
    // The messages pushed and not taken.
    std::vector<std::shared_ptr<PluginMsg>> pushed();
    // While set, pushed tasks are released at once, as if they had run.
    void setDiscard(bool discard);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<PluginMsg>> tasks_;
    bool discard_ = false;
};

// A package manager over a FakePool, test packages from PackageSpecs and the
// live package folders of a FakeApp.
class ManagerHarness {
public:
    using Tweak = std::function<void(PackageManager::Options&)>;
    explicit ManagerHarness(const AppScope& app, const Tweak& tweak = {});
    ~ManagerHarness();

    // A package folder in the live root, with its fixture.
    void addPackage(const std::string& name, PackageSpec fixture);
    void removePackageFolder(const std::string& name);
    void start();

    const std::shared_ptr<PackageManager>& manager() const { return manager_; }
    FakePool& pool() { return *pool_; }
    std::shared_ptr<TestPackage> package(const wstr& name) const;
    std::shared_ptr<TestPlugin> plugin(const wstr& package, const wstr& className) const;

    // Takes the message of that kind for the plugin (by full name).
    std::shared_ptr<PluginMsg> take(const wstr& fullName, uint32_t kind);
    // Waits for n passes of the monitor that started after the call.
    bool passes(int n);
    // Waits for the next pass not waited for yet (one may have ended before).
    bool waitPass();
    // Waits until the package of that name is loaded with that revision.
    bool waitLoaded(const wstr& name, uint64_t revision);

private:
    std::shared_ptr<Package> make(const wstr& name, uint64_t revision,
                                  const std::vector<wstr>& places);

    const AppScope& app_;
    std::shared_ptr<FakePool> pool_ = std::make_shared<FakePool>();
    std::shared_ptr<PackageManager> manager_;
    Event dispatched_{true};
    mutable std::mutex mutex_;
    std::map<wstr, PackageSpec> specs_;
    std::map<wstr, std::shared_ptr<TestPackage>> made_;
};

// Runs a task on a thread of its own, as a pool worker would, and waits for
// it; the task is released afterwards.
void runTask(std::shared_ptr<PluginMsg> task);

// A task running on a thread of its own; its plugin hook may hold it there.
class RunningTask {
public:
    explicit RunningTask(std::shared_ptr<PluginMsg> task);
    ~RunningTask();
    void join();

private:
    std::thread thread_;
};

// Sets the event when the calling thread ends, after everything its thread
// function held is released (thread-local destructors run last).
void signalAtThreadEnd(Event::Handle event);

// A gate a hook waits at until the test opens it, and a signal that a
// thread reached it.
class Gate {
public:
    void wait();
    bool waitArrived();
    void open();

private:
    Event arrived_{false};
    Event open_{false};
};

} // namespace qvtest
