#include "packages/PackageManager.h"

#include "files/DataFs.h"

#include <algorithm>

PackageManager::FullStats::PackageTask::PackageTask(const ::PackageTask& task, uint64_t now)
    : type(task.type()), description(task.describe()), threadId(task.threadId()),
      shouldTerminate(task.isCancelled()) {
    const uint64_t start = task.runStart();
    const uint64_t end = task.runEnd();
    if (start != 0 && end == 0) {
        const uint64_t at = now != 0 ? now : ::PackageTask::now();
        runningTime = ::PackageTask::isEarlier(start, at) ? at - start : 0;
    } else if (start != 0) {
        runningTime = ::PackageTask::isEarlier(start, end) ? end - start : 0;
    }
    auto msg = dynamic_cast<const PluginMsg*>(&task);
    if (type != ::PackageTask::typeMessage || !msg)
        return;
    kind = msg->kind();
    pluginId = msg->pluginId();
    kindName = msg->kindName();
}

namespace {

bool isCatalog(const ::PackageTask& task) {
    auto msg = dynamic_cast<const PluginMsg*>(&task);
    return msg && msg->kind() == PluginMsg::kindCatalog;
}

uint64_t pluginOf(const ::PackageTask& task) {
    auto msg = dynamic_cast<const PluginMsg*>(&task);
    return msg ? msg->pluginId() : 0;
}

} // namespace

PackageManager::TaskCounts PackageManager::getTaskCounts() const {
    Mutex::Lock lock(mutex_);
    TaskCounts counts;
    counts.packages = packages_.size();
    std::vector<PackageTaskPtr> running;
    std::set<uint64_t> stuckPlugins;
    for (const std::weak_ptr<::PackageTask>& weak : running_) {
        if (auto task = weak.lock()) {
            ++counts.running;
            counts.runningCatalog += isCatalog(*task);
            if (task->isStuck())
                stuckPlugins.insert(pluginOf(*task));
            running.push_back(std::move(task));
        }
    }
    counts.pending = pending_.size();
    for (const PackageTaskPtr& task : pending_)
        counts.pendingCatalog += isCatalog(*task);
    auto stuckCatalog = [&stuckPlugins](const PackageTaskPtr& task) {
        return isCatalog(*task) && stuckPlugins.count(pluginOf(*task)) != 0;
    };
    counts.stuckCatalog = std::count_if(running.begin(), running.end(), stuckCatalog) +
                          std::count_if(pending_.begin(), pending_.end(), stuckCatalog);
    return counts;
}

namespace {

using Stats = PackageManager::FullStats;

// Adds a record of the task to the snapshot's list and to its package's;
// nothing for a task whose package is not in the snapshot.
void addTask(Stats& stats, const ::PackageTask& task, uint64_t now, bool running) {
    auto package = stats.packages.find(task.packageId());
    if (package == stats.packages.end())
        return;
    auto record = std::make_shared<Stats::PackageTask>(task, now);
    (running ? package->second->runningTasks : package->second->pendingTasks).push_back(record);
    (running ? stats.runningTasks : stats.pendingTasks).push_back(record);
}

} // namespace

PackageManager::FullStats PackageManager::getFullStats() const {
    FullStats stats;
    Mutex::Lock lock(mutex_);
    const uint64_t now = ::PackageTask::now();
    for (const auto& [id, package] : packages_) {
        auto record = std::make_shared<FullStats::Package>();
        record->id = id;
        record->revision = package->revision();
        record->name = package->name();
        record->internal = package->isInternal();
        for (const PluginPtr& plugin : package->plugins()) {
            auto pluginRecord = std::make_shared<FullStats::Plugin>(
                FullStats::Plugin{plugin->id(), plugin->name(), plugin->shouldTerminate(true)});
            record->plugins[plugin->id()] = pluginRecord;
            stats.plugins[plugin->id()] = pluginRecord;
        }
        stats.packages[id] = record;
    }
    for (const std::weak_ptr<::PackageTask>& weak : running_) {
        if (auto task = weak.lock())
            addTask(stats, *task, now, true);
    }
    for (const PackageTaskPtr& task : pending_)
        addTask(stats, *task, now, false);
    return stats;
}

// Whether the package carries its own default settings file, each layer
// following its own case rule.
bool PackageManager::isConfigurable(Package& package) const {
    if (package.isUnloaded())
        return false;
    for (const wstr& file : DataFs::configFileVariants(wstr::lowerCopy(package.name()), false)) {
        if (!package.findResource(file).empty())
            return true;
    }
    return false;
}

std::vector<PackageManager::PackageEntry>
PackageManager::listPackages(bool configurableOnly) const {
    Mutex::Lock lock(mutex_);
    if (!configurableOnly)
        return index_;
    std::vector<PackageEntry> list;
    for (const auto& [id, package] : packages_) {
        if (isConfigurable(*package))
            list.push_back({id, package->name()});
    }
    return list;
}
