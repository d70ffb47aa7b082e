#pragma once

#include "catalog/CatalogItem.h"
#include "catalog/ItemRecord.h"
#include "catalog/ScanWorkers.h"
#include "catalog/SearchTexts.h"
#include "catalog/SlotSet.h"

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

class CatalogResults;
struct WorkerMatches;

// The items of the catalog or of the history, one per item id, with two
// per-character indexes that narrow a search down to the items holding the
// typed characters: one over the lower-case composed texts, one over the
// lower-case displayed arguments. Each item takes a slot; an index maps a
// character to the set of slots whose text holds it (spaces and control
// characters are not indexed). Not thread-safe: the catalog's lock guards it.
//
// The compact layout (the catalog's own items, which may be millions) keeps
// no per-character index, only how many items hold each character, and
// keeps each item as an ItemRecord. An item object exists only while someone
// other than the store may hold it: the object inserted, or one made from
// the record when the store hands it out (find, forEach, insert of a known
// id, search results). Such an object is what the store reads until
// releaseUnshared finds the store its only holder and lets it go, so that
// every holder keeps seeing the stored object, as with the indexed layout.
class CatalogItemStore {
public:
    enum class IndexKind { composed, args };
    enum class Layout { indexed, compact };

    explicit CatalogItemStore(Layout layout = Layout::indexed) : layout_(layout) {}

    // Stores the item unless one with its id is stored. Then the stored object
    // stays (every holder keeps seeing it): the given item is merged into it
    // and it is re-indexed when that changed something. Returns the stored
    // object and whether the given one was inserted.
    std::pair<CatalogItemPtr, bool> insert(const CatalogItemPtr& item);
    // Removes the item with the given item's id; false when there was none.
    bool remove(const CatalogItemPtr& item);
    bool removeId(uint64_t id);
    // Remove every item of a plugin, or of a package (the plugin id's upper
    // 32 bits); return how many.
    std::size_t removePlugin(uint64_t pluginId);
    std::size_t removePackage(uint32_t packageId);
    void clear();
    // Indexes the stored object's current texts again (after a merge changed
    // them through another holder); false when this object is not stored.
    bool reindex(const CatalogItemPtr& item);

    // Records items read from the cache file (compact layout) in the order
    // given: ids the store does not hold, each once, with whole records. The
    // workers share out the counting of their characters.
    void insertRecords(std::vector<std::pair<uint64_t, ItemRecord>>&& records,
                       ScanWorkers& workers);

    CatalogItemPtr find(uint64_t id) const;
    bool contains(uint64_t id) const { return byId_.count(id) != 0; }
    // A copy of the whole record of the id when no object of it is handed
    // out or the one out is still what the record holds, hit count aside
    // (what the cache writer serialises outside the lock); an unused record
    // otherwise.
    ItemRecord recordCopy(uint64_t id) const;
    // Lets go of the handed-out objects that only the store holds any more
    // (compact layout), looking at no more than `limit` of them, so that a
    // caller holding the lock bounds its time; the next call goes on where
    // this one stopped.
    // With `released`, the objects let go of are moved there, so that the
    // caller destroys them once it let go of the lock.
    void releaseUnshared(std::size_t limit = SIZE_MAX,
                         std::vector<CatalogItemPtr>* released = nullptr);
    std::size_t size() const { return byId_.size(); }
    // Replaces ids with the ids of the items, in no particular order (its
    // capacity is kept: a caller may make room before taking the lock).
    void ids(std::vector<uint64_t>& ids) const;
    // The items ordered by id.
    std::vector<CatalogItemPtr> sortedItems() const;
    // Calls fn(const CatalogItemPtr&) for every item, in no particular order.
    // With the compact layout this hands out every object.
    template <typename Fn> void forEach(Fn&& fn) const {
        for (uint32_t slot = 0; slot < slotIds_.size(); ++slot) {
            if (slotIds_[slot] != 0)
                fn(object(slot));
        }
    }
    // Calls fn(pluginId) for every item, handing out nothing.
    template <typename Fn> void forEachPluginId(Fn&& fn) const {
        for (uint32_t slot = 0; slot < slotIds_.size(); ++slot) {
            if (slotIds_[slot] != 0)
                fn(pluginIdOf(slot));
        }
    }
    // The ids of a plugin's items.
    std::vector<uint64_t> idsOfPlugin(uint64_t pluginId) const;
    // Sets the hit count of the items whose plugin id passes to 0.
    template <typename Pred> void clearHitCounts(Pred&& pluginIdPred) {
        for (uint32_t slot = 0; slot < slotIds_.size(); ++slot) {
            if (slotIds_[slot] == 0 || !pluginIdPred(pluginIdOf(slot)))
                continue;
            if (slots_[slot])
                slots_[slot]->setHitCount(0);
            if (layout_ == Layout::compact)
                records_[slot].setHitCount(0);
        }
    }

    // Candidate selection and scoring (indexed layout): the items that hold every indexed
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

    // The slot's object, made from its record (and kept) when none is out.
    const CatalogItemPtr& object(uint32_t slot) const;
    bool release(uint32_t slot, std::vector<CatalogItemPtr>* released);
    uint64_t pluginIdOf(uint32_t slot) const;
    bool holdsCharacter(wchar_t ch) const;
    void countCharacters(std::wstring_view lowerText, int change);
    uint32_t takeSlot(const CatalogItemPtr& item);
    void prefetch(const std::vector<uint32_t>& slots, std::size_t i) const;
    void indexSlot(uint32_t slot);
    void indexText(Index& index, uint32_t slot, std::wstring_view text);
    void freeSlot(uint32_t slot);
    struct Scan;
    void scanRange(const Scan& scan, WorkerMatches& out, uint32_t begin, uint32_t end) const;
    void scanSlots(const Scan& scan, WorkerMatches& out, const uint32_t* begin,
                   const uint32_t* end) const;
    void prefetchCandidate(const Scan& scan, uint32_t slot) const;
    void scanSlot(const Scan& scan, WorkerMatches& out, uint32_t slot) const;
    static bool extendable(const wstr& lowerText);
    bool canRescore(const wstr& lowerText, const std::set<uint64_t>& knownIds) const;
    std::vector<uint32_t> rescoredSlots() const;
    void rememberMatches(const Scan& scan, const std::set<uint64_t>& knownIds) const;
    static bool isKnown(const Scan& scan, WorkerMatches& out, uint64_t pluginId);
    static bool mayMatchAll(const Scan& scan, std::wstring_view lower);
    static bool mayMatchPacked(const Scan& scan, std::string_view lower);
    bool outranked(const Scan& scan, const WorkerMatches& out, uint32_t slot,
                   const ItemRecord& record, std::string_view lower) const;
    void scanPacked(const Scan& scan, WorkerMatches& out, uint32_t slot,
                    const ItemRecord& record) const;
    static void scanCandidate(const Scan& scan, WorkerMatches& out, uint32_t slot,
                              const CatalogItem& item);
    static void scoreCandidate(const Scan& scan, WorkerMatches& out, uint32_t slot,
                               std::wstring_view composed, std::wstring_view lower,
                               uint64_t hitCount, uint64_t id, uint32_t category);
    void unindexSlot(uint32_t slot);
    template <typename Pred> std::size_t removeIf(Pred&& pluginIdPred);
    std::vector<uint32_t> candidates(const wstr& lowerText, const CatalogItemPtr& chainItem) const;
    std::vector<uint32_t> intersect(const Index& index, const wstr& lowerText) const;

    Layout layout_;
    std::unordered_map<uint64_t, uint32_t> byId_;
    // The objects: of every used slot (indexed layout), or those handed out
    // (compact layout; the store's lock guards the ones made while reading).
    mutable std::vector<CatalogItemPtr> slots_;
    std::vector<uint64_t> slotIds_; // the item id of each slot, 0 when free
    // Compact layout: the record of each used slot (of the texts indexed,
    // whatever became of the object since), the slots whose objects may be
    // released, and the number of items holding each indexed character.
    std::vector<ItemRecord> records_;
    mutable std::vector<uint32_t> handedOut_;
    std::size_t releaseCursor_ = 0;
    std::unordered_map<wchar_t, uint32_t> held_;
    // The texts of each used slot as its record holds them, packed for the
    // scan.
    SearchTexts searchTexts_;
    // Counts the changes of the stored texts, so that a scan knows whether
    // the last one's matches still hold.
    uint64_t generation_ = 0;
    // What the last scan matched (compact layout), for a scan of a text that
    // extends its text to score those again instead of every item.
    struct LastScan {
        bool valid = false;
        uint64_t generation = 0;
        wstr lowerText;
        std::set<uint64_t> knownIds;
        std::vector<uint32_t> matched; // ascending slots
    };
    mutable LastScan lastScan_;
    std::vector<uint32_t> freeSlots_;
    // Per slot, a bit for each character of its lower-case composed text
    // (several characters share a bit; 0 for a free slot), so that a scan
    // skips most items that cannot match without visiting them.
    std::vector<uint64_t> masks_;
    Index composedIndex_;
    Index argsIndex_;
};
