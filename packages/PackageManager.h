#pragma once

#include "core/Event.h"
#include "core/Mutex.h"
#include "core/Thread.h"
#include "core/ThreadPool.h"
#include "core/Wstr.h"
#include "files/DataFs.h"
#include "packages/Package.h"
#include "packages/PackageIcon.h"
#include "packages/PackageTask.h"
#include "packages/Plugin.h"
#include "packages/PluginMsg.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class PackageHost;

// Owns every loaded package, the thread pool on which plugin messages run and
// the packages monitor thread. It loads the built-in package and the packages
// found on disk, reloads and unloads them when their files or the settings
// change, queues, merges, orders and cancels the messages to plugins, keeps
// the map from threads to the tasks they run (so a plugin call learns which
// plugin it serves and whether it should stop), and answers lookups by id.
//
// Locks: the main lock first, then one package's or one plugin's lock; the
// changes lock and the threads lock alone or inside the main lock; a loader's
// lock before the loaders lock, both without the others. Package loads (each
// on a loader thread), settings reads and everything that enters the
// interpreter or the catalog run without the main lock, so that keystrokes
// never wait for them.
class PackageManager : public DataFs::PackagesListener,
                       public PackageIcon::Resources,
                       public std::enable_shared_from_this<PackageManager> {
public:
    // What callerState reports about the calling thread.
    enum CallerState : uint32_t {
        callerThread = 3,          // a thread a plugin registered, package loaded
        callerCurrent = 5,         // a current message of a loaded package and live plugin
        callerShouldTerminate = 8, // cancelled, superseded, or package or plugin gone
        callerNoTask = 16,
    };

    // App timers the manager asks for.
    static constexpr uint32_t timerPackagesChanged = 5;
    static constexpr uint32_t timerBusy = 6;
    static constexpr uint32_t timerIdle = 7;

    // Where tasks run: the program's ThreadPool, or a stand-in in tests.
    class Pool {
    public:
        virtual ~Pool() = default;
        virtual void start() = 0;
        // False when the task was refused. Any thread.
        virtual bool push(std::shared_ptr<ThreadPool::Task> task) = 0;
        // Drops queued tasks and stops the workers.
        virtual void stop() = 0;
    };

    // Makes the package of that name and revision from the places it was found
    // in (package roots in order); empty when it cannot be made. Monitor thread.
    using PackageFactory = std::function<std::shared_ptr<Package>(
        const wstr& name, uint64_t revision, const std::vector<wstr>& places)>;

    struct Options {
        // Packages on disk; without it only the built-in package loads.
        PackageFactory packageFactory;
        // Makes the pool on the first start; empty: a ThreadPool.
        std::function<std::shared_ptr<Pool>()> poolFactory;
        // Called with the kernel id of a pool worker, of the monitor or of a
        // package loader that did not end in time, so that script code running
        // there can be interrupted.
        std::function<void(uint32_t threadId)> terminateHook;
        // On stop, the monitor and the package loads still running get
        // monitorStopMs to end, then the terminate hook and
        // monitorInterruptedMs more; past that they are left running.
        uint32_t monitorStopMs = 5000;
        uint32_t monitorInterruptedMs = 1000;
        ThreadPool::Options pool;     // for the pool made when poolFactory is empty
        uint32_t runningPollMs = 500; // monitor's pass while tasks run
        uint32_t maxWaitMs = 10000;   // longest wait for a pending task
        // A package load that takes longer goes on by itself while the
        // monitor loads the next package.
        uint32_t loadWaitMs = 1000;
        // A task that runs longer is reported once; from then on the catalog
        // cache no longer waits for its plugin's "catalog" messages.
        uint32_t stuckTaskMs = 3000;
    };

    // One loaded package as listed.
    struct PackageEntry {
        uint32_t id = 0;
        wstr name;
        bool operator==(const PackageEntry&) const = default;
    };

    struct TaskCounts {
        uint64_t packages = 0;
        uint64_t running = 0;        // running tasks still alive
        uint64_t runningCatalog = 0; // of which "catalog" messages
        uint64_t pending = 0;
        uint64_t pendingCatalog = 0; // of which "catalog" messages
        // Of the running and pending "catalog" messages, those of a plugin
        // whose running task is stuck: they may never end.
        uint64_t stuckCatalog = 0;
    };

    // A snapshot for the diagnostic window: copies only, valid after the
    // packages it describes are gone.
    struct FullStats {
        struct Plugin {
            uint64_t id = 0;
            wstr name;
            bool shouldTerminate = false;
        };
        struct PackageTask {
            // `now` 0 reads the clock.
            PackageTask(const ::PackageTask& task, uint64_t now);
            uint32_t type = 0;
            std::string description;
            uint32_t threadId = 0;
            uint64_t runningTime = 0; // ms
            bool shouldTerminate = false;
            uint32_t kind = 0; // messages only, like the two below
            uint64_t pluginId = 0;
            std::string kindName;
        };
        using PluginPtr = std::shared_ptr<Plugin>;
        using TaskPtr = std::shared_ptr<PackageTask>;
        struct Package {
            uint32_t id = 0;
            uint64_t revision = 0;
            wstr name;
            bool internal = false;
            std::map<uint64_t, PluginPtr> plugins;
            std::vector<TaskPtr> pendingTasks;
            std::vector<TaskPtr> runningTasks;
        };

        std::map<uint32_t, std::shared_ptr<Package>> packages;
        std::map<uint64_t, PluginPtr> plugins;
        std::vector<TaskPtr> pendingTasks;
        std::vector<TaskPtr> runningTasks;
    };

    // Starts no thread.
    PackageManager();
    explicit PackageManager(Options options);
    ~PackageManager() override;
    PackageManager(const PackageManager&) = delete;
    PackageManager& operator=(const PackageManager&) = delete;

    // --- Life cycle (user-interface thread) ------------------------------------
    // Creates and starts the pool, then the monitor thread, which loads the
    // packages. Throws std::bad_weak_ptr unless a shared pointer owns it.
    void start();
    // Stops the monitor and the package loads in progress (each given a
    // bounded time, then interrupted, then given up), unloads every package
    // and stops the pool. Leaves the manager empty.
    void stop();

    // --- Loading ---------------------------------------------------------------
    // Loads the built-in package unless it is loaded or ignored. Monitor and
    // user-interface threads.
    void loadInternalPackage();
    // Loads the named packages again (each unloaded first), or with no names
    // every external package found on disk. Monitor thread.
    void reloadPackages(const std::vector<wstr>& names);
    // False when the package was not loaded. Any thread.
    bool unloadPackage(uint32_t packageId);
    void unloadPackages(bool includeInternal);
    // After a configuration reload: has the monitor unload packages now
    // ignored and load packages no longer ignored. User-interface thread.
    void applyConfig();

    // --- Settings (user-interface thread) --------------------------------------
    void invalidatePackageSettings();
    // Reads every package's loaded settings again and sends "events" with the
    // flags (plus 2 to a package whose settings changed); nothing to a package
    // that did not change when the flags are 0.
    void reloadPackageSettings(uint32_t flags);

    // --- Lookups (any thread) --------------------------------------------------
    // The loaded package of that id and revision (0: any).
    PackagePtr findPackage(uint32_t packageId, uint64_t revision) const;
    // The loaded package's name, else formatPluginId.
    wstr packageName(uint32_t packageId) const;
    static wstr packageNameOf(uint32_t packageId);
    PluginPtr findPlugin(uint64_t pluginId) const;
    // The plugin's full name, else formatFullId (found false).
    wstr pluginFullName(uint64_t pluginId, bool* found = nullptr) const;
    static wstr pluginFullNameOf(uint64_t pluginId);
    // All packages of the last index rebuild, or those that carry their own
    // default settings file; in id order.
    std::vector<PackageEntry> listPackages(bool configurableOnly) const;
    // The ids of the loaded packages and of their plugins.
    std::set<uint64_t> knownIds() const;
    TaskCounts getTaskCounts() const;
    // User-interface thread.
    FullStats getFullStats() const;

    // --- Threads of plugins (any thread) ---------------------------------------
    // The calling pool worker runs the task; unregistered when it ends.
    void registerRunningTask(const PackageTaskPtr& task);
    void unregisterRunningTask(const PackageTask& task);
    // Ties the calling thread to the package and plugin of the owner
    // thread's task (without keeping that task alive); returns whom it
    // serves (see pluginThreads), empty for none.
    wstr registerPythonThread(uint32_t ownerThreadId);
    void unregisterPythonThread();
    // The threads that run plugin code now, pool workers and the threads
    // plugins started, each with whom it serves: the full name of its plugin
    // ("<package>.<class>"), else its package's name; or the pool workers
    // alone.
    std::map<uint32_t, wstr> pluginThreads(bool workersOnly = false) const;
    // The calling thread's task, run or registered.
    PackageTaskPtr findPythonThread() const;
    // See CallerState; the task when 5 or 3.
    uint32_t callerState(PackageTaskPtr* task = nullptr) const;
    // The package of the calling thread's task, else the loaded package of
    // that name.
    PackagePtr callerPackage(const wstr& name) const;

    // --- Messages (any thread) -------------------------------------------------
    // Queues the task, merged into an equal pending message when there is one;
    // false when it was dropped.
    bool queueTask(const PackageTaskPtr& task, const PluginPtr& plugin = nullptr);
    void broadcastMessage(uint32_t kind, const PluginMsg::Data& data);
    // False when the plugin is not loaded, refuses an "execute" it cannot
    // carry out now (Plugin::canExecute), or the message was dropped.
    bool sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data);
    // Removes the pending messages of the kind and flags the running ones;
    // returns how many were removed.
    std::size_t cancelMessages(uint32_t kind);
    // Data monitor thread.
    void onPackagesChanged(const std::vector<DataFs::PackageChange>& changes) override;

    // --- What package icons read (any thread) ------------------------------------
    bool hasPackage(const wstr& packageName) override;
    bool readResource(const wstr& packageName, const wstr& path, uint64_t limit,
                      std::vector<uint8_t>& out) override;
    wstr localPackagesFolder() override;

    // Signalled after every pass of the monitor, once its busy or idle state
    // was reported (null: none). Any thread.
    void setDispatchListener(Event::Handle event);

private:
    // Whom the task's thread serves (see pluginThreads).
    wstr servedBy(const PackageTask& task) const;
    struct Change {
        wstr name;
        bool configOnly = false;
    };
    // A package load on a thread of its own (see loadInTime).
    struct Loader {
        wstr name;
        Thread thread;
        Event done{false};
        Mutex mutex; // guards the flags
        bool finished = false;
        bool loaded = false;
        bool late = false; // the monitor went on without it
    };
    using TaskList = std::list<PackageTaskPtr>;

    static void monitorThreadProc(const std::weak_ptr<PackageManager>& weak);
    void monitorStartUp();
    uint32_t waitTime();
    void dispatchTasks();
    void signalDispatched();
    bool mustWait(const PackageTask& task) const;
    void applyPackageChanges();
    bool noteChange(uint32_t packageId, const wstr& name, bool configOnly);
    void stopMonitor();
    // Loads the package on a loader thread and waits up to loadWaitMs: true
    // when it loaded by then. A load still running then is left to finish and
    // start its plugins by itself.
    bool loadInTime(const PackagePtr& package);
    void trackLoader(const std::shared_ptr<Loader>& loader);
    static void runLoader(const std::weak_ptr<PackageManager>& weak, const PackagePtr& package,
                          const std::shared_ptr<Loader>& loader);
    // Reports running tasks that passed stuckTaskMs, once each. Monitor thread.
    void reportStuckTasks();

    DataFs::PackageMap packagesToLoad(const std::vector<wstr>& names,
                                      const std::shared_ptr<PackageHost>& host);
    // {id, name} of the loaded packages, copied under the main lock.
    std::vector<std::pair<uint32_t, wstr>> loadedNames() const;
    uint64_t nextRevision(uint32_t packageId);
    // Inserts the package and loads it outside the lock; false (and the
    // entry removed again) when it was present already or failed to load.
    bool insertAndLoad(const PackagePtr& package);
    void startPackages(const std::vector<PackagePtr>& packages);
    PackagePtr findPackageLocked(uint32_t packageId, uint64_t revision) const;
    bool catalogRunning(const PluginMsg& msg) const;
    void insertPending(const PackageTaskPtr& task);
    // Under the lock: removes the matching pending tasks and cancels the
    // matching running ones; returns how many were removed.
    std::size_t dropTasks(const std::function<bool(const PackageTask&)>& matches);
    void rebuildIndex();
    void notifyPackagesChanged();
    bool isConfigurable(Package& package) const;
    uint32_t taskState(PackageTask& task, bool registered) const;

    const Options options_;
    Thread monitor_;
    std::atomic<uint32_t> monitorThreadId_ = 0;
    std::atomic<bool> stopping_ = false;

    mutable Mutex mutex_; // main lock: guards the members up to the changes lock
    Event wake_{true};
    std::shared_ptr<Pool> pool_;
    std::map<uint32_t, PackagePtr> packages_;
    std::map<uint32_t, uint64_t> revisions_;
    std::vector<PackageEntry> index_;
    std::set<uint64_t> knownIds_;
    TaskList pending_;
    std::list<std::weak_ptr<PackageTask>> running_;
    Event::Handle dispatchListener_;

    Mutex changesMutex_;
    std::map<uint32_t, Change> changes_;

    Mutex loadersMutex_;
    std::vector<std::shared_ptr<Loader>> loaders_; // until their threads have ended

    mutable Mutex threadsMutex_;
    std::map<uint32_t, std::weak_ptr<PackageTask>> runningByThread_;
    std::map<uint32_t, PackageTaskPtr> registeredThreads_;
};
