#include "catalog/CatalogResults.h"

#include "catalog/ResultOrder.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

CatalogResult::CatalogResult(std::weak_ptr<CatalogResults> owner, CatalogItemPtr item,
                             uint32_t source, uint32_t sortMethod, uint64_t score, MatchKind kind)
    : owner_(std::move(owner)), source_(source), sortMethod_(sortMethod), score_(score),
      kind_(kind) {
    setItem(std::move(item));
}

void CatalogResult::setItem(CatalogItemPtr item) {
    item_ = std::move(item);
    sortHint_ = SortHint();
    if (!item_)
        return;
    // The composed text starts with the label and is at hand after scoring.
    std::wstring_view label = item_->composedText().substr(0, item_->label().size());
    for (std::size_t n = 0; n < std::size(sortHint_.labelStart); ++n)
        sortHint_.labelStart[n] = labelSortChunk(label, n);
    sortHint_.isError = item_->category() == CatalogItem::error;
    sortHint_.hasArgs = item_->hasArgs();
}

void CatalogResults::add(const CatalogItemPtr& item, uint32_t source, uint64_t score,
                         uint32_t sortMethod, MatchKind kind) {
    if (!item)
        return;
    std::weak_ptr<CatalogResults> self = weak_from_this();
    if (self.expired())
        return;
    Mutex::Lock lock(mutex_);
    CatalogResult* found = index_.find(item->id());
    if (!found) {
        append(std::make_shared<CatalogResult>(std::move(self), item, source, sortMethod, score,
                                               kind));
        return;
    }
    if (score > found->score_)
        update(*found, item, source, score, kind);
}

void CatalogResults::addUnscored(const CatalogItemPtr& item, uint32_t source, uint32_t sortMethod) {
    if (!item)
        return;
    std::weak_ptr<CatalogResults> self = weak_from_this();
    if (self.expired())
        return;
    Mutex::Lock lock(mutex_);
    append(std::make_shared<CatalogResult>(std::move(self), item, source, sortMethod, 0,
                                           MatchKind::unscored));
}

void CatalogResults::update(CatalogResult& result, CatalogItemPtr item, uint32_t source,
                            uint64_t score, MatchKind kind) {
    uint64_t oldId = result.item_ ? result.item_->id() : 0;
    uint64_t newId = item ? item->id() : 0;
    result.setItem(std::move(item));
    result.source_ = source;
    result.score_ = score;
    result.kind_ = kind;
    if (oldId == newId)
        return;
    index_.erase(oldId, &result);
    index_.set(newId, &result);
}

void CatalogResults::reserve(std::size_t n) {
    Mutex::Lock lock(mutex_);
    list_.reserve(list_.size() + n);
    index_.reserve(list_.size() + n);
}

CatalogResultPtr CatalogResults::lookup(uint64_t itemId) const {
    CatalogResult* found = index_.find(itemId);
    return found ? found->shared_from_this() : nullptr;
}

CatalogResults::List::iterator CatalogResults::erase(List::const_iterator position) {
    forget(**position);
    return list_.erase(position);
}

void CatalogResults::forget(const CatalogResult& result) {
    if (!result.item_)
        return;
    index_.erase(result.item_->id(), &result);
}

void CatalogResults::rebuildIndex() {
    index_.clear();
    index_.reserve(list_.size());
    for (const CatalogResultPtr& result : list_) {
        if (result->item_)
            index_.set(result->item_->id(), result.get());
    }
}

void CatalogResults::truncate(std::size_t n) {
    if (n >= list_.size())
        return;
    unlisted_ += list_.size() - n;
    list_.resize(n);
    rebuildIndex();
}

void CatalogResults::clear() {
    // Releasing a result releases its item, which has long left the cache:
    // ask a few steps ahead for the item's reference counts, which precede
    // an item made by make_shared (a wrong guess costs nothing).
    constexpr std::size_t ahead = 16;
    for (std::size_t i = 0; i < list_.size(); ++i) {
        if (i + ahead < list_.size()) {
            auto item = reinterpret_cast<uintptr_t>(list_[i + ahead]->item_.get());
            __builtin_prefetch(reinterpret_cast<const void*>(item - 16));
        }
        list_[i].reset();
    }
    list_.clear();
    index_.clear();
    unlisted_ = 0;
}

void CatalogResults::mergeFrom(CatalogResults& other) {
    if (other.list_.empty())
        return;
    std::vector<const CatalogResult*> replaced;
    for (const CatalogResultPtr& result : other.list_) {
        if (!result->item_)
            continue;
        if (CatalogResult* found = index_.find(result->item_->id())) {
            replaced.push_back(found);
            index_.erase(result->item_->id(), found);
        }
    }
    if (!replaced.empty()) {
        std::sort(replaced.begin(), replaced.end());
        std::erase_if(list_, [&replaced](const CatalogResultPtr& r) {
            return std::binary_search(replaced.begin(), replaced.end(), r.get());
        });
    }
    std::weak_ptr<CatalogResults> self = weak_from_this();
    for (CatalogResultPtr& result : other.list_) {
        result->owner_ = self;
        list_.push_back(std::move(result));
    }
    other.clear();
    rebuildIndex();
}

void CatalogResults::append(CatalogResultPtr result) {
    CatalogResult* raw = result.get();
    list_.push_back(std::move(result));
    if (raw->item_)
        index_.set(raw->item_->id(), raw);
}

void CatalogResults::sort(std::size_t ordered) {
    sortResults(list_, ordered);
}
