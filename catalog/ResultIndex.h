#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CatalogResult;

// The id index of a result list: item id to result, in one flat table with
// linear probing (a search adds tens of thousands of results, each looked up
// first). Ids are expected to be evenly spread, as item ids are; others work,
// more slowly. Not thread-safe; the result list guards it.
class ResultIndex {
public:
    CatalogResult* find(uint64_t id) const;
    // Inserts or replaces the entry of the id.
    void set(uint64_t id, CatalogResult* result);
    // Removes the entry of the id when it points to `result`.
    void erase(uint64_t id, const CatalogResult* result);
    void clear();
    // Makes room for n entries in all without growing.
    void reserve(std::size_t n);
    std::size_t size() const { return size_; }

private:
    struct Entry {
        uint64_t id = 0;
        CatalogResult* result = nullptr; // null: free
    };

    std::size_t home(uint64_t id) const;
    std::size_t slotOf(uint64_t id) const;
    void rehash(std::size_t capacity);

    std::vector<Entry> entries_; // a power of two in size, at most half full
    std::size_t size_ = 0;
};
