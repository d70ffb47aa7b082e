#include "catalog/SlotSet.h"

#include <algorithm>

namespace {

// Words of a bitset that holds slots below capacity.
std::size_t wordsFor(std::size_t capacity) {
    return (capacity + 63) / 64;
}

} // namespace

void SlotSet::insert(uint32_t slot, std::size_t capacity) {
    if (dense_) {
        if (slot / 64 >= bits_.size())
            bits_.resize(std::max(wordsFor(capacity), slot / 64 + std::size_t{1}));
        uint64_t bit = uint64_t{1} << (slot % 64);
        if ((bits_[slot / 64] & bit) == 0) {
            bits_[slot / 64] |= bit;
            ++count_;
        }
        return;
    }
    auto at = std::lower_bound(sparse_.begin(), sparse_.end(), slot);
    if (at != sparse_.end() && *at == slot)
        return;
    sparse_.insert(at, slot);
    ++count_;
    // The vector takes 4 bytes per member, the bitset 8 per 64 slots.
    if (count_ * 4 > wordsFor(capacity) * 8)
        toDense(capacity);
}

bool SlotSet::erase(uint32_t slot) {
    if (dense_) {
        if (!contains(slot))
            return false;
        bits_[slot / 64] &= ~(uint64_t{1} << (slot % 64));
        --count_;
        shrinkIfSparse();
        return true;
    }
    auto at = std::lower_bound(sparse_.begin(), sparse_.end(), slot);
    if (at == sparse_.end() || *at != slot)
        return false;
    sparse_.erase(at);
    --count_;
    return true;
}

bool SlotSet::contains(uint32_t slot) const {
    if (dense_)
        return slot / 64 < bits_.size() && (bits_[slot / 64] >> (slot % 64) & 1) != 0;
    return std::binary_search(sparse_.begin(), sparse_.end(), slot);
}

std::size_t SlotSet::eraseMarked(const std::vector<bool>& marked) {
    std::size_t before = count_;
    if (dense_) {
        for (std::size_t word = 0; word < bits_.size(); ++word) {
            for (uint64_t w = bits_[word]; w != 0; w &= w - 1) {
                std::size_t slot = word * 64 + __builtin_ctzll(w);
                if (slot < marked.size() && marked[slot]) {
                    bits_[word] &= ~(uint64_t{1} << (slot % 64));
                    --count_;
                }
            }
        }
        shrinkIfSparse();
    } else {
        std::erase_if(sparse_,
                      [&marked](uint32_t slot) { return slot < marked.size() && marked[slot]; });
        count_ = sparse_.size();
    }
    return before - count_;
}

void SlotSet::toDense(std::size_t capacity) {
    bits_.assign(wordsFor(std::max<std::size_t>(capacity, sparse_.back() + std::size_t{1})), 0);
    for (uint32_t slot : sparse_)
        bits_[slot / 64] |= uint64_t{1} << (slot % 64);
    sparse_ = {};
    dense_ = true;
}

void SlotSet::toSparse() {
    std::vector<uint32_t> members;
    members.reserve(count_);
    forEach([&members](uint32_t slot) { members.push_back(slot); });
    bits_ = {};
    sparse_ = std::move(members);
    dense_ = false;
}

// Back to a vector once it would take a quarter of the bitset or less, so
// that sets at the threshold do not flip at every change.
void SlotSet::shrinkIfSparse() {
    if (count_ * 4 * 4 <= bits_.size() * 8)
        toSparse();
}
