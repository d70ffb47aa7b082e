#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A set of small integers (the slots of an item store) that stays compact
// either way: a sorted vector while it holds few members, a bitset once the
// bitset is smaller than the vector would be. Not thread-safe; the owner's
// lock guards it.
class SlotSet {
public:
    // capacity: the number of slots the store uses, to size the bitset.
    void insert(uint32_t slot, std::size_t capacity);
    bool erase(uint32_t slot);
    bool contains(uint32_t slot) const;
    // Erases every member whose flag is set; returns how many were erased.
    std::size_t eraseMarked(const std::vector<bool>& marked);
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Calls fn(slot) for every member in ascending order.
    template <typename Fn> void forEach(Fn&& fn) const {
        if (!dense_) {
            for (uint32_t slot : sparse_)
                fn(slot);
            return;
        }
        for (std::size_t word = 0; word < bits_.size(); ++word) {
            for (uint64_t w = bits_[word]; w != 0; w &= w - 1)
                fn(static_cast<uint32_t>(word * 64 + __builtin_ctzll(w)));
        }
    }

private:
    void toDense(std::size_t capacity);
    void toSparse();
    void shrinkIfSparse();

    std::size_t count_ = 0;
    bool dense_ = false;
    std::vector<uint32_t> sparse_;
    std::vector<uint64_t> bits_;
};
