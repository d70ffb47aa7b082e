// The catalog's own search: every item scanned in slot order, split across
// threads, scored into flat records of which only the best are kept.
#include "catalog/CatalogItemStore.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogResults.h"
#include "catalog/CharClass.h"
#include "catalog/CharacterMask.h"
#include "catalog/FuzzyMatch.h"
#include "catalog/ResultOrder.h"

#include <algorithm>
#include <array>

namespace {

// Slots per task: large enough that handing out tasks costs nothing, small
// enough that threads finish close together.
constexpr uint32_t slotsPerTask = 4096;

struct Match {
    uint64_t rank;
    uint64_t score;
    uint32_t slot;
    MatchKind kind;
};

// Sorted ids with a bitmap over their top bits in front: most lookups of an
// id that is not there end at the bitmap (item ids are evenly spread hashes).
class IdSet {
public:
    explicit IdSet(const std::vector<uint64_t>& sorted) : sorted_(sorted) {
        for (uint64_t id : sorted)
            bits_[bucket(id) / 64] |= uint64_t{1} << (bucket(id) % 64);
    }
    bool contains(uint64_t id) const {
        if ((bits_[bucket(id) / 64] >> (bucket(id) % 64) & 1) == 0)
            return false;
        return std::binary_search(sorted_.begin(), sorted_.end(), id);
    }

private:
    static uint64_t bucket(uint64_t id) { return id >> 52; }

    const std::vector<uint64_t>& sorted_;
    std::array<uint64_t, 64> bits_{};
};

// Keeps the matches of lowest rank: at least `keep` of them and every match
// that ties with the last kept, so that ResultOrder settles ties later.
void keepBest(std::vector<Match>& matches, std::size_t keep) {
    if (matches.size() <= keep)
        return;
    auto byRank = [](const Match& a, const Match& b) { return a.rank < b.rank; };
    std::nth_element(matches.begin(), matches.begin() + (keep - 1), matches.end(), byRank);
    uint64_t cutoff = matches[keep - 1].rank;
    std::erase_if(matches, [cutoff](const Match& m) { return m.rank > cutoff; });
}

} // namespace

// One thread's share; aligned so that threads never write one cache line.
struct alignas(64) WorkerMatches {
    std::vector<Match> best;   // matches a later pass leaves alone
    std::vector<Match> always; // matches added whatever their rank
    std::size_t count = 0;     // every match
    uint64_t cutoff = UINT64_MAX;
    std::size_t compactAt = 0;
    uint64_t lastPlugin = 0;
    bool lastKnown = false;
    ItemRecord::TextBuffer lower;
    ItemRecord::TextBuffer label;
};

struct CatalogItemStore::Scan {
    const std::set<uint64_t>& knownIds;
    const wstr& text;
    const wstr& lowerText;
    std::size_t keep;
    IdSet always;
    uint64_t mask = 0;
    // Characters the text shares with some item, that mayMatch does not
    // check: each must be in a candidate.
    std::vector<wchar_t> separators;
    std::vector<WorkerMatches> workers;
};

void CatalogItemStore::searchBest(CatalogResults& results, const std::set<uint64_t>& knownIds,
                                  const wstr& text, const wstr& lowerText, std::size_t keep,
                                  const std::vector<uint64_t>& alwaysIds,
                                  ScanWorkers& workers) const {
    Scan scan{knownIds, text, lowerText, std::max<std::size_t>(keep, 1), IdSet(alwaysIds)};
    // As the index does: characters of the text that no item holds are not
    // asked of the candidates, and a text without any held character finds
    // nothing.
    for (wchar_t ch : lowerText) {
        if (CharClass::isGap(ch) || !holdsCharacter(ch))
            continue;
        scan.mask |= characterBit(ch);
        if (isPatternSeparator(ch))
            scan.separators.push_back(ch);
    }
    if (scan.mask == 0)
        return;
    scan.workers.resize(workers.threads());
    for (WorkerMatches& w : scan.workers)
        w.compactAt =
            scan.keep > SIZE_MAX / 4 ? SIZE_MAX : std::max<std::size_t>(256, 2 * scan.keep);
    auto size = static_cast<uint32_t>(slots_.size());
    workers.run((size + slotsPerTask - 1) / slotsPerTask,
                [&](std::size_t task, std::size_t worker) {
                    auto begin = static_cast<uint32_t>(task * slotsPerTask);
                    scanRange(scan, worker, begin, std::min(size, begin + slotsPerTask));
                });

    std::vector<Match> best, always;
    std::size_t count = 0;
    for (WorkerMatches& w : scan.workers) {
        best.insert(best.end(), w.best.begin(), w.best.end());
        always.insert(always.end(), w.always.begin(), w.always.end());
        count += w.count;
    }
    keepBest(best, scan.keep);
    best.insert(best.end(), always.begin(), always.end());
    std::sort(best.begin(), best.end(), [this](const Match& a, const Match& b) {
        return slotIds_[a.slot] < slotIds_[b.slot];
    });
    results.reserve(best.size());
    for (const Match& m : best)
        results.add(object(m.slot), CatalogResult::catalog, m.score, Catalog::sortByScore, m.kind);
    results.addUnlisted(count - best.size());
}

void CatalogItemStore::scanRange(Scan& scan, std::size_t worker, uint32_t begin,
                                 uint32_t end) const {
    WorkerMatches& out = scan.workers[worker];
    constexpr uint32_t ahead = 8;
    bool compact = layout_ == Layout::compact;
    for (uint32_t slot = begin; slot < end; ++slot) {
        if (slot + ahead < end && (masks_[slot + ahead] & scan.mask) == scan.mask) {
            if (compact && !slots_[slot + ahead])
                __builtin_prefetch(records_[slot + ahead].texts());
            else
                __builtin_prefetch(slots_[slot + ahead].get());
        }
        if ((masks_[slot] & scan.mask) != scan.mask || slotIds_[slot] == 0)
            continue;
        if (const CatalogItem* item = slots_[slot].get()) {
            scanCandidate(scan, out, slot, *item);
            continue;
        }
        const ItemRecord& record = records_[slot];
        if (!isKnown(scan, out, record.pluginId()))
            continue;
        std::wstring_view lower = record.lowerText(out.lower);
        if (!mayMatchAll(scan, lower))
            continue;
        std::wstring_view label = record.labelIsLower() ? lower : record.label(out.label);
        scoreCandidate(scan, out, slot, label, lower, record.hitCount(), slotIds_[slot],
                       record.category());
    }
}

bool CatalogItemStore::isKnown(const Scan& scan, WorkerMatches& out, uint64_t pluginId) {
    if (scan.knownIds.empty())
        return true;
    // Items of one plugin tend to come in runs; ask the set once per run.
    if (pluginId != out.lastPlugin || out.lastPlugin == 0) {
        out.lastPlugin = pluginId;
        out.lastKnown = scan.knownIds.count(pluginId) != 0;
    }
    return out.lastKnown;
}

bool CatalogItemStore::mayMatchAll(const Scan& scan, std::wstring_view lower) {
    return mayMatch(scan.lowerText, lower) &&
           std::none_of(scan.separators.begin(), scan.separators.end(),
                        [&](wchar_t ch) { return lower.find(ch) == std::wstring_view::npos; });
}

void CatalogItemStore::scanCandidate(const Scan& scan, WorkerMatches& out, uint32_t slot,
                                     const CatalogItem& item) {
    if (!isKnown(scan, out, item.pluginId()))
        return;
    std::wstring_view lower = item.lowerComposedText();
    if (!mayMatchAll(scan, lower))
        return;
    scoreCandidate(scan, out, slot, item.composedText(), lower, item.hitCount(), item.id(),
                   item.category());
}

void CatalogItemStore::scoreCandidate(const Scan& scan, WorkerMatches& out, uint32_t slot,
                                      std::wstring_view composed, std::wstring_view lower,
                                      uint64_t hitCount, uint64_t id, uint32_t category) {
    MatchKind kind = MatchKind::unscored;
    uint64_t score =
        integerScore(fuzzyScore(scan.text, scan.lowerText, composed, lower, &kind, false));
    if (score == 0)
        return;
    score += hitCount;
    ++out.count;
    if (hitCount != 0 || scan.always.contains(id)) {
        out.always.push_back({0, score, slot, kind});
        return;
    }
    uint64_t rank = storeResultRank(category == CatalogItem::error, kind, score);
    if (rank > out.cutoff)
        return;
    out.best.push_back({rank, score, slot, kind});
    if (out.best.size() >= out.compactAt) {
        // At least `keep` stay: the last of them is the bar from now on.
        keepBest(out.best, scan.keep);
        out.cutoff = 0;
        for (const Match& m : out.best)
            out.cutoff = std::max(out.cutoff, m.rank);
        // Ties may keep many: never compact again before the list doubled.
        out.compactAt = std::max(out.compactAt, 2 * out.best.size());
    }
}
