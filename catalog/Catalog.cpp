#include "catalog/Catalog.h"

#include "core/Logger.h"
#include "core/SysTime.h"

#include <algorithm>
#include <ctime>
#include <thread>
#include <unordered_set>

namespace {

// The local zone's offset from UTC at that instant, daylight saving or not.
int64_t localUtcOffset(int64_t time) {
    time_t t = static_cast<time_t>(time);
    struct tm local {};
    return localtime_r(&t, &local) ? local.tm_gmtoff : 0;
}

// The full names of the loaded plugins; asked of the package manager before
// the catalog's lock is taken.
CatalogHistory::PluginNames loadedPluginNames() {
    CatalogHistory::PluginNames names;
    std::shared_ptr<CatalogHost> host = CatalogHost::instance();
    if (!host)
        return names;
    for (uint64_t id : host->knownIds()) {
        if (std::optional<wstr> name = host->pluginFullName(id))
            names.emplace(id, std::move(*name));
    }
    return names;
}

void warnErrorItem(const CatalogPlugin& plugin, const CatalogItem& item) {
    wstr message;
    wstr::format(message,
                 L"ERROR items cannot be part of the catalog (plugin: {}; label: \"{}\"; desc: "
                 L"\"{}\")",
                 plugin.name(), item.label(), item.shortDesc());
    logMessage(Logger::Warning, std::move(message));
}

} // namespace

std::set<uint64_t> Catalog::knownPluginIds() {
    std::shared_ptr<CatalogHost> host = CatalogHost::instance();
    return host ? host->knownIds() : std::set<uint64_t>();
}

Catalog::Catalog() : scanWorkers_(std::min(std::max(std::thread::hardware_concurrency(), 1u), 8u)) {
    addBuiltinActions();
}

void Catalog::setExcludeNonexistentFiles(bool local, bool remote) {
    Mutex::Lock lock(mutex_);
    excludeNonexistentLocalFiles_ = local;
    excludeNonexistentRemoteFiles_ = remote;
}

std::size_t Catalog::insertPluginItems(CatalogPlugin& plugin,
                                       const std::vector<CatalogItemPtr>& items, bool replace) {
    Mutex::Lock lock(mutex_);
    store_.releaseUnshared(releaseStep);
    auto noteChanges = [&](std::size_t changes) {
        if (changes != 0) {
            if (!plugin.isInternal())
                markDirty();
            notifyChanged(searchChanged);
        }
        return changes;
    };
    if (replace && items.empty())
        return noteChanges(store_.removePlugin(plugin.id()));
    std::unordered_set<uint64_t> leftovers;
    if (replace) {
        std::vector<uint64_t> ids = store_.idsOfPlugin(plugin.id());
        leftovers.insert(ids.begin(), ids.end());
    }
    std::size_t changes = 0;
    bool warned = false;
    for (const CatalogItemPtr& item : items) {
        if (!item || item->pluginId() != plugin.id())
            continue;
        if (!item->isValid() || item->category() == CatalogItem::error) {
            if (!warned) {
                if (item->isValid())
                    warnErrorItem(plugin, *item);
                else
                    warnInvalidItem(L"item", plugin, *item);
            }
            warned = true;
            continue;
        }
        storePluginItem(item);
        leftovers.erase(item->id());
        ++changes;
        if (plugin.shouldTerminate(true))
            return 0;
    }
    for (uint64_t id : leftovers)
        changes += store_.removeId(id) ? 1 : 0;
    return noteChanges(changes);
}

// A new id takes the history's object of that id when there is one, so that
// its hits count; a known id keeps the stored object, which takes the data.
void Catalog::storePluginItem(const CatalogItemPtr& item) {
    CatalogItemPtr stored = store_.find(item->id());
    if (!stored) {
        CatalogItemPtr own = history_.refreshItem(item);
        store_.insert(own ? own : item);
    } else if (stored != item && stored->merge(*item)) {
        store_.reindex(stored);
        history_.refreshItem(stored);
    }
}

std::size_t Catalog::removePluginItems(uint64_t pluginId) {
    Mutex::Lock lock(mutex_);
    return store_.removePlugin(pluginId);
}

void Catalog::markDirty() {
    Mutex::Lock lock(mutex_);
    dirtyTime_ = static_cast<uint64_t>(Sys::perfCounter() * 1000 / Sys::perfFrequency);
    dirtyEvent_.set();
}

uint64_t Catalog::dirtyTime() {
    Mutex::Lock lock(mutex_);
    return dirtyTime_;
}

std::size_t Catalog::itemCount() {
    Mutex::Lock lock(mutex_);
    return store_.size();
}

void Catalog::notifyChanged(ChangeKind kind) {
    if (std::shared_ptr<CatalogHost> host = CatalogHost::instance())
        host->setTimer(firstChangeTimer + kind, changeDelayMs);
}

bool Catalog::recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action) {
    if (!item || !item->isValid() || item->category() == CatalogItem::error ||
        (action && action->id() == 0))
        return false;
    CatalogHistory::PluginNames names = loadedPluginNames();
    Mutex::Lock lock(mutex_);
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (history_.addHit(item, action, now, localUtcOffset(now))) {
        history_.refreshPluginNames(names);
        saveHistory();
    }
    return true;
}

void Catalog::addSearchTerms(const wstr& text, const CatalogItemPtr& item) {
    Mutex::Lock lock(mutex_);
    history_.addSearchTerms(text, item);
}

void Catalog::clearHistory() {
    Mutex::Lock lock(mutex_);
    history_.clear();
    deleteHistoryFile();
    clearHitCounts([](uint64_t) { return true; });
}

void Catalog::eraseHistoryItem(const CatalogItemPtr& item) {
    if (!item || !item->isValid())
        return;
    CatalogHistory::PluginNames names = loadedPluginNames();
    Mutex::Lock lock(mutex_);
    if (history_.eraseItem(item)) {
        history_.refreshPluginNames(names);
        saveHistory();
    }
    if (CatalogItemPtr stored = store_.find(item->id()))
        stored->setHitCount(0);
    auto suggested = suggestions_.find(item->pluginId());
    if (suggested == suggestions_.end())
        return;
    for (const CatalogItemPtr& suggestion : suggested->second) {
        if (suggestion->id() == item->id())
            suggestion->setHitCount(0);
    }
}

void Catalog::eraseHistoryPackage(uint32_t packageId) {
    if (packageId < 2)
        return;
    CatalogHistory::PluginNames names = loadedPluginNames();
    Mutex::Lock lock(mutex_);
    if (history_.erasePackage(packageId)) {
        history_.refreshPluginNames(names);
        saveHistory();
    }
    clearHitCounts([packageId](uint64_t pluginId) {
        return static_cast<uint32_t>(pluginId >> 32) == packageId;
    });
}

std::size_t Catalog::countHistoryOrphans() {
    std::set<uint64_t> known = knownPluginIds();
    Mutex::Lock lock(mutex_);
    return history_.countOrphans(known);
}

std::size_t Catalog::removeHistoryOrphans() {
    std::set<uint64_t> known = knownPluginIds();
    CatalogHistory::PluginNames names = loadedPluginNames();
    Mutex::Lock lock(mutex_);
    const std::size_t before = history_.items().size();
    history_.removeOrphans(known);
    const std::size_t removed = before - history_.items().size();
    if (removed) {
        history_.refreshPluginNames(names);
        saveHistory();
    }
    return removed;
}

bool Catalog::historyHasItem(const CatalogItemPtr& item) {
    Mutex::Lock lock(mutex_);
    return item && history_.items().contains(item->id());
}

bool Catalog::historyHasPackage(uint32_t packageId) {
    Mutex::Lock lock(mutex_);
    bool found = false;
    history_.items().forEach(
        [&](const CatalogItemPtr& item) { found = found || item->packageId() == packageId; });
    return found;
}

wstr Catalog::getHistoryTerms(const CatalogItemPtr& item) {
    Mutex::Lock lock(mutex_);
    return history_.termsOf(item);
}

void Catalog::getStats(Stats& stats) {
    std::set<uint64_t> known = knownPluginIds();
    Mutex::Lock lock(mutex_);
    stats = Stats();
    stats.pluginNames = history_.pluginNames();
    stats.orphans = history_.countOrphans(known);
    stats.totalCatalogItems = store_.size();
    stats.totalHistoryItems = history_.items().size();
    stats.totalKeywords = history_.keywords().size();
    stats.totalHits = history_.hits().size();
    auto count = [&stats](const CatalogItem& item, uint64_t Stats::Counters::*field) {
        ++(stats.packages[item.packageId()].*field);
        ++(stats.plugins[item.pluginId()].*field);
    };
    store_.forEachPluginId([&stats](uint64_t pluginId) {
        ++stats.packages[static_cast<uint32_t>(pluginId >> 32)].catalogItems;
        ++stats.plugins[pluginId].catalogItems;
    });
    history_.items().forEach(
        [&](const CatalogItemPtr& item) { count(*item, &Stats::Counters::historyItems); });
    auto counted = [&stats](const CatalogItem& item) {
        return stats.packages.count(item.packageId()) && stats.plugins.count(item.pluginId());
    };
    for (const auto& [text, list] : history_.keywords()) {
        stats.totalKwAssocItems += list.size();
        std::set<uint64_t> pluginsSeen;
        for (const CatalogItemPtr& item : list) {
            if (!counted(*item))
                continue;
            count(*item, &Stats::Counters::keywordEntries);
            if (pluginsSeen.insert(item->pluginId()).second)
                count(*item, &Stats::Counters::terms);
        }
    }
    for (const CatalogHistory::HitPtr& hit : history_.hits()) {
        if (counted(*hit->item))
            count(*hit->item, &Stats::Counters::hits);
    }
    if (history_.hits().empty())
        return;
    const CatalogHistory::Hit& first = **history_.hits().begin();
    const CatalogHistory::Hit& last = **history_.hits().rbegin();
    stats.firstHit = Sys::isoTimestampOffset(first.time, first.utcOffset);
    stats.lastHit = Sys::isoTimestampOffset(last.time, last.utcOffset);
    stats.historySpan = last.time - first.time;
}

void Catalog::warnInvalidItem(const wchar_t* what, const CatalogPlugin& plugin,
                              const CatalogItem& item) {
    wstr message;
    wstr::format(message,
                 L"Ignoring {} with invalid property(ies) from plugin {} (category: {}; label: "
                 L"\"{}\"; target: \"{}\"): {}",
                 what, plugin.name(), categoryName(item.category()).c_str(), item.label(),
                 item.target(), item.invalidProperties());
    logMessage(Logger::Warning, std::move(message));
}

template <typename Pred> void Catalog::clearHitCounts(Pred&& pluginIdPred) {
    store_.clearHitCounts(pluginIdPred);
    for (const auto& [pluginId, list] : suggestions_) {
        for (const CatalogItemPtr& item : list) {
            if (pluginIdPred(item->pluginId()))
                item->setHitCount(0);
        }
    }
}
