#include "catalog/CatalogHistory.h"

#include "catalog/CatalogResults.h"
#include "catalog/FuzzyMatch.h"
#include "core/Logger.h"
#include "core/SysFile.h"

#include <algorithm>
#include <iterator>

namespace {

// Applies change to every value and erases the entries it left empty.
template <typename Map, typename Fn> void changeAndDropEmpty(Map& map, Fn&& change) {
    for (auto entry = map.begin(); entry != map.end();) {
        change(entry->second);
        entry = entry->second.empty() ? map.erase(entry) : std::next(entry);
    }
}

template <typename T> int threeWay(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Null first, the same object equal, else by id.
template <typename Ptr> int compareById(const Ptr& a, const Ptr& b) {
    if (a == b)
        return 0;
    if (!a || !b)
        return a ? 1 : -1;
    return threeWay(a->id(), b->id());
}

bool fileExists(const wstr& path) {
    return Sys::isDirectory(path) >= 0;
}

// A file item whose file is gone, when the flag for its kind of path is set.
bool isMissingFile(const CatalogItem& item, bool excludeLocal, bool excludeRemote) {
    if (item.category() != CatalogItem::file || (!excludeLocal && !excludeRemote))
        return false;
    if (fileExists(item.target()))
        return false;
    return Path::isRemote(item.target()) ? excludeRemote : excludeLocal;
}

} // namespace

bool CatalogHistory::HitLess::operator()(const HitPtr& a, const HitPtr& b) const {
    if (int c = threeWay(a->time, b->time))
        return c < 0;
    if (int c = threeWay(a->utcOffset, b->utcOffset))
        return c < 0;
    if (int c = compareById(a->item, b->item))
        return c < 0;
    return compareById(a->action, b->action) < 0;
}

bool CatalogHistory::NoCaseLess::operator()(const wstr& a, const wstr& b) const {
    return wstr::compare(a, b, false) < 0;
}

void CatalogHistory::clear() {
    hits_.clear();
    store_.clear();
    byBaseId_.clear();
    actions_.clear();
    keywords_.clear();
}

CatalogItemPtr CatalogHistory::addHit(const CatalogItemPtr& item, const CatalogActionPtr& action,
                                      int64_t time, int64_t utcOffset) {
    if (!item || !item->isValid() || (action && action->id() == 0) || time <= 0 ||
        item->hitHint() == CatalogItem::ignore)
        return nullptr;
    bool withoutArgs =
        item->hitHint() == CatalogItem::noargs || item->argsHint() == CatalogItem::forbidden;
    CatalogActionPtr storedAction = action ? insertAction(action) : nullptr;
    CatalogItemPtr stored = insertItem(withoutArgs ? item->clone() : item);
    auto hit = std::make_shared<const Hit>(Hit{time, utcOffset, stored, storedAction});
    // A second execution within the same second is the same hit: the count
    // must keep matching the hits stored (and written).
    if (!hits_.insert(std::move(hit)).second)
        return nullptr;
    stored->setHitCount(stored->hitCount() + 1);
    if (!stored->rawArgs().empty()) {
        CatalogItemPtr base = insertItem(stored->clone());
        base->setHitCount(base->hitCount() + 1);
    }
    return stored;
}

void CatalogHistory::addSearchTerms(wstr text, const CatalogItemPtr& item) {
    normalizeSpaces(text);
    if (!item || !item->isValid() || text.empty())
        return;
    auto [keyword, added] = keywords_.try_emplace(std::move(text));
    std::vector<CatalogItemPtr>& list = keyword->second;
    if (!list.empty() && list.front()->id() == item->id())
        return;
    std::erase_if(list, [&item](const CatalogItemPtr& i) { return i->id() == item->id(); });
    list.insert(list.begin(), item);
    if (list.size() > maxItemsPerKeyword)
        list.resize(maxItemsPerKeyword);
}

CatalogItemPtr CatalogHistory::insertItem(const CatalogItemPtr& item) {
    if (!item)
        return nullptr;
    auto [stored, inserted] = store_.insert(item);
    if (inserted)
        byBaseId_[item->baseId()].push_back(item);
    return stored;
}

CatalogActionPtr CatalogHistory::insertAction(const CatalogActionPtr& action) {
    if (!action || action->id() == 0)
        return nullptr;
    auto [stored, inserted] = actions_.try_emplace(action->id(), action);
    if (!inserted && stored->second != action)
        stored->second->merge(*action);
    return stored->second;
}

CatalogItemPtr CatalogHistory::refreshItem(const CatalogItemPtr& item) {
    if (!item)
        return nullptr;
    auto found = byBaseId_.find(item->baseId());
    if (found == byBaseId_.end())
        return nullptr;
    CatalogItemPtr sameId;
    for (const CatalogItemPtr& stored : found->second) {
        // The very object may be shared with the catalog, which changed it:
        // its texts must be indexed again here too.
        if (stored == item || stored->merge(*item))
            store_.reindex(stored);
        if (stored->id() == item->id())
            sameId = stored;
    }
    return sameId;
}

bool CatalogHistory::eraseItem(const CatalogItemPtr& item) {
    if (!item || !item->isValid())
        return false;
    uint64_t id = item->id();
    return eraseItemsIf([id](const CatalogItem& i) { return i.id() == id; });
}

bool CatalogHistory::erasePackage(uint32_t packageId) {
    if (packageId < 2)
        return false;
    bool erased =
        eraseItemsIf([packageId](const CatalogItem& i) { return i.packageId() == packageId; });
    std::size_t actions = std::erase_if(actions_, [packageId](const auto& entry) {
        return (entry.second->pluginId() >> 32) == packageId;
    });
    return erased || actions != 0;
}

std::size_t CatalogHistory::countOrphans(const std::set<uint64_t>& knownIds) const {
    if (knownIds.empty())
        return 0;
    std::size_t count = 0;
    store_.forEach([&](const CatalogItemPtr& item) { count += !knownIds.count(item->pluginId()); });
    return count;
}

void CatalogHistory::removeOrphans(const std::set<uint64_t>& knownIds) {
    std::vector<CatalogItemPtr> orphans;
    if (!knownIds.empty()) {
        store_.forEach([&](const CatalogItemPtr& item) {
            if (!knownIds.count(item->pluginId()))
                orphans.push_back(item);
        });
    }
    for (const CatalogItemPtr& orphan : orphans)
        eraseItem(orphan);
    wstr message;
    if (orphans.empty())
        message = L"No orphan removed from history (none found).";
    else
        wstr::format(message, L"{} orphan{} removed from history.", orphans.size(),
                     orphans.size() == 1 ? L"" : L"s");
    logMessage(Logger::Info, std::move(message));
}

uint64_t CatalogHistory::search(CatalogResults& results, const std::set<uint64_t>& knownIds,
                                const wstr& text, const wstr& lowerText,
                                const CatalogItemPtr& chainItem, bool excludeMissingLocal,
                                bool excludeMissingRemote) const {
    uint64_t best =
        store_.search(results, knownIds, text, lowerText, CatalogResult::history, chainItem);
    auto keyword = keywords_.find(lowerText);
    if (keyword != keywords_.end() && !keyword->second.empty()) {
        if (CatalogResultPtr associated = results.lookup(keyword->second.front()->id())) {
            ++best;
            results.update(*associated, associated->item(), CatalogResult::keyword, best,
                           associated->kind());
        }
    }
    bool emptyChained = chainItem && text.empty();
    results.eraseIf([&](const CatalogResult& r) {
        const CatalogItem& item = *r.item();
        if (item.hitCount() == 0)
            return false;
        if (emptyChained && item.requiresArgs() && item.rawArgs().empty())
            return true;
        return isMissingFile(item, excludeMissingLocal, excludeMissingRemote);
    });
    for (const CatalogResultPtr& r : results)
        best = std::max(best, r->score());
    return best;
}

void CatalogHistory::toResults(CatalogResults& results) const {
    results.clear();
    std::set<uint64_t> seen;
    for (auto hit = hits_.rbegin(); hit != hits_.rend(); ++hit) {
        if (seen.insert((*hit)->item->id()).second)
            results.addUnscored((*hit)->item, CatalogResult::history, 0);
    }
}

CatalogActionPtr CatalogHistory::lastAction(const CatalogItemPtr& item) const {
    if (!item)
        return nullptr;
    for (auto hit = hits_.rbegin(); hit != hits_.rend(); ++hit) {
        if ((*hit)->item->id() == item->id())
            return (*hit)->action;
    }
    return nullptr;
}

wstr CatalogHistory::termsOf(const CatalogItemPtr& item) const {
    if (!item)
        return {};
    const wstr* byId = nullptr;
    const wstr* byBaseId = nullptr;
    for (const auto& [text, list] : keywords_) {
        if (list.empty())
            continue;
        const CatalogItem& first = *list.front();
        if (first.id() == item->id() && (!byId || text.size() < byId->size()))
            byId = &text;
        if (first.baseId() == item->baseId() && (!byBaseId || text.size() < byBaseId->size()))
            byBaseId = &text;
    }
    const wstr* best = byId ? byId : byBaseId;
    return best ? *best : wstr();
}

void CatalogHistory::refreshPluginNames(const PluginNames& loadedNames) {
    store_.forEach([&](const CatalogItemPtr& item) {
        if (pluginNames_.count(item->pluginId()))
            return;
        auto found = loadedNames.find(item->pluginId());
        if (found != loadedNames.end())
            pluginNames_.emplace(found->first, found->second);
    });
}

void CatalogHistory::dropDanglingTerms() {
    changeAndDropEmpty(keywords_, [this](std::vector<CatalogItemPtr>& list) {
        std::erase_if(list, [this](const CatalogItemPtr& i) { return !store_.contains(i->id()); });
    });
}

std::vector<CatalogItemPtr> CatalogHistory::sortedItems() const {
    std::vector<CatalogItemPtr> items = store_.sortedItems();
    std::stable_sort(items.begin(), items.end(),
                     [](const CatalogItemPtr& a, const CatalogItemPtr& b) {
                         return CatalogItem::compare(*a, *b) < 0;
                     });
    return items;
}

std::vector<CatalogActionPtr> CatalogHistory::sortedActions() const {
    std::vector<CatalogActionPtr> actions;
    for (const auto& [id, action] : actions_)
        actions.push_back(action);
    std::stable_sort(actions.begin(), actions.end(),
                     [](const CatalogActionPtr& a, const CatalogActionPtr& b) {
                         return CatalogAction::compare(*a, *b) < 0;
                     });
    return actions;
}

template <typename Pred> bool CatalogHistory::eraseItemsIf(Pred&& pred) {
    std::vector<CatalogItemPtr> doomed;
    store_.forEach([&](const CatalogItemPtr& item) {
        if (pred(*item))
            doomed.push_back(item);
    });
    for (const CatalogItemPtr& item : doomed) {
        store_.remove(item);
        forgetBaseId(item);
    }
    std::size_t hits =
        std::erase_if(hits_, [&pred](const HitPtr& hit) { return pred(*hit->item); });
    std::size_t terms = 0;
    changeAndDropEmpty(keywords_, [&](std::vector<CatalogItemPtr>& list) {
        terms += std::erase_if(list, [&pred](const CatalogItemPtr& i) { return pred(*i); });
    });
    return !doomed.empty() || hits != 0 || terms != 0;
}

void CatalogHistory::forgetBaseId(const CatalogItemPtr& item) {
    auto found = byBaseId_.find(item->baseId());
    if (found == byBaseId_.end())
        return;
    std::erase(found->second, item);
    if (found->second.empty())
        byBaseId_.erase(found);
}
