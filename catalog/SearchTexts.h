#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// The texts a scan reads of each slot of an item store, packed one after
// another in one buffer so that a scan over the slots reads memory in order:
// the lower-case composed text and, where it differs, the label, one byte a
// character. Only texts whose characters all lie below 256 are kept (file
// names mostly are); a scan reads the others from the item. Not
// thread-safe: the store's lock guards it, and scans only read it.
class SearchTexts {
public:
    // Keeps the texts of the slot (replacing any it had), or only notes
    // that it has none when they do not fit.
    void set(uint32_t slot, std::wstring_view lower, std::wstring_view label);
    void erase(uint32_t slot);
    void clear();

    bool has(uint32_t slot) const {
        return slot < entries_.size() && (entries_[slot].flags & keptFlag) != 0;
    }
    // The slot's texts (has(slot) must be true): one byte a character.
    std::string_view lower(uint32_t slot) const {
        const Entry& e = entries_[slot];
        return {at(slot), e.lowerLength};
    }
    bool labelIsLower(uint32_t slot) const { return (entries_[slot].flags & sameFlag) != 0; }
    std::string_view label(uint32_t slot) const {
        const Entry& e = entries_[slot];
        if ((e.flags & sameFlag) != 0)
            return lower(slot);
        return {at(slot) + e.lowerLength, e.lowerLength};
    }
    // Where the slot's texts are, for a scan to ask for them ahead of its turn.
    const char* at(uint32_t slot) const {
        uint32_t offset = entries_[slot].offset;
        return blocks_[offset / blockSize].get() + offset % blockSize;
    }

private:
    enum Flag : uint8_t { keptFlag = 1, sameFlag = 2 };
    struct Entry {
        uint32_t offset = 0;
        uint16_t lowerLength = 0;
        uint8_t flags = 0;
    };

    // The texts go into blocks of this size, none across two, so that the
    // buffer grows without copying or leaving much room unused. A block
    // holds the longest texts kept (two of 65535 characters).
    static constexpr uint32_t blockSize = 256 * 1024;

    static std::size_t sizeOf(const Entry& e);
    char* room(std::size_t size);
    void compact();

    std::vector<Entry> entries_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    uint32_t used_ = 0;      // bytes used in the last block
    std::size_t unused_ = 0; // bytes of texts replaced or erased
};
