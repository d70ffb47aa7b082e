#include "packages/PackageManager.h"

#include "core/Logger.h"
#include "packages/PackageHost.h"
#include "platform/Error.h"

#include <algorithm>
#include <utility>

// --- Queueing ---------------------------------------------------------------

bool PackageManager::queueTask(const PackageTaskPtr& task, const PluginPtr& plugin) {
    if (!task || stopping_)
        return false;
    Mutex::Lock lock(mutex_);
    PackagePtr package = findPackageLocked(task->packageId(), task->packageRevision());
    if (!package || (plugin && plugin->revision() != task->packageRevision()))
        return false;
    auto msg = std::dynamic_pointer_cast<PluginMsg>(task);
    if (msg && msg->kind() == PluginMsg::kindCatalog && catalogRunning(*msg))
        return false;
    PackageTaskPtr queued = task;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if ((*it)->merge(*task)) {
            queued = *it;
            pending_.erase(it);
            break;
        }
    }
    if (msg) {
        PluginPtr target = plugin ? plugin : package->findPlugin(msg->pluginId());
        if (!target)
            return false;
        static_cast<PluginMsg&>(*queued).setSequence(target->nextSequence(msg->kind()));
    }
    insertPending(queued);
    wake_.set();
    return true;
}

// A "catalog" of the same plugin and revision that runs and will still
// deliver; a cancelled one, or one of an earlier load, delivers nothing.
bool PackageManager::catalogRunning(const PluginMsg& msg) const {
    for (const std::weak_ptr<PackageTask>& weak : running_) {
        auto running = std::dynamic_pointer_cast<PluginMsg>(weak.lock());
        if (running && running->kind() == PluginMsg::kindCatalog &&
            running->pluginId() == msg.pluginId() &&
            running->packageRevision() == msg.packageRevision() && !running->isCancelled() &&
            running->runEnd() == 0)
            return true;
    }
    return false;
}

// By due time; among equal due times by queued time; else last. Tasks due at
// once (both times 0) thus keep their order, ahead of delayed ones.
void PackageManager::insertPending(const PackageTaskPtr& task) {
    auto later = std::find_if(pending_.begin(), pending_.end(), [&](const PackageTaskPtr& other) {
        return PackageTask::isEarlier(task->dueTime(), other->dueTime());
    });
    if (later == pending_.end())
        later = std::find_if(pending_.begin(), pending_.end(), [&](const PackageTaskPtr& other) {
            return PackageTask::isEarlier(task->queuedTime(), other->queuedTime());
        });
    pending_.insert(later, task);
}

void PackageManager::broadcastMessage(uint32_t kind, const PluginMsg::Data& data) {
    std::vector<PackagePtr> packages;
    {
        Mutex::Lock lock(mutex_);
        for (const auto& [id, package] : packages_)
            packages.push_back(package);
    }
    for (const PackagePtr& package : packages)
        package->postMessage(kind, data);
}

bool PackageManager::sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data) {
    PackagePtr package = findPackage(static_cast<uint32_t>(pluginId >> 32), 0);
    PluginPtr plugin = package ? package->findPlugin(pluginId) : nullptr;
    if (!plugin || plugin->id() == 0 || plugin->fullName().empty())
        return false;
    if (kind == PluginMsg::kindExecute && data.item && !plugin->canExecute(*data.item))
        return false;
    std::shared_ptr<PluginMsg> msg = PluginMsg::create(package, plugin, kind, data);
    return msg && queueTask(msg, plugin);
}

std::size_t PackageManager::cancelMessages(uint32_t kind) {
    Mutex::Lock lock(mutex_);
    return dropTasks([kind](const PackageTask& task) {
        auto msg = dynamic_cast<const PluginMsg*>(&task);
        return msg && msg->kind() == kind;
    });
}

std::size_t PackageManager::dropTasks(const std::function<bool(const PackageTask&)>& matches) {
    const std::size_t removed =
        pending_.remove_if([&matches](const PackageTaskPtr& task) { return matches(*task); });
    for (const std::weak_ptr<PackageTask>& weak : running_) {
        PackageTaskPtr task = weak.lock();
        if (task && matches(*task))
            task->cancel();
    }
    return removed;
}

// --- Package changes ----------------------------------------------------------

// Under the changes lock: a full change wins over a configuration-only one.
bool PackageManager::noteChange(uint32_t packageId, const wstr& name, bool configOnly) {
    auto [entry, inserted] = changes_.try_emplace(packageId, Change{name, configOnly});
    if (inserted)
        return true;
    if (configOnly || !entry->second.configOnly)
        return false;
    entry->second.configOnly = false;
    return true;
}

void PackageManager::onPackagesChanged(const std::vector<DataFs::PackageChange>& changes) {
    bool changed = false;
    {
        Mutex::Lock lock(changesMutex_);
        for (const DataFs::PackageChange& change : changes)
            changed =
                noteChange(Package::idOf(change.name), change.name, change.configOnly) || changed;
    }
    if (changed)
        wake_.set();
}

// Monitor thread, without the main lock: unloading, reloading and reading
// settings may enter the interpreter.
void PackageManager::applyPackageChanges() {
    std::map<uint32_t, Change> changes;
    {
        Mutex::Lock lock(changesMutex_);
        changes.swap(changes_);
    }
    if (changes.empty())
        return;
    std::vector<PackagePtr> settings;
    std::vector<uint32_t> unload;
    std::vector<wstr> reload;
    {
        Mutex::Lock lock(mutex_);
        for (const auto& [id, change] : changes) {
            auto found = packages_.find(id);
            if (found != packages_.end() && change.configOnly)
                settings.push_back(found->second);
            else if (found != packages_.end())
                unload.push_back(id);
            if (!change.configOnly)
                reload.push_back(change.name);
        }
    }
    for (uint32_t id : unload)
        unloadPackage(id);
    for (const PackagePtr& package : settings) {
        if (!package->isUnloaded() && package->settingsLoaded() && package->loadSettings(true))
            package->postMessage(PluginMsg::kindEvents,
                                 PluginMsg::Data::eventFlags(PluginMsg::packageConfigChanged));
    }
    if (!reload.empty())
        reloadPackages(reload);
    if (!unload.empty() || !reload.empty()) {
        rebuildIndex();
        notifyPackagesChanged();
    }
}

// --- The monitor --------------------------------------------------------------

void PackageManager::setDispatchListener(Event::Handle event) {
    Mutex::Lock lock(mutex_);
    dispatchListener_ = std::move(event);
}

void PackageManager::monitorThreadProc(const std::weak_ptr<PackageManager>& weak) {
    const Event::Handle stop = Thread::currentStopEvent();
    Event::Handle wake;
    if (std::shared_ptr<PackageManager> self = weak.lock()) {
        wake = self->wake_.handle();
        self->monitorStartUp();
    }
    bool busy = false;
    for (;;) {
        uint32_t waitMs = 0;
        if (std::shared_ptr<PackageManager> self = weak.lock())
            waitMs = self->waitTime();
        else
            break;
        const uint32_t result = Event::waitAny({stop, wake}, waitMs);
        if (result == Platform::WAIT_OBJECT_0)
            break;
        if (result != Platform::WAIT_OBJECT_0 + 1 && result != Platform::WAIT_TIMEOUT) {
            wstr message;
            logMessage(Logger::Error,
                       wstr::format(message,
                                    L"Packages monitor unexpectedly stopped (result {}; waitTime "
                                    L"{:#08x}; error {})",
                                    result, waitMs, Platform::lastError()));
            break;
        }
        std::shared_ptr<PackageManager> self = weak.lock();
        if (!self)
            break;
        self->dispatchTasks();
        self->reportStuckTasks();
        const bool nowBusy = self->getTaskCounts().running != 0;
        std::shared_ptr<PackageHost> host = PackageHost::instance();
        if (nowBusy != busy && host)
            host->setTimer(nowBusy ? timerBusy : timerIdle, 0);
        busy = nowBusy;
        self->signalDispatched();
    }
    std::shared_ptr<PackageManager> self = weak.lock();
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (self && host)
        host->removePackagesListener(self.get());
}

// Loads every package, then listens to package changes; stops between
// packages once the manager is stopping.
void PackageManager::monitorStartUp() {
    loadInternalPackage();
    if (!stopping_)
        reloadPackages({});
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    if (host && !stopping_)
        host->addPackagesListener(weak_from_this());
}

// Running tasks are looked at every poll interval: to notice the end of the
// last one, and one that gets stuck.
uint32_t PackageManager::waitTime() {
    Mutex::Lock lock(mutex_);
    const uint32_t longest = running_.empty() ? options_.maxWaitMs : options_.runningPollMs;
    if (pending_.empty())
        return running_.empty() ? Platform::INFINITE : options_.runningPollMs;
    PackageTask& first = *pending_.front();
    const uint64_t now = PackageTask::now();
    if (!first.isDue() && PackageTask::isEarlier(now, first.dueTime()))
        return static_cast<uint32_t>(std::min<uint64_t>(first.dueTime() - now, longest));
    first.setDue();
    return 1;
}

void PackageManager::reportStuckTasks() {
    std::vector<PackageTaskPtr> stuck;
    {
        Mutex::Lock lock(mutex_);
        const uint64_t now = PackageTask::now();
        for (const std::weak_ptr<PackageTask>& weak : running_) {
            PackageTaskPtr task = weak.lock();
            const uint64_t start = task ? task->runStart() : 0;
            if (start == 0 || task->runEnd() != 0 ||
                !PackageTask::isEarlier(start + options_.stuckTaskMs, now))
                continue;
            if (task->markStuck())
                stuck.push_back(task);
        }
    }
    for (const PackageTaskPtr& task : stuck) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"{} has run for more than {} ms; the catalog cache no longer "
                                L"waits for this plugin",
                                wstr::fromUtf8(task->describe().c_str()), options_.stuckTaskMs));
    }
}

bool PackageManager::mustWait(const PackageTask& task) const {
    return std::any_of(running_.begin(), running_.end(), [&task](const auto& weak) {
        PackageTaskPtr running = weak.lock();
        return running && task.mustWaitFor(*running);
    });
}

void PackageManager::dispatchTasks() {
    wake_.reset();
    applyPackageChanges();
    Mutex::Lock lock(mutex_);
    const uint64_t now = PackageTask::now();
    for (auto it = pending_.begin(); it != pending_.end();) {
        PackageTask& task = **it;
        if (!task.isDue() && !PackageTask::isEarlier(now, task.dueTime()))
            task.setDue();
        if (!task.isDue() || mustWait(task) || !pool_) {
            ++it;
            continue;
        }
        running_.push_back(*it);
        if (!pool_->push(*it) && !stopping_) {
            wstr message;
            logMessage(Logger::Warning,
                       wstr::format(message, L"The thread pool refused task \"{}\"",
                                    wstr::fromUtf8(task.describe().c_str())));
        }
        it = pending_.erase(it);
    }
    running_.remove_if([](const std::weak_ptr<PackageTask>& weak) { return weak.expired(); });
}

void PackageManager::signalDispatched() {
    Mutex::Lock lock(mutex_);
    if (dispatchListener_)
        dispatchListener_->set();
}
