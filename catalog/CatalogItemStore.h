#pragma once

#include "catalog/CatalogItem.h"
#include "catalog/ScanWorkers.h"
#include "catalog/SlotSet.h"

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

class CatalogResults;

// The items of the catalog or of the history, one per item id, with two
// per-character indexes that narrow a search down to the items holding the
// typed characters: one over the lower-case composed texts, one over the
// lower-case displayed arguments. Each item takes a slot; an index maps a
// character to the set of slots whose text holds it (spaces and control
// characters are not indexed). Not thread-safe: the catalog's lock guards it.
class CatalogItemStore {
public:
    enum class IndexKind { composed, args };

    // Stores the item unless one with its id is stored. Then the stored object
    // stays (every holder keeps seeing it): the given item is merged into it
    // and it is re-indexed when that changed something. Returns the stored
    // object and whether the given one was inserted.
    std::pair<CatalogItemPtr, bool> insert(const CatalogItemPtr& item);
    // Removes the item with the given item's id; false when there was none.
    bool remove(const CatalogItemPtr& item);
    // Remove every item of a plugin, or of a package (the plugin id's upper
    // 32 bits); return how many.
    std::size_t removePlugin(uint64_t pluginId);
    std::size_t removePackage(uint32_t packageId);
    void clear();
    // Indexes the stored object's current texts again (after a merge changed
    // them through another holder); false when this object is not stored.
    bool reindex(const CatalogItemPtr& item);

    CatalogItemPtr find(uint64_t id) const;
    bool contains(uint64_t id) const { return byId_.count(id) != 0; }
    std::size_t size() const { return byId_.size(); }
    // Replaces ids with the ids of the items, in no particular order (its
    // capacity is kept: a caller may make room before taking the lock).
    void ids(std::vector<uint64_t>& ids) const;
    // The items ordered by id.
    std::vector<CatalogItemPtr> sortedItems() const;
    // Calls fn(const CatalogItemPtr&) for every item, in no particular order.
    template <typename Fn> void forEach(Fn&& fn) const {
        for (const CatalogItemPtr& item : slots_) {
            if (item)
                fn(item);
        }
    }

    // Candidate selection and scoring: the items that hold every indexed
    // character of lowerText (the arguments index in a chained search), or in
    // a chained search with an empty text the items of the chain item's base
    // id, are scored in id order with Catalog::scoreCandidate and added to
    // the results with the given source. Items of plugins missing from a
    // non-empty knownIds are skipped. Returns the highest score added.
    uint64_t search(CatalogResults& results, const std::set<uint64_t>& knownIds, const wstr& text,
                    const wstr& lowerText, uint32_t source, const CatalogItemPtr& chainItem) const;

    // The same for the catalog's own items without a chain item, scanned in
    // slot order across the workers, but adding only the best `keep` results
    // (ResultOrder order; SIZE_MAX for all) and every result whose id is in
    // alwaysIds (sorted) or whose item has hits: the results a later pass of
    // the search may change or remove. Added in id order, so that results
    // that end up equal keep their order; the other matches are counted as
    // the results' unlisted ones.
    void searchBest(CatalogResults& results, const std::set<uint64_t>& knownIds, const wstr& text,
                    const wstr& lowerText, std::size_t keep, const std::vector<uint64_t>& alwaysIds,
                    ScanWorkers& workers) const;

    // What an index holds, as the sorted item ids per character; for
    // consistency checks.
    std::map<wchar_t, std::vector<uint64_t>> indexContents(IndexKind kind) const;

private:
    using Index = std::unordered_map<wchar_t, SlotSet>;

    uint32_t takeSlot(const CatalogItemPtr& item);
    void prefetch(const std::vector<uint32_t>& slots, std::size_t i) const;
    void indexSlot(uint32_t slot);
    void indexText(Index& index, uint32_t slot, std::wstring_view text);
    void freeSlot(uint32_t slot);
    struct Scan;
    void scanRange(Scan& scan, std::size_t worker, uint32_t begin, uint32_t end) const;
    void unindexSlot(uint32_t slot);
    template <typename Pred> std::size_t removeIf(Pred&& pred);
    std::vector<uint32_t> candidates(const wstr& lowerText, const CatalogItemPtr& chainItem) const;
    std::vector<uint32_t> intersect(const Index& index, const wstr& lowerText) const;

    std::unordered_map<uint64_t, uint32_t> byId_;
    std::vector<CatalogItemPtr> slots_; // empty entries are free
    std::vector<uint64_t> slotIds_;     // the item id of each used slot
    std::vector<uint32_t> freeSlots_;
    // Per slot, a bit for each character of its lower-case composed text
    // (several characters share a bit; 0 for a free slot), so that a scan
    // skips most items that cannot match without visiting them.
    std::vector<uint64_t> masks_;
    Index composedIndex_;
    Index argsIndex_;
};
