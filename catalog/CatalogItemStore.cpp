#include "catalog/CatalogItemStore.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "catalog/CharClass.h"
#include "catalog/CharacterMask.h"

#include <algorithm>
#include <iterator>

namespace {

// Applies change to every value and erases the entries it left empty.
template <typename Map, typename Fn> void changeAndDropEmpty(Map& map, Fn&& change) {
    for (auto entry = map.begin(); entry != map.end();) {
        change(entry->second);
        entry = entry->second.empty() ? map.erase(entry) : std::next(entry);
    }
}

} // namespace

std::pair<CatalogItemPtr, bool> CatalogItemStore::insert(const CatalogItemPtr& item) {
    if (!item)
        return {nullptr, false};
    auto found = byId_.find(item->id());
    if (found != byId_.end()) {
        CatalogItemPtr stored = object(found->second);
        if (stored != item && stored->merge(*item))
            reindex(stored);
        return {stored, false};
    }
    uint32_t slot = takeSlot(item);
    byId_.emplace(item->id(), slot);
    indexSlot(slot);
    return {item, true};
}

bool CatalogItemStore::remove(const CatalogItemPtr& item) {
    return item && removeId(item->id());
}

bool CatalogItemStore::removeId(uint64_t id) {
    auto found = byId_.find(id);
    if (found == byId_.end())
        return false;
    uint32_t slot = found->second;
    byId_.erase(found);
    unindexSlot(slot);
    freeSlot(slot);
    return true;
}

std::size_t CatalogItemStore::removePlugin(uint64_t pluginId) {
    return removeIf([pluginId](uint64_t id) { return id == pluginId; });
}

std::size_t CatalogItemStore::removePackage(uint32_t packageId) {
    return removeIf(
        [packageId](uint64_t id) { return static_cast<uint32_t>(id >> 32) == packageId; });
}

void CatalogItemStore::clear() {
    byId_.clear();
    slots_.clear();
    slotIds_.clear();
    freeSlots_.clear();
    masks_.clear();
    composedIndex_.clear();
    argsIndex_.clear();
    records_.clear();
    handedOut_.clear();
    held_.clear();
    searchTexts_.clear();
    ++generation_;
}

bool CatalogItemStore::reindex(const CatalogItemPtr& item) {
    if (!item)
        return false;
    auto found = byId_.find(item->id());
    if (found == byId_.end() || slots_[found->second] != item)
        return false;
    unindexSlot(found->second);
    indexSlot(found->second);
    return true;
}

void CatalogItemStore::insertRecords(std::vector<std::pair<uint64_t, ItemRecord>>&& records,
                                     ScanWorkers& workers) {
    const auto first = static_cast<uint32_t>(slotIds_.size());
    const std::size_t end = first + records.size();
    byId_.reserve(byId_.size() + records.size());
    slots_.resize(end);
    masks_.resize(end);
    slotIds_.reserve(end);
    records_.reserve(end);
    for (auto& [id, record] : records) {
        slotIds_.push_back(id);
        records_.push_back(std::move(record));
    }
    records.clear();
    ++generation_;
    // One task fills the id map, one packs the search texts, while the others
    // count characters, each into its own table (a flat one for the common
    // characters), added up after.
    constexpr std::size_t slotsPerTask = 16384, flatChars = 0x800, serialTasks = 2;
    const std::size_t tasks = (end - first + slotsPerTask - 1) / slotsPerTask;
    std::vector<std::vector<uint32_t>> flat(tasks);
    std::vector<std::unordered_map<wchar_t, uint32_t>> other(tasks);
    workers.run(tasks + serialTasks, [&](std::size_t taken, std::size_t) {
        if (taken == 0) {
            for (uint32_t slot = first; slot < end; ++slot)
                byId_.emplace(slotIds_[slot], slot);
            return;
        }
        if (taken == 1) {
            ItemRecord::TextBuffer lowerBuffer, labelBuffer;
            for (uint32_t slot = first; slot < end; ++slot)
                searchTexts_.set(slot, records_[slot].lowerText(lowerBuffer),
                                 records_[slot].label(labelBuffer));
            return;
        }
        const std::size_t task = taken - serialTasks;
        ItemRecord::TextBuffer buffer;
        std::vector<wchar_t> chars;
        // The slot that last counted each flat character, plus one.
        std::vector<uint32_t> countedFor(flatChars, 0);
        std::vector<uint32_t>& counts = flat[task];
        counts.assign(flatChars, 0);
        const std::size_t from = first + task * slotsPerTask;
        for (auto slot = static_cast<uint32_t>(from); slot < std::min(end, from + slotsPerTask);
             ++slot) {
            std::wstring_view lower = records_[slot].lowerText(buffer);
            masks_[slot] = characterMask(lower);
            chars.clear();
            for (wchar_t ch : lower) {
                auto c = static_cast<uint32_t>(ch);
                if (CharClass::isGap(ch))
                    continue;
                if (c >= flatChars)
                    chars.push_back(ch);
                else if (countedFor[c] != slot + 1) {
                    countedFor[c] = slot + 1;
                    ++counts[c];
                }
            }
            std::sort(chars.begin(), chars.end());
            chars.erase(std::unique(chars.begin(), chars.end()), chars.end());
            for (wchar_t ch : chars)
                ++other[task][ch];
        }
    });
    for (std::size_t task = 0; task < tasks; ++task) {
        for (uint32_t ch = 0; ch < flatChars; ++ch) {
            if (flat[task][ch] != 0)
                held_[static_cast<wchar_t>(ch)] += flat[task][ch];
        }
        for (const auto& [ch, count] : other[task])
            held_[ch] += count;
    }
}

CatalogItemPtr CatalogItemStore::find(uint64_t id) const {
    auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : object(found->second);
}

ItemRecord CatalogItemStore::recordCopy(uint64_t id) const {
    auto found = byId_.find(id);
    if (layout_ != Layout::compact || found == byId_.end())
        return {};
    const ItemRecord& record = records_[found->second];
    const CatalogItemPtr& out = slots_[found->second];
    if (!record.whole() || (out && !record.holds(*out)))
        return {};
    return record.copy();
}

void CatalogItemStore::releaseUnshared(std::size_t limit, std::vector<CatalogItemPtr>* released) {
    // Each object once at most: those still held stay for a later call.
    std::size_t count = std::min(limit, handedOut_.size());
    for (std::size_t examined = 0; examined < count; ++examined) {
        if (releaseCursor_ >= handedOut_.size())
            releaseCursor_ = 0;
        if (release(handedOut_[releaseCursor_], released)) {
            handedOut_[releaseCursor_] = handedOut_.back();
            handedOut_.pop_back();
        } else {
            ++releaseCursor_;
        }
    }
}

// An object whose texts changed without a reindex stays: its record holds
// the texts counted in held_. True when the slot has no object any more.
bool CatalogItemStore::release(uint32_t slot, std::vector<CatalogItemPtr>* released) {
    CatalogItemPtr& item = slots_[slot];
    if (!item)
        return true;
    if (item.use_count() != 1)
        return false;
    ItemRecord& record = records_[slot];
    if (record.holds(*item)) {
        record.setHitCount(item->hitCount());
    } else {
        ItemRecord::TextBuffer buffer;
        if (!ItemRecord::fits(*item) || record.lowerText(buffer) != item->lowerComposedText())
            return false;
        record = ItemRecord(*item);
        searchTexts_.set(slot, item->lowerComposedText(), item->composedText());
        ++generation_;
    }
    if (released)
        released->push_back(std::move(item));
    item.reset();
    return true;
}

const CatalogItemPtr& CatalogItemStore::object(uint32_t slot) const {
    CatalogItemPtr& item = slots_[slot];
    if (!item) {
        item = records_[slot].item(slotIds_[slot]);
        handedOut_.push_back(slot);
    }
    return item;
}

uint64_t CatalogItemStore::pluginIdOf(uint32_t slot) const {
    return layout_ == Layout::compact ? records_[slot].pluginId() : slots_[slot]->pluginId();
}

std::vector<uint64_t> CatalogItemStore::idsOfPlugin(uint64_t pluginId) const {
    std::vector<uint64_t> ids;
    for (uint32_t slot = 0; slot < slotIds_.size(); ++slot) {
        if (slotIds_[slot] != 0 && pluginIdOf(slot) == pluginId)
            ids.push_back(slotIds_[slot]);
    }
    return ids;
}

bool CatalogItemStore::holdsCharacter(wchar_t ch) const {
    return layout_ == Layout::compact ? held_.count(ch) != 0 : composedIndex_.count(ch) != 0;
}

// Each character once per text, as the index holds a slot once per set.
void CatalogItemStore::countCharacters(std::wstring_view lowerText, int change) {
    std::vector<wchar_t> chars;
    chars.reserve(lowerText.size());
    for (wchar_t ch : lowerText) {
        if (!CharClass::isGap(ch))
            chars.push_back(ch);
    }
    std::sort(chars.begin(), chars.end());
    chars.erase(std::unique(chars.begin(), chars.end()), chars.end());
    for (wchar_t ch : chars) {
        if (change > 0) {
            ++held_[ch];
        } else {
            auto found = held_.find(ch);
            if (--found->second == 0)
                held_.erase(found);
        }
    }
}

void CatalogItemStore::ids(std::vector<uint64_t>& ids) const {
    ids.clear();
    for (uint64_t id : slotIds_) {
        if (id != 0)
            ids.push_back(id);
    }
}

std::vector<CatalogItemPtr> CatalogItemStore::sortedItems() const {
    std::vector<CatalogItemPtr> items;
    items.reserve(byId_.size());
    forEach([&items](const CatalogItemPtr& item) { items.push_back(item); });
    std::sort(items.begin(), items.end(),
              [](const CatalogItemPtr& a, const CatalogItemPtr& b) { return a->id() < b->id(); });
    return items;
}

uint64_t CatalogItemStore::search(CatalogResults& results, const std::set<uint64_t>& knownIds,
                                  const wstr& text, const wstr& lowerText, uint32_t source,
                                  const CatalogItemPtr& chainItem) const {
    uint64_t best = 0;
    uint64_t lastPlugin = 0;
    bool lastKnown = false;
    std::vector<uint32_t> slots = candidates(lowerText, chainItem);
    results.reserve(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        prefetch(slots, i);
        const CatalogItemPtr& item = slots_[slots[i]];
        if (!knownIds.empty()) {
            // Items of one plugin tend to come in runs; ask the set once per run.
            if (item->pluginId() != lastPlugin || lastPlugin == 0) {
                lastPlugin = item->pluginId();
                lastKnown = knownIds.count(lastPlugin) != 0;
            }
            if (!lastKnown)
                continue;
        }
        best = std::max(best, Catalog::scoreCandidate(results, text, lowerText, chainItem, item,
                                                      source, true, false, Catalog::sortByScore));
    }
    return best;
}

// Candidates lie all over memory. Each is asked for in stages ahead of its
// turn: its entry in the slot table, then the item (the lines a search reads), then its search
// texts, each stage once the one before has arrived.
void CatalogItemStore::prefetch(const std::vector<uint32_t>& slots, std::size_t i) const {
    constexpr std::size_t slotAhead = 48, itemAhead = 32, textAhead = 16;
    if (i + slotAhead < slots.size())
        __builtin_prefetch(&slots_[slots[i + slotAhead]]);
    if (i + itemAhead < slots.size()) {
        const char* item = reinterpret_cast<const char*>(slots_[slots[i + itemAhead]].get());
        for (std::size_t offset : {0, 64, 128})
            __builtin_prefetch(item + offset);
    }
    if (i + textAhead < slots.size()) {
        std::wstring_view texts = slots_[slots[i + textAhead]]->composedText();
        __builtin_prefetch(texts.data());
        __builtin_prefetch(texts.data() + texts.size());
    }
}

std::map<wchar_t, std::vector<uint64_t>> CatalogItemStore::indexContents(IndexKind kind) const {
    std::map<wchar_t, std::vector<uint64_t>> contents;
    for (const auto& [ch, set] : kind == IndexKind::args ? argsIndex_ : composedIndex_) {
        std::vector<uint64_t>& ids = contents[ch];
        set.forEach([&](uint32_t slot) { ids.push_back(slotIds_[slot]); });
        std::sort(ids.begin(), ids.end());
    }
    return contents;
}

uint32_t CatalogItemStore::takeSlot(const CatalogItemPtr& item) {
    uint32_t slot = 0;
    if (freeSlots_.empty()) {
        slots_.push_back(item);
        slotIds_.push_back(item->id());
        masks_.push_back(0);
        if (layout_ == Layout::compact)
            records_.emplace_back();
        slot = static_cast<uint32_t>(slots_.size() - 1);
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        slots_[slot] = item;
        slotIds_[slot] = item->id();
    }
    if (layout_ == Layout::compact)
        handedOut_.push_back(slot);
    return slot;
}

void CatalogItemStore::freeSlot(uint32_t slot) {
    ++generation_;
    slots_[slot].reset();
    slotIds_[slot] = 0;
    masks_[slot] = 0;
    if (layout_ == Layout::compact) {
        records_[slot] = ItemRecord();
        searchTexts_.erase(slot);
    }
    freeSlots_.push_back(slot);
}

// Called with the slot's object out (inserted or being reindexed).
void CatalogItemStore::indexSlot(uint32_t slot) {
    ++generation_;
    const CatalogItem& item = *slots_[slot];
    masks_[slot] = characterMask(item.lowerComposedText());
    if (layout_ == Layout::compact) {
        records_[slot] = ItemRecord(item);
        searchTexts_.set(slot, item.lowerComposedText(), item.composedText());
        countCharacters(item.lowerComposedText(), 1);
        return;
    }
    indexText(composedIndex_, slot, item.lowerComposedText());
    indexText(argsIndex_, slot, item.lowerDisplayedArgs());
}

void CatalogItemStore::indexText(Index& index, uint32_t slot, std::wstring_view text) {
    for (wchar_t ch : text) {
        if (!CharClass::isGap(ch))
            index[ch].insert(slot, slots_.size());
    }
}

// The texts may have changed since the slot was indexed, so every set is
// visited, not only those of the current texts.
void CatalogItemStore::unindexSlot(uint32_t slot) {
    ++generation_;
    if (layout_ == Layout::compact) {
        ItemRecord::TextBuffer buffer;
        countCharacters(records_[slot].lowerText(buffer), -1);
        return;
    }
    for (Index* index : {&composedIndex_, &argsIndex_}) {
        changeAndDropEmpty(*index, [slot](SlotSet& set) { set.erase(slot); });
    }
}

template <typename Pred> std::size_t CatalogItemStore::removeIf(Pred&& pluginIdPred) {
    std::vector<bool> marked(slots_.size());
    std::size_t count = 0;
    for (uint32_t slot = 0; slot < slots_.size(); ++slot) {
        if (slotIds_[slot] != 0 && pluginIdPred(pluginIdOf(slot))) {
            marked[slot] = true;
            ++count;
        }
    }
    if (count == 0)
        return 0;
    for (Index* index : {&composedIndex_, &argsIndex_}) {
        changeAndDropEmpty(*index, [&marked](SlotSet& set) { set.eraseMarked(marked); });
    }
    for (uint32_t slot = 0; slot < slots_.size(); ++slot) {
        if (!marked[slot])
            continue;
        if (layout_ == Layout::compact)
            unindexSlot(slot);
        // The id the slot was stored under: the map must never keep an
        // entry of a freed slot.
        byId_.erase(slotIds_[slot]);
        freeSlot(slot);
    }
    return count;
}

std::vector<uint32_t> CatalogItemStore::candidates(const wstr& lowerText,
                                                   const CatalogItemPtr& chainItem) const {
    std::vector<uint32_t> slots;
    if (!lowerText.empty()) {
        slots = intersect(chainItem ? argsIndex_ : composedIndex_, lowerText);
    } else if (chainItem) {
        for (uint32_t slot = 0; slot < slots_.size(); ++slot) {
            if (slotIds_[slot] != 0 && object(slot)->baseId() == chainItem->baseId())
                slots.push_back(slot);
        }
    }
    // Candidates are scored in item-id order, so that results that end up
    // equal keep one order.
    std::vector<std::pair<uint64_t, uint32_t>> byId;
    byId.reserve(slots.size());
    for (uint32_t slot : slots)
        byId.emplace_back(slotIds_[slot], slot);
    std::sort(byId.begin(), byId.end());
    for (std::size_t i = 0; i < byId.size(); ++i)
        slots[i] = byId[i].second;
    return slots;
}

// The slots found in the set of every indexed character of the text;
// characters that no item holds are ignored.
std::vector<uint32_t> CatalogItemStore::intersect(const Index& index, const wstr& lowerText) const {
    std::vector<const SlotSet*> sets;
    for (wchar_t ch : lowerText) {
        if (CharClass::isGap(ch))
            continue;
        auto found = index.find(ch);
        if (found != index.end() &&
            std::find(sets.begin(), sets.end(), &found->second) == sets.end())
            sets.push_back(&found->second);
    }
    if (sets.empty())
        return {};
    auto smallest =
        std::min_element(sets.begin(), sets.end(),
                         [](const SlotSet* a, const SlotSet* b) { return a->size() < b->size(); });
    std::swap(*smallest, sets.front());
    std::vector<uint32_t> slots;
    slots.reserve(sets.front()->size());
    sets.front()->forEach([&](uint32_t slot) {
        for (std::size_t i = 1; i < sets.size(); ++i) {
            if (!sets[i]->contains(slot))
                return;
        }
        slots.push_back(slot);
    });
    return slots;
}
