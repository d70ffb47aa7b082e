#pragma once

#include "catalog/CatalogItem.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// A stored catalog item kept compactly: its numbers and, in one block, its
// texts in a UTF-8-like encoding that takes any wchar_t value (code points
// beyond Unicode and lone surrogates included), so that every text comes
// back exactly. A record is whole for an item without arguments of the plain
// CatalogItem class; of any other item it keeps only the lower-case composed
// text, what a store indexed. Not thread-safe: its store's lock guards it.
class ItemRecord {
public:
    // Decoded texts of the scan, reused from record to record.
    class TextBuffer {
    public:
        wchar_t* room(std::size_t size);

    private:
        std::vector<wchar_t> chars_;
    };

    // An item of the plain class without arguments, hits or icon, as the
    // cache file's reader makes it: its texts already cleaned and canonical.
    struct Fields {
        uint64_t pluginId = 0;
        uint32_t category = 0, argsHint = 0, hitHint = 0, changes = 0;
        bool loopOnSuggest = false;
        std::wstring_view label, lowerLabel, target, shortDesc, dataBag;
    };

    ItemRecord() = default;
    explicit ItemRecord(const CatalogItem& item);
    // A whole record; the hints must fit a byte.
    explicit ItemRecord(const Fields& fields);
    ItemRecord(ItemRecord&&) noexcept = default;
    ItemRecord& operator=(ItemRecord&&) noexcept = default;

    // Whether a record of the item would be whole.
    static bool fits(const CatalogItem& item);
    bool used() const { return texts_ != nullptr; }
    bool whole() const { return (flags_ & wholeFlag) != 0; }
    // Whether this whole record holds the item: the object it was made from
    // or that was made from it, unchanged since (hit count aside).
    bool holds(const CatalogItem& item) const { return whole() && item.changes() == changes_; }
    // A new object with the recorded fields and this id (whole records).
    CatalogItemPtr item(uint64_t id) const;
    ItemRecord copy() const;

    // Every record keeps the plugin id.
    uint64_t pluginId() const { return pluginId_; }
    uint32_t category() const { return category_; }
    uint64_t hitCount() const { return hitCount_; }
    void setHitCount(uint64_t count) { hitCount_ = count; }
    // The lower-case composed text, and the label (whole records), decoded
    // into the buffer; views valid until it is used again.
    std::wstring_view lowerText(TextBuffer& buffer) const;
    std::wstring_view label(TextBuffer& buffer) const;
    // Whether the label is its own lower-case form (a whole record).
    bool labelIsLower() const { return (flags_ & lowerIsLabelFlag) != 0; }
    // Where the texts are, for a scan to ask for them ahead of its turn.
    const void* texts() const { return texts_.get(); }

private:
    enum Flag : uint8_t { wholeFlag = 1, loopFlag = 2, lowerIsLabelFlag = 4 };
    enum Text : std::size_t { lowerText_, labelText_, targetText_, shortDescText_, dataBagText_ };

    void setTexts(const std::string* texts);
    std::string_view encoded(Text text) const;
    wstr decoded(Text text) const;

    uint64_t pluginId_ = 0;
    uint64_t iconHandle_ = 0;
    uint64_t hitCount_ = 0;
    uint32_t category_ = 0;
    uint32_t changes_ = 0;
    uint8_t argsHint_ = 0;
    uint8_t hitHint_ = 0;
    uint8_t flags_ = 0;
    // The byte lengths of the texts (LEB128), then the texts.
    std::unique_ptr<char[]> texts_;
};
