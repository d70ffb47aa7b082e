#pragma once

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "catalog/CatalogItemStore.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

class CatalogResults;

// What the user executed: the items and actions involved, every execution (a
// hit) with its time, and the items chosen after typing a given text
// (keyword associations). The history keeps its own shared item and action
// objects; the catalog adopts the history's object of an id (refreshItem), so
// that one object per executed item carries its hit count everywhere.
//
// No lock of its own: every operation runs under the catalog's lock. What it
// needs of the package manager (known plugin ids, plugin names) is handed in,
// copied before that lock was taken.
class CatalogHistory {
public:
    struct Hit {
        int64_t time = 0;      // seconds since 1970, UTC
        int64_t utcOffset = 0; // seconds; local time = UTC + offset
        CatalogItemPtr item;
        CatalogActionPtr action; // may be empty
    };
    using HitPtr = std::shared_ptr<const Hit>;
    // By time, UTC offset, item id (the same object equal) and action id (no
    // action first); one hit per item and action and second.
    struct HitLess {
        bool operator()(const HitPtr& a, const HitPtr& b) const;
    };
    using Hits = std::set<HitPtr, HitLess>;
    struct NoCaseLess {
        bool operator()(const wstr& a, const wstr& b) const;
    };
    // Search text (without case) to items, most recent first, at most 5.
    using Keywords = std::map<wstr, std::vector<CatalogItemPtr>, NoCaseLess>;
    using PluginNames = std::map<uint64_t, wstr>;
    static constexpr std::size_t maxItemsPerKeyword = 5;

    // Empties hits, items, actions and keywords (the plugin names stay).
    void clear();

    // Records an execution of a valid item (its clone without arguments when
    // it forbids them or asks for noargs; nothing for hit hint ignore, an
    // action with id 0, a time not positive, or a hit already recorded for the
    // same item, action and second). Raises the hit count of the stored item
    // and, for an item with arguments, of the stored item without them.
    // Returns the stored item, or nothing when nothing was recorded.
    CatalogItemPtr addHit(const CatalogItemPtr& item, const CatalogActionPtr& action, int64_t time,
                          int64_t utcOffset);
    // Associates the normalised text with the item, most recent first.
    void addSearchTerms(wstr text, const CatalogItemPtr& item);
    // The stored item of the item's id (merged from the given one), inserting
    // the given one when there is none.
    CatalogItemPtr insertItem(const CatalogItemPtr& item);
    // The stored action of the action's id (merged); nothing for id 0.
    CatalogActionPtr insertAction(const CatalogActionPtr& action);
    // Merges newer catalog data into every stored item of the same base id and
    // returns the stored item of the same id, or nothing.
    CatalogItemPtr refreshItem(const CatalogItemPtr& item);

    // Erase an item (by id) or everything of a package (ids below 2 erase
    // nothing) with their hits and keyword entries; true when anything went.
    bool eraseItem(const CatalogItemPtr& item);
    bool erasePackage(uint32_t packageId);
    // Orphans are stored items whose plugin is not among knownIds. An empty
    // set means the loaded plugins are not known yet: no orphans then.
    std::size_t countOrphans(const std::set<uint64_t>& knownIds) const;
    void removeOrphans(const std::set<uint64_t>& knownIds);

    // The history's part of a search: scores its items (source history), lifts
    // the item associated with exactly this text to a keyword result, and
    // drops results of executed items that cannot be used: required arguments
    // missing in a chained search with an empty text, or a file that no
    // longer exists (local or remote, as the flags say). Returns the best
    // score left.
    uint64_t search(CatalogResults& results, const std::set<uint64_t>& knownIds, const wstr& text,
                    const wstr& lowerText, const CatalogItemPtr& chainItem,
                    bool excludeMissingLocal, bool excludeMissingRemote) const;
    // The history view: each executed item once, newest hit first, unscored.
    void toResults(CatalogResults& results) const;
    // The action of the item's newest hit, or nothing.
    CatalogActionPtr lastAction(const CatalogItemPtr& item) const;
    // The shortest text whose most recent item is this item (else one of its
    // base id); empty when none.
    wstr termsOf(const CatalogItemPtr& item) const;

    // Adds to the plugin names the name, from loadedNames, of every stored
    // item's plugin that has none yet.
    void refreshPluginNames(const PluginNames& loadedNames);
    // Drops keyword entries whose item is no longer stored, and empty keywords.
    void dropDanglingTerms();
    // Items ordered by CatalogItem::compare, actions by CatalogAction::compare.
    std::vector<CatalogItemPtr> sortedItems() const;
    std::vector<CatalogActionPtr> sortedActions() const;

    const Hits& hits() const { return hits_; }
    const CatalogItemStore& items() const { return store_; }
    const std::map<uint64_t, CatalogActionPtr>& actions() const { return actions_; }
    const Keywords& keywords() const { return keywords_; }
    const PluginNames& pluginNames() const { return pluginNames_; }

private:
    template <typename Pred> bool eraseItemsIf(Pred&& pred);
    void forgetBaseId(const CatalogItemPtr& item);

    Hits hits_;
    // The items, by id, with their per-character indexes.
    CatalogItemStore store_;
    // The same items by base id, to refresh them from newer catalog data.
    std::unordered_map<uint64_t, std::vector<CatalogItemPtr>> byBaseId_;
    std::map<uint64_t, CatalogActionPtr> actions_;
    Keywords keywords_;
    PluginNames pluginNames_;
};
