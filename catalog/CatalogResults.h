#pragma once

#include "catalog/CatalogItem.h"
#include "catalog/FuzzyMatch.h"
#include "catalog/ResultIndex.h"
#include "core/Mutex.h"

#include <cstdint>
#include <memory>
#include <vector>

class CatalogResults;

// One entry of a result list: an item and what decides its place.
class CatalogResult : public std::enable_shared_from_this<CatalogResult> {
public:
    enum Source : uint32_t { keyword = 0, suggestion = 1, history = 2, catalog = 3 };

    CatalogResult(std::weak_ptr<CatalogResults> owner, CatalogItemPtr item, uint32_t source,
                  uint32_t sortMethod, uint64_t score, MatchKind kind);

    const std::weak_ptr<CatalogResults>& owner() const { return owner_; }
    const CatalogItemPtr& item() const { return item_; }
    uint32_t source() const { return source_; }
    uint32_t sortMethod() const { return sortMethod_; }
    uint64_t score() const { return score_; }
    MatchKind kind() const { return kind_; }

    // What the ordering needs of the item, read when the item is set (while
    // it is at hand) so that sorting does not visit every item again.
    struct SortHint {
        uint64_t labelStart[4] = {}; // see labelSortChunk (ResultOrder.h)
        bool isError = false;
        bool hasArgs = false;
    };
    const SortHint& sortHint() const { return sortHint_; }

private:
    friend class CatalogResults;

    void setItem(CatalogItemPtr item);

    std::weak_ptr<CatalogResults> owner_;
    CatalogItemPtr item_;
    uint32_t source_;
    uint32_t sortMethod_;
    uint64_t score_;
    MatchKind kind_;
    SortHint sortHint_;
};

using CatalogResultPtr = std::shared_ptr<CatalogResult>;

// The ordered result list of one search, shared by the catalog that fills it
// and the LaunchBox that shows it, cuts it and keeps it between searches.
// Create it with std::make_shared: results point back to it. An id index finds
// the result of an item id.
//
// add and addUnscored take the set's own lock (the search calls them under the
// catalog's lock: catalog first, then results). Everything else runs on the
// user-interface thread, the only one that searches, without a lock.
class CatalogResults : public std::enable_shared_from_this<CatalogResults> {
public:
    using List = std::vector<CatalogResultPtr>;

    // Adds a result for the item, or raises the score of its result in place
    // (item, source, score and kind replaced; place and sort method kept) when
    // the new score is higher. Nothing when the set is not owned by a shared
    // pointer.
    void add(const CatalogItemPtr& item, uint32_t source, uint64_t score, uint32_t sortMethod,
             MatchKind kind);
    // Always appends a result with score 0 and kind unscored; the id index
    // then points to it.
    void addUnscored(const CatalogItemPtr& item, uint32_t source, uint32_t sortMethod);
    // Replaces item, source, score and kind of one result of this set in
    // place; the id index follows a change of item id.
    void update(CatalogResult& result, CatalogItemPtr item, uint32_t source, uint64_t score,
                MatchKind kind);

    // Makes room for n more results. Any thread, like add.
    void reserve(std::size_t n);

    CatalogResultPtr lookup(uint64_t itemId) const;
    // Removes one result; returns the position after it.
    List::iterator erase(List::const_iterator position);
    // Removes the results for which pred(const CatalogResult&) is true,
    // keeping the order of the others.
    template <typename Pred> void eraseIf(Pred&& pred) {
        std::erase_if(list_, [&](const CatalogResultPtr& r) {
            if (!pred(*r))
                return false;
            forget(*r);
            return true;
        });
    }
    // Fills the id index again in list order (a later result of an id wins).
    void rebuildIndex();
    // Keeps the first n results; the others still count in totalCount.
    void truncate(std::size_t n);
    void clear();

    // Matches of the search that have no result in the list: a search that
    // only needs its best results leaves the others out and counts them here.
    void addUnlisted(std::size_t n) { unlisted_ += n; }
    // Every match of the last search: the listed results and the others.
    std::size_t totalCount() const { return list_.size() + unlisted_; }

    // Removes from this list the result of every item id that `other` holds,
    // then moves other's results, in their order, to the end of this list.
    void mergeFrom(CatalogResults& other);
    // Orders the list as a stable sort by ResultOrder (ResultOrder.h) would;
    // only the first `ordered` results need to be in their final place.
    void sort(std::size_t ordered);

    const List& list() const { return list_; }
    std::size_t size() const { return list_.size(); }
    bool empty() const { return list_.empty(); }
    List::const_iterator begin() const { return list_.begin(); }
    List::const_iterator end() const { return list_.end(); }
    const CatalogResultPtr& operator[](std::size_t i) const { return list_[i]; }

private:
    void append(CatalogResultPtr result);
    // Drops the index entry that points to this result.
    void forget(const CatalogResult& result);

    Mutex mutex_;
    List list_;
    std::size_t unlisted_ = 0;
    // Results are owned by the list; every removal goes through this class,
    // so the index never outlives its result.
    ResultIndex index_;
};
