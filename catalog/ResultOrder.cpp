#include "catalog/ResultOrder.h"

#include "catalog/Catalog.h"
#include "catalog/CharClass.h"

#include <algorithm>
#include <array>

namespace {

enum Tier : uint32_t { errorTier, keywordTier, exactTier, wordTier, otherTier };

Tier tierOf(bool isError, MatchKind kind) {
    if (isError)
        return errorTier;
    if (kind == MatchKind::exact)
        return exactTier;
    return kind == MatchKind::word ? wordTier : otherTier;
}

Tier tierOf(const CatalogResult& r) {
    if (!r.sortHint().isError && r.source() == CatalogResult::keyword)
        return keywordTier;
    return tierOf(r.sortHint().isError, r.kind());
}

bool itemBefore(const CatalogResult& a, const CatalogResult& b) {
    return CatalogItem::compare(*a.item(), *b.item()) < 0;
}

// -1 when a comes first, 1 when b does, 0 when the key does not decide.
template <typename T> int lowerFirst(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int withoutArgsFirst(const CatalogResult& a, const CatalogResult& b) {
    return lowerFirst(a.sortHint().hasArgs, b.sortHint().hasArgs);
}

bool errorBefore(const CatalogResult& a, const CatalogResult& b) {
    if (int c = lowerFirst(a.item()->pluginId(), b.item()->pluginId()))
        return c < 0;
    return itemBefore(a, b);
}

bool keywordBefore(const CatalogResult& a, const CatalogResult& b) {
    if (int c = lowerFirst(b.item()->hitCount(), a.item()->hitCount()))
        return c < 0;
    return itemBefore(a, b);
}

// Results of one source and one sort method.
bool methodBefore(const CatalogResult& a, const CatalogResult& b) {
    switch (a.sortMethod()) {
    case Catalog::sortByScore:
        if (int c = lowerFirst(a.kind(), b.kind()))
            return c < 0;
        if (int c = lowerFirst(b.score(), a.score()))
            return c < 0;
        return itemBefore(a, b);
    case Catalog::sortByItem:
        return itemBefore(a, b);
    case Catalog::sortByTarget:
        return wstr::compare(a.item()->target(), b.item()->target(), true) < 0;
    default:
        return false;
    }
}

bool bySortMethod(const CatalogResult& a, const CatalogResult& b) {
    if (int c = lowerFirst(a.sortMethod(), b.sortMethod()))
        return c < 0;
    return methodBefore(a, b);
}

bool isScored(const CatalogResult& r) {
    return r.sortMethod() == Catalog::sortByScore && r.kind() != MatchKind::unscored;
}

bool unscoredBefore(const CatalogResult& a, const CatalogResult& b) {
    if (int c = lowerFirst(a.source(), b.source()))
        return c < 0;
    if (a.source() != CatalogResult::history)
        return bySortMethod(a, b);
    if (int c = withoutArgsFirst(a, b))
        return c < 0;
    if (int c = lowerFirst(b.score(), a.score()))
        return c < 0;
    return itemBefore(a, b);
}

bool historyOrCatalogBefore(const CatalogResult& a, const CatalogResult& b) {
    if (int c = lowerFirst(a.kind(), b.kind()))
        return c < 0;
    bool scored = isScored(a);
    if (scored != isScored(b))
        return scored;
    if (!scored)
        return unscoredBefore(a, b);
    if (int c = lowerFirst(b.score(), a.score()))
        return c < 0;
    if (int c = withoutArgsFirst(a, b))
        return c < 0;
    return itemBefore(a, b);
}

// Whether a comes before b, given the tiers the set places them in.
bool placedBefore(const CatalogResult& a, uint32_t tierA, const CatalogResult& b, uint32_t tierB) {
    if (int c = lowerFirst(tierA, tierB))
        return c < 0;
    if (tierA == errorTier)
        return errorBefore(a, b);
    if (tierA == keywordTier)
        return keywordBefore(a, b);
    bool suggestion = a.source() == CatalogResult::suggestion;
    if (suggestion != (b.source() == CatalogResult::suggestion))
        return suggestion;
    return suggestion ? bySortMethod(a, b) : historyOrCatalogBefore(a, b);
}

// What decides between two results once their key values are equal.
enum class Tie : uint8_t { none, item, target };

// The decisions of ResultOrder up to the item or target comparison, as
// values compared in order (lower first). Keys of different branches differ
// at the value where the branches part.
struct SortKey {
    std::array<uint64_t, 12> values{};
    std::size_t count = 0;
    Tie tie = Tie::none;
    uint32_t index = 0;
    const CatalogResult* result = nullptr;

    void push(uint64_t value) { values[count++] = value; }
    void pushDescending(uint64_t value) { push(~value); }
};

void tieOnItem(SortKey& key, const CatalogResult& r) {
    for (uint64_t chunk : r.sortHint().labelStart)
        key.push(chunk);
    key.tie = Tie::item;
}

void methodKey(SortKey& key, const CatalogResult& r) {
    key.push(r.sortMethod());
    switch (r.sortMethod()) {
    case Catalog::sortByScore:
        key.push(static_cast<uint64_t>(r.kind()));
        key.pushDescending(r.score());
        tieOnItem(key, r);
        break;
    case Catalog::sortByItem:
        tieOnItem(key, r);
        break;
    case Catalog::sortByTarget:
        key.tie = Tie::target;
        break;
    default:
        break;
    }
}

void historyOrCatalogKey(SortKey& key, const CatalogResult& r) {
    bool hasArgs = r.sortHint().hasArgs;
    key.push(static_cast<uint64_t>(r.kind()));
    bool scored = isScored(r);
    key.push(scored ? 0 : 1);
    if (scored) {
        key.pushDescending(r.score());
        key.push(hasArgs);
        tieOnItem(key, r);
        return;
    }
    key.push(r.source());
    if (r.source() != CatalogResult::history) {
        methodKey(key, r);
        return;
    }
    key.push(hasArgs);
    key.pushDescending(r.score());
    tieOnItem(key, r);
}

SortKey keyOf(const CatalogResult& r, uint32_t index, uint32_t tier) {
    SortKey key;
    key.index = index;
    key.result = &r;
    key.push(tier);
    if (tier == errorTier) {
        key.push(r.item()->pluginId());
        tieOnItem(key, r);
    } else if (tier == keywordTier) {
        key.pushDescending(r.item()->hitCount());
        tieOnItem(key, r);
    } else if (r.source() == CatalogResult::suggestion) {
        key.push(0);
        methodKey(key, r);
    } else {
        key.push(1);
        historyOrCatalogKey(key, r);
    }
    return key;
}

bool keyBefore(const SortKey& a, const SortKey& b) {
    std::size_t count = std::max(a.count, b.count);
    for (std::size_t i = 0; i < count; ++i) {
        if (a.values[i] != b.values[i])
            return a.values[i] < b.values[i];
    }
    int c = 0;
    if (a.tie == Tie::item)
        c = CatalogItem::compare(*a.result->item(), *b.result->item());
    else if (a.tie == Tie::target)
        c = wstr::compare(a.result->item()->target(), b.result->item()->target(), true);
    return c != 0 ? c < 0 : a.index < b.index;
}

// The tier of each result: its kind's, for a suggestion raised to the
// weakest tier of the suggestions before it in their own order.
std::vector<uint32_t> placedTiers(const std::vector<CatalogResultPtr>& results) {
    std::vector<uint32_t> tiers(results.size());
    std::vector<SortKey> suggestions;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const CatalogResult& r = *results[i];
        tiers[i] = tierOf(r);
        if (r.source() != CatalogResult::suggestion || tiers[i] == errorTier)
            continue;
        SortKey key;
        key.index = static_cast<uint32_t>(i);
        key.result = &r;
        methodKey(key, r);
        suggestions.push_back(key);
    }
    std::sort(suggestions.begin(), suggestions.end(), keyBefore);
    uint32_t weakest = exactTier;
    for (const SortKey& key : suggestions) {
        weakest = std::max(weakest, tiers[key.index]);
        tiers[key.index] = weakest;
    }
    return tiers;
}

} // namespace

ResultOrder::ResultOrder(const std::vector<CatalogResultPtr>& results) {
    std::vector<uint32_t> tiers = placedTiers(results);
    for (std::size_t i = 0; i < results.size(); ++i)
        tiers_.emplace(results[i].get(), tiers[i]);
}

bool ResultOrder::before(const CatalogResult& a, const CatalogResult& b) const {
    return placedBefore(a, tiers_.at(&a), b, tiers_.at(&b));
}

void sortResults(std::vector<CatalogResultPtr>& results, std::size_t ordered) {
    std::vector<uint32_t> tiers = placedTiers(results);
    std::vector<SortKey> keys;
    keys.reserve(results.size());
    for (std::size_t i = 0; i < results.size(); ++i)
        keys.push_back(keyOf(*results[i], static_cast<uint32_t>(i), tiers[i]));
    if (ordered < keys.size())
        std::partial_sort(keys.begin(), keys.begin() + ordered, keys.end(), keyBefore);
    else
        std::sort(keys.begin(), keys.end(), keyBefore);
    std::vector<CatalogResultPtr> sorted;
    sorted.reserve(results.size());
    for (const SortKey& key : keys)
        sorted.push_back(std::move(results[key.index]));
    results = std::move(sorted);
}

uint64_t storeResultRank(bool isError, MatchKind kind, uint64_t score) {
    // Errors go by plugin and item, not by score: all of them rank alike.
    if (isError)
        return 0;
    // Tier, then kind, then the score, highest first (scores beyond 56 bits
    // rank alike and are left to ResultOrder).
    constexpr uint64_t scoreBits = (uint64_t{1} << 56) - 1;
    uint64_t tier = tierOf(false, kind);
    return tier << 60 | static_cast<uint64_t>(kind) << 56 |
           (scoreBits - std::min(score, scoreBits));
}

uint64_t labelSortChunk(std::wstring_view label, std::size_t n) {
    uint64_t chunk = 0;
    for (std::size_t i = 3 * n; i < 3 * n + 3; ++i) {
        uint64_t ch = i < label.size() ? static_cast<uint32_t>(CharClass::fold(label[i])) : 0;
        chunk = chunk << 21 | (ch & 0x1FFFFF);
    }
    return chunk;
}
