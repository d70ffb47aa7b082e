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
#include <cstring>
#include <iterator>

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
    std::vector<uint32_t> matched; // the slots of every match, task by task
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
    std::vector<wchar_t> separators{};
    // What mayMatch asks of a candidate: the text's other characters, in
    // order; none of them above 255 when a packed text may hold them all.
    std::vector<wchar_t> ordered{};
    bool packedMayMatch = true;
    // A text of one or two characters and no separator matches exactly the
    // candidates that hold its characters in order (mayMatch): two found
    // side by side are the match's start, else the scan from the start finds
    // them.
    bool matchedByOrder = false;
    std::vector<WorkerMatches> workers{};
    // Where each task left its matched slots: a worker and a range of its list.
    struct Span {
        std::size_t worker = 0, begin = 0, end = 0;
    };
    std::vector<Span> spans{};
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
    if (scan.mask == 0) {
        lastScan_.valid = false;
        return;
    }
    for (wchar_t ch : lowerText) {
        if (isPatternSeparator(ch))
            continue;
        scan.ordered.push_back(ch);
        if (static_cast<uint32_t>(ch) > 0xFF)
            scan.packedMayMatch = false;
    }
    scan.matchedByOrder = lowerText.size() <= 2 && scan.ordered.size() == lowerText.size();
    scan.workers.resize(workers.threads());
    for (WorkerMatches& w : scan.workers)
        w.compactAt =
            scan.keep > SIZE_MAX / 4 ? SIZE_MAX : std::max<std::size_t>(256, 2 * scan.keep);
    // Either every slot, or the slots that may still match.
    bool reuse = canRescore(lowerText, knownIds);
    std::vector<uint32_t> candidates;
    if (reuse)
        candidates = rescoredSlots();
    std::size_t size = reuse ? candidates.size() : slots_.size();
    std::size_t tasks = (size + slotsPerTask - 1) / slotsPerTask;
    scan.spans.resize(tasks);
    workers.run(tasks, [&](std::size_t task, std::size_t worker) {
        WorkerMatches& out = scan.workers[worker];
        std::size_t first = out.matched.size();
        std::size_t begin = task * slotsPerTask, end = std::min(size, begin + slotsPerTask);
        if (reuse)
            scanSlots(scan, out, candidates.data() + begin, candidates.data() + end);
        else
            scanRange(scan, out, static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
        scan.spans[task] = {worker, first, out.matched.size()};
    });
    rememberMatches(scan, knownIds);

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

void CatalogItemStore::scanRange(const Scan& scan, WorkerMatches& out, uint32_t begin,
                                 uint32_t end) const {
    constexpr uint32_t ahead = 8;
    for (uint32_t slot = begin; slot < end; ++slot) {
        if (slot + ahead < end)
            prefetchCandidate(scan, slot + ahead);
        // A free slot's mask is 0, and the text's is not.
        if ((masks_[slot] & scan.mask) == scan.mask)
            scanSlot(scan, out, slot);
    }
}

void CatalogItemStore::scanSlots(const Scan& scan, WorkerMatches& out, const uint32_t* begin,
                                 const uint32_t* end) const {
    constexpr std::ptrdiff_t ahead = 8;
    for (const uint32_t* slot = begin; slot < end; ++slot) {
        if (end - slot > ahead)
            prefetchCandidate(scan, slot[ahead]);
        if ((masks_[*slot] & scan.mask) == scan.mask)
            scanSlot(scan, out, *slot);
    }
}

void CatalogItemStore::prefetchCandidate(const Scan& scan, uint32_t slot) const {
    if ((masks_[slot] & scan.mask) != scan.mask)
        return;
    if (slots_[slot])
        __builtin_prefetch(slots_[slot].get());
    else if (searchTexts_.has(slot))
        __builtin_prefetch(searchTexts_.at(slot));
    else if (layout_ == Layout::compact)
        __builtin_prefetch(records_[slot].texts());
}

void CatalogItemStore::scanSlot(const Scan& scan, WorkerMatches& out, uint32_t slot) const {
    if (const CatalogItem* item = slots_[slot].get()) {
        scanCandidate(scan, out, slot, *item);
        return;
    }
    const ItemRecord& record = records_[slot];
    if (searchTexts_.has(slot)) {
        scanPacked(scan, out, slot, record);
        return;
    }
    if (!isKnown(scan, out, record.pluginId()))
        return;
    std::wstring_view lower = record.lowerText(out.lower);
    if (!mayMatchAll(scan, lower))
        return;
    std::wstring_view label = record.labelIsLower() ? lower : record.label(out.label);
    scoreCandidate(scan, out, slot, label, lower, record.hitCount(), slotIds_[slot],
                   record.category());
}

// A text that extends the last scan's text matches no item the last one did
// not, for the items' texts and the plugins known are the same: the text
// asks the same characters of a candidate and more; every character after
// the first only adds to what the matcher asks (a longer start of the text
// found, one more character found in order, one more initial); and a score
// never falls below the floor that integerScore cuts off, for texts not too
// long. But when the last text had only separators, a longer text may match
// by initials where it found nothing: ".a" matches "Alpha", "." does not.
bool CatalogItemStore::extendable(const wstr& lowerText) {
    return lowerText.size() <= 256 &&
           std::any_of(lowerText.begin(), lowerText.end(),
                       [](wchar_t ch) { return !isPatternSeparator(ch); });
}

bool CatalogItemStore::canRescore(const wstr& lowerText, const std::set<uint64_t>& knownIds) const {
    // Handed-out objects are read as they are now, whatever their texts were
    // at the last scan: they are scanned again, all of them.
    constexpr std::size_t objectsToScan = 4096;
    return lastScan_.valid && lastScan_.generation == generation_ &&
           std::wstring_view(lowerText).starts_with(lastScan_.lowerText) &&
           lastScan_.knownIds == knownIds && handedOut_.size() <= objectsToScan;
}

std::vector<uint32_t> CatalogItemStore::rescoredSlots() const {
    std::vector<uint32_t> objects = handedOut_;
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    std::vector<uint32_t> slots;
    slots.reserve(lastScan_.matched.size() + objects.size());
    std::set_union(lastScan_.matched.begin(), lastScan_.matched.end(), objects.begin(),
                   objects.end(), std::back_inserter(slots));
    return slots;
}

// The matched slots in slot order: tasks cover ascending runs of slots.
void CatalogItemStore::rememberMatches(const Scan& scan, const std::set<uint64_t>& knownIds) const {
    // Rescoring many matches from a list costs more than the scan in order,
    // which passes over most non-matches on their character masks alone.
    std::size_t matches = 0;
    for (const Scan::Span& span : scan.spans)
        matches += span.end - span.begin;
    lastScan_.valid = extendable(scan.lowerText) && matches <= slots_.size() / 8;
    if (!lastScan_.valid)
        return;
    lastScan_.lowerText = scan.lowerText;
    lastScan_.knownIds = knownIds;
    lastScan_.generation = generation_;
    lastScan_.matched.clear();
    for (const Scan::Span& span : scan.spans) {
        const std::vector<uint32_t>& matched = scan.workers[span.worker].matched;
        lastScan_.matched.insert(lastScan_.matched.end(), matched.begin() + span.begin,
                                 matched.begin() + span.end);
    }
}

namespace {

std::wstring_view widened(std::string_view bytes, ItemRecord::TextBuffer& buffer) {
    wchar_t* chars = buffer.room(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        chars[i] = static_cast<unsigned char>(bytes[i]);
    return {chars, bytes.size()};
}

bool holds(std::string_view text, std::size_t from, wchar_t ch, std::size_t& at) {
    const void* found = std::memchr(text.data() + from, static_cast<int>(ch), text.size() - from);
    if (!found)
        return false;
    at = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
    return true;
}

} // namespace

// mayMatchAll on a packed text, which holds no character above 255.
bool CatalogItemStore::mayMatchPacked(const Scan& scan, std::string_view lower) {
    if (!scan.packedMayMatch)
        return false;
    std::size_t from = 0, at = 0;
    for (wchar_t ch : scan.ordered) {
        if (from > lower.size() || !holds(lower, from, ch, at))
            return false;
        from = at + 1;
    }
    for (wchar_t ch : scan.separators) {
        if (static_cast<uint32_t>(ch) > 0xFF || !holds(lower, 0, ch, at))
            return false;
    }
    return true;
}

void CatalogItemStore::scanPacked(const Scan& scan, WorkerMatches& out, uint32_t slot,
                                  const ItemRecord& record) const {
    std::string_view lowerBytes = searchTexts_.lower(slot);
    if (!mayMatchPacked(scan, lowerBytes) || !isKnown(scan, out, record.pluginId()))
        return;
    if (outranked(scan, out, slot, record, lowerBytes)) {
        ++out.count;
        out.matched.push_back(slot);
        return;
    }
    std::wstring_view lower = widened(lowerBytes, out.lower);
    std::wstring_view label =
        searchTexts_.labelIsLower(slot) ? lower : widened(searchTexts_.label(slot), out.label);
    scoreCandidate(scan, out, slot, label, lower, record.hitCount(), slotIds_[slot],
                   record.category());
}

namespace {

bool isSpaceByte(char ch) {
    return CharClass::isSpace(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
}

// The kind the matcher gives a text of two characters found in the
// candidate, as it classifies the occurrences: the first at a word start
// decides between word and wordStart, else substring.
MatchKind occurrenceKind(std::string_view lower, wchar_t first, wchar_t second) {
    bool found = false;
    for (std::size_t i = 0; i + 1 < lower.size(); ++i) {
        if (static_cast<unsigned char>(lower[i]) != static_cast<uint32_t>(first) ||
            static_cast<unsigned char>(lower[i + 1]) != static_cast<uint32_t>(second))
            continue;
        found = true;
        if (i != 0 && !isSpaceByte(lower[i - 1]))
            continue;
        bool wholeWord = i + 2 == lower.size() || isSpaceByte(lower[i + 2]);
        return wholeWord ? MatchKind::word : MatchKind::wordStart;
    }
    return found ? MatchKind::substring : MatchKind::scattered;
}

} // namespace

// Whether a candidate known to match (matchedByOrder) would be dropped
// whatever its score, for the thread's best already rank above anything it
// can score: every character weighs at most 1 (initials count 1 each), so
// the score is at most (length of the text / length of the candidate + 1) / 2;
// its kind is what the occurrences of a two-character text make it, unless
// initials, which need a character whose upper case the label holds, do
// better. Spares scoring most of the millions of matches of one or two
// characters.
bool CatalogItemStore::outranked(const Scan& scan, const WorkerMatches& out, uint32_t slot,
                                 const ItemRecord& record, std::string_view lower) const {
    if (!scan.matchedByOrder || out.cutoff == UINT64_MAX || record.hitCount() != 0 ||
        record.category() == CatalogItem::error || lower.size() == scan.lowerText.size() ||
        scan.always.contains(slotIds_[slot]))
        return false;
    MatchKind best = MatchKind::scattered;
    if (scan.lowerText.size() == 2)
        best = occurrenceKind(lower, scan.lowerText[0], scan.lowerText[1]);
    bool initials = !searchTexts_.labelIsLower(slot) ||
                    std::any_of(scan.lowerText.begin(), scan.lowerText.end(),
                                [](wchar_t ch) { return CharClass::toUpper(ch) == ch; });
    if (initials)
        best = std::min(best, MatchKind::initials);
    float length = static_cast<float>(scan.lowerText.size());
    float most = (length * 1.001f / static_cast<float>(lower.size()) + 1.001f) * 0.5f;
    return storeResultRank(false, best, integerScore(most) + 1) > out.cutoff;
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
    out.matched.push_back(slot);
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
