#include "catalog/CatalogResults.h"

#include <algorithm>

void CatalogResults::add(const CatalogItemPtr& item, uint32_t source, uint64_t score,
                         uint32_t sortMethod, MatchKind kind) {
    if (!item)
        return;
    std::weak_ptr<CatalogResults> self = weak_from_this();
    if (self.expired())
        return;
    Mutex::Lock lock(mutex_);
    auto found = index_.find(item->id());
    if (found == index_.end()) {
        append(std::make_shared<CatalogResult>(std::move(self), item, source, sortMethod, score,
                                               kind));
        return;
    }
    CatalogResult& existing = *found->second;
    if (score <= existing.score_)
        return;
    existing.item_ = item;
    existing.source_ = source;
    existing.score_ = score;
    existing.kind_ = kind;
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
    result.item_ = std::move(item);
    result.source_ = source;
    result.score_ = score;
    result.kind_ = kind;
    if (oldId == newId)
        return;
    auto found = index_.find(oldId);
    if (found != index_.end() && found->second == &result)
        index_.erase(found);
    index_[newId] = &result;
}

CatalogResultPtr CatalogResults::lookup(uint64_t itemId) const {
    auto found = index_.find(itemId);
    return found == index_.end() ? nullptr : found->second->shared_from_this();
}

CatalogResults::List::iterator CatalogResults::erase(List::const_iterator position) {
    const CatalogResultPtr& result = *position;
    if (result->item_) {
        auto found = index_.find(result->item_->id());
        if (found != index_.end() && found->second == result.get())
            index_.erase(found);
    }
    return list_.erase(position);
}

void CatalogResults::rebuildIndex() {
    index_.clear();
    index_.reserve(list_.size());
    for (const CatalogResultPtr& result : list_) {
        if (result->item_)
            index_[result->item_->id()] = result.get();
    }
}

void CatalogResults::truncate(std::size_t n) {
    if (n >= list_.size())
        return;
    list_.resize(n);
    rebuildIndex();
}

void CatalogResults::clear() {
    list_.clear();
    index_.clear();
}

void CatalogResults::mergeFrom(CatalogResults& other) {
    std::vector<const CatalogResult*> replaced;
    for (const CatalogResultPtr& result : other.list_) {
        if (!result->item_)
            continue;
        auto found = index_.find(result->item_->id());
        if (found != index_.end()) {
            replaced.push_back(found->second);
            index_.erase(found);
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
        index_[raw->item_->id()] = raw;
}
