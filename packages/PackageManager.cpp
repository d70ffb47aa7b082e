// Python's headers go before Qt's, whose "slots" macro they use as a name.
#include "python/GilLock.h"

#include "packages/PackageManager.h"

#include "core/Logger.h"
#include "packages/PackageHost.h"
#include "packages/PackageInternal.h"
#include "platform/Error.h"
#include "platform/ThreadId.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// The program's ThreadPool as the manager's pool.
class SystemPool : public PackageManager::Pool {
public:
    SystemPool(const ThreadPool::Options& options,
               const std::function<void(uint32_t)>& terminateHook)
        : pool_(std::make_shared<ThreadPool>(options)) {
        if (terminateHook)
            pool_->setTerminateHook(terminateHook);
    }
    void start() override { pool_->start(); }
    bool push(std::shared_ptr<ThreadPool::Task> task) override {
        return pool_->push(std::move(task));
    }
    void stop() override { pool_->stop(); }

private:
    std::shared_ptr<ThreadPool> pool_;
};

void logInfo(const wstr& message) {
    logMessage(Logger::Info, message);
}

DataFs::IgnoredFilter ignoredFilter(const std::shared_ptr<PackageHost>& host) {
    return [host](const wstr& name) { return host->isPackageIgnored(name); };
}

} // namespace

PackageManager::PackageManager() : PackageManager(Options()) {}

PackageManager::PackageManager(Options options) : options_(std::move(options)) {}

PackageManager::~PackageManager() {
    stop();
}

// --- Life cycle -------------------------------------------------------------

void PackageManager::start() {
    const std::weak_ptr<PackageManager> weak = weak_from_this();
    if (weak.expired())
        throw std::bad_weak_ptr();
    stopping_ = false;
    std::shared_ptr<Pool> pool;
    {
        Mutex::Lock lock(mutex_);
        if (!pool_)
            pool_ = options_.poolFactory
                        ? options_.poolFactory()
                        : std::make_shared<SystemPool>(options_.pool, options_.terminateHook);
        pool = pool_;
    }
    pool->start();
    if (monitor_.running())
        return;
    Thread::launch(monitor_, [weak] { monitorThreadProc(weak); });
    monitorThreadId_ = monitor_.id();
}

void PackageManager::stop() {
    stopping_ = true;
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (host)
        host->removePackagesListener(this);
    stopMonitor();
    if (host)
        host->removePackagesListener(this);
    std::shared_ptr<Pool> pool;
    {
        Mutex::Lock lock(mutex_);
        dropTasks([](const PackageTask&) { return true; });
        pool = pool_;
    }
    unloadPackages(true);
    {
        Mutex::Lock lock(mutex_);
        index_.clear();
        knownIds_.clear();
    }
    if (pool)
        pool->stop();
    // The pool names a worker it leaves running by its id: the log tells
    // whose code keeps it (a worker's task is its until it ends). A worker
    // that waits for the Python lock, which another thread keeps, is not
    // its plugin's doing: those are counted, not named.
    // Read once: a holder that lets go meanwhile must not turn the
    // threads left in its plugin's code into waiters.
    const bool lockStuck = GilLock::givenUp();
    const uint32_t lockHolder = GilLock::holder();
    std::size_t waiting = 0;
    for (const auto& [thread, owner] : pluginThreads(true)) {
        if (lockStuck && thread != lockHolder) {
            ++waiting;
            continue;
        }
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Thread {} is left running in plugin code of {}", thread,
                                owner));
    }
    if (waiting > 0) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"{} thread(s) of plugins are left running, waiting for the "
                                L"Python lock",
                                waiting));
    }
    Mutex::Lock lock(mutex_);
    pending_.clear();
    running_.clear();
    packages_.clear();
}

namespace {

using Deadline = std::chrono::steady_clock::time_point;

Deadline deadlineIn(uint32_t ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

bool endsBy(const Event::Handle& exited, Deadline deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return exited->wait(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0))) ==
           Platform::WAIT_OBJECT_0;
}

// A thread that script code may keep busy, as stop waits for it.
struct StoppingThread {
    Event::Handle exited;
    uint32_t id = 0;
    wstr what; // for the log line
};

} // namespace

// The monitor and the package loaders whose threads still run may run script code:
// each gets the stop time, then is interrupted and gets a shorter time more;
// one still running then is left to end by itself (the interpreter is then
// not finalised under it).
void PackageManager::stopMonitor() {
    const uint32_t monitorId = monitorThreadId_;
    const Deadline deadline = deadlineIn(options_.monitorStopMs);
    std::vector<StoppingThread> threads;
    if (monitorId != 0 && Platform::currentThreadId() != monitorId) {
        const Event::Handle exited = monitor_.exitEvent();
        Thread::stop(monitor_, 0, false);
        if (exited && !endsBy(exited, deadline))
            threads.push_back({exited, monitorId, L"Packages monitor"});
        monitorThreadId_ = 0;
    }
    {
        Mutex::Lock lock(loadersMutex_);
        for (const std::shared_ptr<Loader>& loader : loaders_) {
            // The last reference to the manager may go with a loader.
            if (loader->thread.id() == Platform::currentThreadId())
                continue;
            wstr what;
            threads.push_back({loader->thread.exitEvent(), loader->thread.id(),
                               wstr::format(what, L"Loading of package {}", loader->name)});
        }
        loaders_.clear();
    }
    std::erase_if(threads,
                  [deadline](const StoppingThread& t) { return endsBy(t.exited, deadline); });
    if (threads.empty())
        return;
    if (options_.terminateHook) {
        for (const StoppingThread& thread : threads)
            options_.terminateHook(thread.id);
        const Deadline interrupted = deadlineIn(options_.monitorInterruptedMs);
        std::erase_if(threads, [interrupted](const StoppingThread& t) {
            return endsBy(t.exited, interrupted);
        });
    }
    for (const StoppingThread& thread : threads) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"{} did not stop within {} ms; it is left running",
                                thread.what,
                                options_.monitorStopMs + options_.monitorInterruptedMs));
    }
}

// --- Loading ----------------------------------------------------------------

uint64_t PackageManager::nextRevision(uint32_t packageId) {
    Mutex::Lock lock(mutex_);
    uint64_t& revision = revisions_[packageId];
    if (++revision == 0)
        ++revision;
    return revision;
}

bool PackageManager::insertAndLoad(const PackagePtr& package) {
    {
        Mutex::Lock lock(mutex_);
        if (!packages_.emplace(package->id(), package).second)
            return false;
    }
    if (package->load())
        return true;
    Mutex::Lock lock(mutex_);
    auto found = packages_.find(package->id());
    if (found != packages_.end() && found->second == package)
        packages_.erase(found);
    return false;
}

void PackageManager::startPackages(const std::vector<PackagePtr>& packages) {
    for (const PackagePtr& package : packages) {
        package->postMessage(PluginMsg::kindStart, PluginMsg::Data::none());
        package->postMessage(PluginMsg::kindCatalog, PluginMsg::Data::none());
    }
    rebuildIndex();
    notifyPackagesChanged();
}

void PackageManager::loadInternalPackage() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    const wstr& name = PackageInternal::packageName();
    if (!host || findPackage(Package::idOf(name), 0) || host->isPackageIgnored(name))
        return;
    auto package = std::make_shared<PackageInternal>(nextRevision(Package::idOf(name)));
    if (insertAndLoad(package))
        startPackages({package});
}

// Without names every external package goes first; a named package found
// nowhere is reported (its unloading is the caller's).
DataFs::PackageMap PackageManager::packagesToLoad(const std::vector<wstr>& names,
                                                  const std::shared_ptr<PackageHost>& host) {
    const DataFs::Folders folders = host->folders();
    const DataFs::IgnoredFilter isIgnored = ignoredFilter(host);
    if (names.empty()) {
        unloadPackages(false);
        return DataFs::scanPackages(folders, wstr(), isIgnored);
    }
    DataFs::PackageMap found;
    for (const wstr& name : names) {
        if (isIgnored(name))
            continue;
        auto [foundName, places] = DataFs::findPackage(folders, name, isIgnored);
        wstr message;
        if (places.empty())
            logInfo(wstr::format(message, L"Unloaded package: {}", name));
        else
            found[foundName] = std::move(places);
    }
    return found;
}

void PackageManager::reloadPackages(const std::vector<wstr>& names) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (!host)
        return;
    std::vector<PackagePtr> loaded;
    for (const auto& [name, places] : packagesToLoad(names, host)) {
        if (stopping_)
            return;
        const uint32_t id = Package::idOf(name);
        unloadPackage(id);
        PackagePtr package = options_.packageFactory
                                 ? options_.packageFactory(name, nextRevision(id), places)
                                 : nullptr;
        if (package && loadInTime(package))
            loaded.push_back(package);
    }
    startPackages(loaded);
}

// A package whose scripts block (a module that sleeps or loops at import)
// must not hold back the packages after it.
bool PackageManager::loadInTime(const PackagePtr& package) {
    auto loader = std::make_shared<Loader>();
    loader->name = package->name();
    Thread::launch(loader->thread, [weak = weak_from_this(), package, loader] {
        runLoader(weak, package, loader);
    });
    trackLoader(loader);
    std::vector<Event::Handle> wakes{loader->done.handle()};
    if (const Event::Handle& stop = Thread::currentStopEvent())
        wakes.push_back(stop);
    Event::waitAny(wakes, options_.loadWaitMs);
    Mutex::Lock lock(loader->mutex);
    if (loader->finished)
        return loader->loaded;
    loader->late = true;
    wstr message;
    logInfo(wstr::format(
        message, L"Package {} is still loading after {} ms; the other packages load meanwhile",
        loader->name, options_.loadWaitMs));
    return false;
}

// A loader that has reported its result still runs: it may start its plugins
// and it drops its reference to the package, which can be the last one. Stop
// waits for it until its thread has ended.
void PackageManager::trackLoader(const std::shared_ptr<Loader>& loader) {
    Mutex::Lock lock(loadersMutex_);
    std::erase_if(loaders_, [](const std::shared_ptr<Loader>& other) {
        const Event::Handle exited = other->thread.exitEvent();
        return !exited || exited->wait(0) == Platform::WAIT_OBJECT_0;
    });
    loaders_.push_back(loader);
}

// A load the monitor went on without starts its plugins itself.
void PackageManager::runLoader(const std::weak_ptr<PackageManager>& weak, const PackagePtr& package,
                               const std::shared_ptr<Loader>& loader) {
    std::shared_ptr<PackageManager> self = weak.lock();
    const bool loaded = self && self->insertAndLoad(package);
    bool late = false;
    {
        Mutex::Lock lock(loader->mutex);
        loader->finished = true;
        loader->loaded = loaded;
        late = loader->late;
    }
    loader->done.set();
    if (late && loaded && !self->stopping_)
        self->startPackages({package});
}

bool PackageManager::unloadPackage(uint32_t packageId) {
    PackagePtr package;
    {
        Mutex::Lock lock(mutex_);
        auto found = packages_.find(packageId);
        if (found == packages_.end())
            return false;
        package = found->second;
        package->markUnloaded();
        dropTasks([packageId](const PackageTask& task) { return task.packageId() == packageId; });
        packages_.erase(found);
    }
    package->unloadPlugins();
    if (std::shared_ptr<PackageHost> host = PackageHost::instance())
        host->forgetPackageIcons(packageId);
    wake_.set();
    return true;
}

void PackageManager::unloadPackages(bool includeInternal) {
    const uint32_t internalId = Package::idOf(PackageInternal::packageName());
    std::vector<uint32_t> ids;
    {
        Mutex::Lock lock(mutex_);
        for (const auto& [id, package] : packages_) {
            if (includeInternal || id != internalId)
                ids.push_back(id);
        }
    }
    bool any = false;
    for (uint32_t id : ids)
        any = unloadPackage(id) || any;
    if (any)
        notifyPackagesChanged();
}

void PackageManager::applyConfig() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (!host)
        return;
    std::vector<std::pair<uint32_t, wstr>> noted;
    for (const auto& [id, name] : loadedNames()) {
        if (!host->isPackageIgnored(name))
            continue;
        wstr message;
        logInfo(wstr::format(message, L"Unloading ignored package: {}", name));
        noted.emplace_back(id, name);
    }
    loadInternalPackage();
    for (const auto& [name, places] :
         DataFs::scanPackages(host->folders(), wstr(), ignoredFilter(host))) {
        const uint32_t id = Package::idOf(name);
        if (!findPackage(id, 0))
            noted.emplace_back(id, name);
    }
    bool changed = false;
    {
        Mutex::Lock lock(changesMutex_);
        for (const auto& [id, name] : noted)
            changed = noteChange(id, name, false) || changed;
    }
    if (changed)
        wake_.set();
}

std::vector<std::pair<uint32_t, wstr>> PackageManager::loadedNames() const {
    Mutex::Lock lock(mutex_);
    std::vector<std::pair<uint32_t, wstr>> names;
    for (const auto& [id, package] : packages_)
        names.emplace_back(id, package->name());
    return names;
}

// --- Settings ---------------------------------------------------------------

void PackageManager::invalidatePackageSettings() {
    Mutex::Lock lock(mutex_);
    for (const auto& [id, package] : packages_)
        package->invalidateSettings();
}

// The settings are read without the main lock: reading enters the
// interpreter.
void PackageManager::reloadPackageSettings(uint32_t flags) {
    std::vector<PackagePtr> packages;
    {
        Mutex::Lock lock(mutex_);
        for (const auto& [id, package] : packages_)
            packages.push_back(package);
    }
    for (const PackagePtr& package : packages) {
        const bool changed = package->settingsLoaded() && package->loadSettings(true);
        if (changed)
            package->postMessage(
                PluginMsg::kindEvents,
                PluginMsg::Data::eventFlags(flags | PluginMsg::packageConfigChanged));
        else if (flags != 0)
            package->postMessage(PluginMsg::kindEvents, PluginMsg::Data::eventFlags(flags));
    }
}

// --- Lookups ----------------------------------------------------------------

PackagePtr PackageManager::findPackageLocked(uint32_t packageId, uint64_t revision) const {
    auto found = packages_.find(packageId);
    if (found == packages_.end() || found->second->isUnloaded())
        return nullptr;
    if (revision != 0 && found->second->revision() != revision)
        return nullptr;
    return found->second;
}

PackagePtr PackageManager::findPackage(uint32_t packageId, uint64_t revision) const {
    Mutex::Lock lock(mutex_);
    return findPackageLocked(packageId, revision);
}

wstr PackageManager::packageName(uint32_t packageId) const {
    Mutex::Lock lock(mutex_);
    auto found = packages_.find(packageId);
    return found == packages_.end() ? formatPluginId(packageId) : found->second->name();
}

wstr PackageManager::packageNameOf(uint32_t packageId) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    return manager ? manager->packageName(packageId) : formatPluginId(packageId);
}

PluginPtr PackageManager::findPlugin(uint64_t pluginId) const {
    PackagePtr package = findPackage(static_cast<uint32_t>(pluginId >> 32), 0);
    return package ? package->findPlugin(pluginId) : nullptr;
}

wstr PackageManager::pluginFullName(uint64_t pluginId, bool* found) const {
    PluginPtr plugin = findPlugin(pluginId);
    if (found)
        *found = plugin != nullptr;
    return plugin ? plugin->fullName() : formatFullId(pluginId);
}

wstr PackageManager::pluginFullNameOf(uint64_t pluginId) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    return manager ? manager->pluginFullName(pluginId) : formatFullId(pluginId);
}

bool PackageManager::hasPackage(const wstr& packageName) {
    return findPackage(Package::idOf(packageName), 0) != nullptr;
}

bool PackageManager::readResource(const wstr& packageName, const wstr& path, uint64_t limit,
                                  std::vector<uint8_t>& out) {
    PackagePtr package = findPackage(Package::idOf(packageName), 0);
    if (!package)
        return false;
    VDir::ReadResult read = package->readResource(path, limit, -1);
    if (read.status != VDir::ReadResult::Done)
        return false;
    out = std::move(read.bytes);
    return true;
}

wstr PackageManager::localPackagesFolder() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host ? host->folders().localPackages : wstr();
}

std::set<uint64_t> PackageManager::knownIds() const {
    Mutex::Lock lock(mutex_);
    return knownIds_;
}

void PackageManager::rebuildIndex() {
    Mutex::Lock lock(mutex_);
    index_.clear();
    knownIds_.clear();
    for (const auto& [id, package] : packages_) {
        index_.push_back({id, package->name()});
        knownIds_.insert(id);
        for (const PluginPtr& plugin : package->plugins())
            knownIds_.insert(plugin->id());
    }
}

void PackageManager::notifyPackagesChanged() {
    if (std::shared_ptr<PackageHost> host = PackageHost::instance())
        host->setTimer(timerPackagesChanged, 100);
}

// --- Threads of plugins -----------------------------------------------------

void PackageManager::registerRunningTask(const PackageTaskPtr& task) {
    if (!task || task->threadId() == 0)
        return;
    Mutex::Lock lock(threadsMutex_);
    std::erase_if(runningByThread_, [](const auto& entry) { return entry.second.expired(); });
    runningByThread_[task->threadId()] = task;
}

void PackageManager::unregisterRunningTask(const PackageTask& task) {
    Mutex::Lock lock(threadsMutex_);
    auto found = runningByThread_.find(task.threadId());
    if (found != runningByThread_.end() && found->second.lock().get() == &task)
        runningByThread_.erase(found);
}

wstr PackageManager::registerPythonThread(uint32_t ownerThreadId) {
    if (ownerThreadId == 0)
        return {};
    const uint32_t self = Platform::currentThreadId();
    Mutex::Lock lock(threadsMutex_);
    runningByThread_.erase(self);
    PackageTaskPtr owner;
    if (auto found = runningByThread_.find(ownerThreadId); found != runningByThread_.end()) {
        if (PackageTaskPtr task = found->second.lock())
            owner = std::make_shared<PluginThreadTask>(*task);
    }
    if (auto found = registeredThreads_.find(ownerThreadId);
        !owner && found != registeredThreads_.end())
        owner = found->second;
    if (!owner)
        return {};
    registeredThreads_[self] = owner;
    lock.unlock();
    return servedBy(*owner);
}

wstr PackageManager::servedBy(const PackageTask& task) const {
    if (PluginPtr plugin = task.plugin().lock())
        return plugin->fullName();
    PackagePtr package = findPackage(task.packageId(), 0);
    return package ? package->name() : formatFullId(uint64_t(task.packageId()) << 32);
}

std::map<uint32_t, wstr> PackageManager::pluginThreads(bool workersOnly) const {
    std::vector<std::pair<uint32_t, PackageTaskPtr>> tasks;
    {
        Mutex::Lock lock(threadsMutex_);
        for (const auto& [thread, task] : runningByThread_) {
            if (PackageTaskPtr running = task.lock())
                tasks.emplace_back(thread, running);
        }
        for (const auto& [thread, task] : registeredThreads_) {
            if (!workersOnly)
                tasks.emplace_back(thread, task);
        }
    }
    std::map<uint32_t, wstr> threads;
    for (const auto& [thread, task] : tasks)
        threads[thread] = servedBy(*task);
    return threads;
}

void PackageManager::unregisterPythonThread() {
    Mutex::Lock lock(threadsMutex_);
    registeredThreads_.erase(Platform::currentThreadId());
}

PackageTaskPtr PackageManager::findPythonThread() const {
    const uint32_t self = Platform::currentThreadId();
    Mutex::Lock lock(threadsMutex_);
    if (auto found = runningByThread_.find(self); found != runningByThread_.end()) {
        if (PackageTaskPtr task = found->second.lock())
            return task;
    }
    auto found = registeredThreads_.find(self);
    return found == registeredThreads_.end() ? nullptr : found->second;
}

// The task is looked up under the threads lock, which is released before the
// package's and the plugin's locks are taken. The main lock is never taken
// here: the catalog asks this under its own lock.
uint32_t PackageManager::callerState(PackageTaskPtr* task) const {
    const uint32_t self = Platform::currentThreadId();
    PackageTaskPtr found;
    bool registered = false;
    {
        Mutex::Lock lock(threadsMutex_);
        if (auto running = runningByThread_.find(self); running != runningByThread_.end())
            found = running->second.lock();
        if (auto thread = registeredThreads_.find(self);
            !found && thread != registeredThreads_.end()) {
            found = thread->second;
            registered = true;
        }
    }
    if (!found)
        return callerNoTask;
    const uint32_t state = taskState(*found, registered);
    if (state == callerShouldTerminate)
        found->cancel();
    else if (task)
        *task = found;
    return state;
}

// A registered thread serves its plugin as long as the package is loaded;
// only a task's own thread runs the current message.
uint32_t PackageManager::taskState(PackageTask& task, bool registered) const {
    PackagePtr package = task.package().lock();
    PluginPtr plugin = task.plugin().lock();
    if (!package || package->isUnloaded() || (plugin && plugin->isObsolete()))
        return callerShouldTerminate;
    if (registered)
        return callerThread;
    if (task.isCancelled())
        return callerShouldTerminate;
    auto msg = dynamic_cast<const PluginMsg*>(&task);
    if (!msg)
        return callerCurrent;
    if (!plugin || !plugin->isCurrent(msg->kind(), msg->sequence()))
        return callerShouldTerminate;
    return callerCurrent;
}

PackagePtr PackageManager::callerPackage(const wstr& name) const {
    if (PackageTaskPtr task = findPythonThread())
        return task->package().lock();
    return findPackage(Package::idOf(name), 0);
}
