#include "catalog/ResultIndex.h"

#include <bit>

namespace {

constexpr std::size_t minCapacity = 16;

} // namespace

CatalogResult* ResultIndex::find(uint64_t id) const {
    if (entries_.empty())
        return nullptr;
    return entries_[slotOf(id)].result;
}

void ResultIndex::set(uint64_t id, CatalogResult* result) {
    if ((size_ + 1) * 2 > entries_.size())
        rehash(std::max(minCapacity, entries_.size() * 2));
    Entry& entry = entries_[slotOf(id)];
    if (!entry.result)
        ++size_;
    entry = {id, result};
}

void ResultIndex::erase(uint64_t id, const CatalogResult* result) {
    if (entries_.empty())
        return;
    std::size_t mask = entries_.size() - 1;
    std::size_t hole = slotOf(id);
    if (entries_[hole].result != result || !result)
        return;
    entries_[hole] = {};
    --size_;
    // Shift later entries of the run back, so that lookups never stop early.
    for (std::size_t next = (hole + 1) & mask; entries_[next].result; next = (next + 1) & mask) {
        std::size_t want = home(entries_[next].id);
        bool movable = hole <= next ? (want <= hole || want > next) : (want <= hole && want > next);
        if (movable) {
            entries_[hole] = entries_[next];
            entries_[next] = {};
            hole = next;
        }
    }
}

void ResultIndex::clear() {
    entries_.clear();
    size_ = 0;
}

void ResultIndex::reserve(std::size_t n) {
    std::size_t capacity = std::bit_ceil(std::max(minCapacity, n * 2));
    if (capacity > entries_.size())
        rehash(capacity);
}

// Item ids are XXH64 hashes, spread evenly: their top bits choose the place.
// That keeps the order of the ids, so that a search, which adds its catalog
// results in id order, fills the table from front to back.
std::size_t ResultIndex::home(uint64_t id) const {
    return static_cast<std::size_t>(id >> (64 - std::countr_zero(entries_.size())));
}

// The entry holding the id, or the free entry where it would go.
std::size_t ResultIndex::slotOf(uint64_t id) const {
    std::size_t mask = entries_.size() - 1;
    std::size_t at = home(id);
    while (entries_[at].result && entries_[at].id != id)
        at = (at + 1) & mask;
    return at;
}

void ResultIndex::rehash(std::size_t capacity) {
    std::vector<Entry> old = std::move(entries_);
    entries_.assign(capacity, Entry());
    size_ = 0;
    for (const Entry& entry : old) {
        if (entry.result)
            set(entry.id, entry.result);
    }
}
