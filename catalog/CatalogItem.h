#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One catalog entry: something the user finds by typing and then executes.
// Shared object; once stored it changes only through these operations, and
// only under the catalog's lock. Its two ids (without and with the raw
// arguments) and its lower-case and composed texts are computed whenever it
// changes, so that the index, the search and lookups never recompute them.
class CatalogItem {
public:
    enum Category : uint32_t {
        error = 1,
        keyword = 10,
        file = 20,
        cmdline = 30,
        url = 40,
        expression = 50,
        reference = 60,
    };
    enum ArgsHint : uint32_t { forbidden = 0, accepted = 1, required = 2 };
    enum HitHint : uint32_t { keepall = 0, ignore = 1, noargs = 2 };

    // An error item gets forbidden arguments, the ignore hit hint, no loop on
    // suggest and the target "error" when it has none; a file item's target is
    // canonicalized. Other values are kept as given (validity is a separate
    // question, see isValid).
    CatalogItem(uint64_t pluginId, uint32_t category, const wstr& label, const wstr& shortDesc,
                const wstr& target, uint32_t argsHint, bool loopOnSuggest, uint32_t hitHint,
                uint64_t iconHandle, const wstr& dataBag);
    // The fields of an item as its store's compact record (ItemRecord) kept
    // them: already cleaned and canonical, without arguments, taken as they
    // are.
    struct Restored {
        uint64_t pluginId = 0, id = 0, hitCount = 0, iconHandle = 0;
        uint32_t category = 0, argsHint = 0, hitHint = 0, changes = 0;
        bool loopOnSuggest = false;
        wstr label, lowerLabel, shortDesc, target, dataBag;

    private:
        friend class ItemRecord;
        Restored() = default;
    };
    explicit CatalogItem(Restored&& fields);
    virtual ~CatalogItem() = default;
    CatalogItem(const CatalogItem&) = delete;
    CatalogItem& operator=(const CatalogItem&) = delete;

    bool isValid() const;
    // isValid of an item with these fields (label cleaned, target canonical).
    static bool hasValidFields(uint64_t pluginId, uint32_t category, std::wstring_view label,
                               std::wstring_view target, uint32_t argsHint, uint32_t hitHint);
    // Why isValid is false, for the warning that refuses the item: each
    // field that fails, with its value and the values it may take
    // ("args_hint 7 is not one of 0 forbidden, 1 accepted, 2 required");
    // empty for a valid item.
    wstr invalidProperties() const;

    // The label is cleaned (cleanText); rebuild also refreshes the composed texts.
    void setLabel(const wstr& label, bool rebuild);
    void setShortDesc(const wstr& shortDesc);
    void setLoopOnSuggest(bool loop) {
        loopOnSuggest_ = loop;
        ++changes_;
    }
    void setDataBag(const wstr& dataBag) {
        dataBag_ = dataBag;
        ++changes_;
    }
    // Both texts are trimmed; displayed arguments equal to the raw ones (or
    // without raw ones) are dropped. Recomputes the id. Nothing changes while
    // the item forbids arguments.
    void setArgs(const wstr& raw, const wstr& displayed);

    // Copies the other item's label, short description, hints, loop flag and
    // icon handle where they differ (empty texts never replace); true when
    // something changed. Items of different base ids are never merged.
    bool merge(const CatalogItem& other);

    // -1, 0 or 1 by label (without case), displayed arguments, short
    // description (without case) and target.
    static int compare(const CatalogItem& a, const CatalogItem& b);

    // The id of an item without arguments: what a constructor gives for the
    // item's plugin id, category and (canonical) target.
    static uint64_t idOf(uint64_t pluginId, uint32_t category, std::wstring_view target,
                         std::wstring_view rawArgs = {});

    // A new item from the same fields, without arguments and hits.
    std::shared_ptr<CatalogItem> clone() const;

    uint64_t pluginId() const { return pluginId_; }
    uint32_t packageId() const { return static_cast<uint32_t>(pluginId_ >> 32); }
    uint32_t category() const { return category_; }
    const wstr& target() const { return target_; }
    const wstr& label() const { return label_; }
    const wstr& shortDesc() const { return shortDesc_; }
    uint32_t argsHint() const { return argsHint_; }
    bool loopOnSuggest() const { return loopOnSuggest_; }
    uint32_t hitHint() const { return hitHint_; }
    uint64_t iconHandle() const { return iconHandle_; }
    const wstr& dataBag() const { return dataBag_; }
    const wstr& rawArgs() const { return rawArgs_; }
    // The displayed-arguments field itself (empty unless it differs from the
    // raw arguments).
    const wstr& displayArgsField() const { return displayArgs_; }
    // What is shown: the displayed arguments when set, else the raw ones.
    const wstr& displayedArgs() const { return displayArgs_.empty() ? rawArgs_ : displayArgs_; }
    const wstr& lowerDisplayedArgs() const { return lowerDisplayedArgs_; }
    uint64_t baseId() const { return baseId_; }
    uint64_t id() const { return id_; }
    bool acceptsArgs() const { return argsHint_ != forbidden; }
    bool requiresArgs() const { return argsHint_ == required; }
    // Label, a space and the displayed arguments (the label alone without
    // arguments), and its lower-case form: what the search matches. Views
    // into the item, valid until it changes.
    std::wstring_view composedText() const {
        return std::wstring_view(searchTexts_).substr(0, composedLength_);
    }
    std::wstring_view lowerComposedText() const {
        return std::wstring_view(searchTexts_).substr(composedLength_);
    }
    std::wstring_view lowerLabel() const { return lowerComposedText().substr(0, label_.size()); }
    bool hasArgs() const { return hasArgs_; }

    // Executions recorded on this object by the history.
    uint64_t hitCount() const { return hitCount_; }
    void setHitCount(uint64_t count) { hitCount_ = count; }

    // Counts the changes of everything but the hit count, so that a store
    // tells cheaply whether the object still is what it recorded.
    uint32_t changes() const { return changes_; }

private:
    uint64_t computeId(bool withArgs) const;
    void updateSearchTexts();

    // What a search reads of every candidate comes first, so that it shares
    // as few cache lines as possible: the numbers, then the search texts.
    uint64_t pluginId_;
    uint64_t baseId_ = 0;
    uint64_t id_ = 0;
    uint64_t hitCount_ = 0;
    uint64_t iconHandle_;
    uint32_t category_;
    uint32_t argsHint_;
    uint32_t hitHint_;
    uint32_t composedLength_ = 0;
    uint32_t changes_ = 0;
    bool loopOnSuggest_;
    bool hasArgs_ = false; // raw arguments are not empty
    // The composed text followed by its lower-case form, in one buffer.
    wstr searchTexts_;
    wstr label_;
    wstr rawArgs_;
    wstr displayArgs_;
    wstr lowerDisplayedArgs_;
    wstr target_;
    wstr shortDesc_;
    wstr dataBag_;
};

using CatalogItemPtr = std::shared_ptr<CatalogItem>;

// Labels and descriptions: drops leading white space and every control or
// white-space character other than space and tab, turns a tab into a space
// (runs are kept) and trims the end.
wstr cleanText(const wstr& text);

// "error", "keyword", ... for the known categories, else "#" and the number.
std::string categoryName(uint32_t category);
// The value of a category name (without case) or of "#<digits>"; -1 when
// unknown, empty or out of range.
int64_t categoryFromName(const std::string& name);
// The value of "forbidden", "accepted", "required" (without case), else -1.
int64_t argsHintFromName(const std::string& name);
// The value of "keepall", "ignore", "noargs" (without case), else -1.
int64_t hitHintFromName(const std::string& name);
