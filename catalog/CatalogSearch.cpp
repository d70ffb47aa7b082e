#include "catalog/Catalog.h"

#include "catalog/FuzzyMatch.h"

#include <algorithm>

namespace {

// The fuzzy score of the text against the item: against its arguments when
// the search is chained on an item of the same base id, else against its
// composed text.
uint64_t scoreItem(const wstr& text, const wstr& lowerText, const CatalogItem& item, bool onArgs,
                   MatchKind& kind) {
    std::wstring_view candidate = onArgs ? item.displayedArgs() : item.composedText();
    std::wstring_view lowerCandidate =
        onArgs ? item.lowerDisplayedArgs() : item.lowerComposedText();
    return integerScore(fuzzyScore(text, lowerText, candidate, lowerCandidate, &kind, false));
}

} // namespace

void Catalog::search(const std::shared_ptr<CatalogResults>& results, wstr text,
                     const CatalogItemPtr& chainItem, std::size_t orderedCount) {
    normalizeSpaces(text);
    wstr lowerText = wstr::lowerCopy(text);
    results->clear();
    if (chainItem && !chainItem->isValid())
        return;
    std::set<uint64_t> known = knownPluginIds();
    Mutex::Lock lock(mutex_);
    store_.releaseUnshared(releaseStep);
    if (!chainItem)
        store_.searchBest(*results, known, text, lowerText, orderedCount,
                          idsTouchedLater(lowerText), scanWorkers_);
    history_.search(*results, known, text, lowerText, chainItem, excludeNonexistentLocalFiles_,
                    excludeNonexistentRemoteFiles_);
    auto suggested = std::make_shared<CatalogResults>();
    suggestionsPass(*suggested, text, lowerText, chainItem);
    results->mergeFrom(*suggested);
    results->sort(orderedCount);
}

std::vector<uint64_t> Catalog::idsTouchedLater(const wstr& lowerText) const {
    std::vector<uint64_t> ids;
    history_.items().forEach([&ids](const CatalogItemPtr& item) { ids.push_back(item->id()); });
    for (const auto& [pluginId, list] : suggestions_) {
        for (const CatalogItemPtr& item : list)
            ids.push_back(item->id());
    }
    auto keyword = history_.keywords().find(lowerText);
    if (keyword != history_.keywords().end() && !keyword->second.empty())
        ids.push_back(keyword->second.front()->id());
    std::sort(ids.begin(), ids.end());
    return ids;
}

uint64_t Catalog::scoreCandidate(CatalogResults& results, const wstr& text, const wstr& lowerText,
                                 const CatalogItemPtr& chainItem, const CatalogItemPtr& item,
                                 uint32_t source, bool addHitCount, bool allowOtherItems,
                                 uint32_t sortMethod) {
    if (!item)
        return 0;
    bool sameItem = chainItem && chainItem->baseId() == item->baseId();
    if (!allowOtherItems && chainItem && !sameItem)
        return 0;
    MatchKind kind = MatchKind::unscored;
    uint64_t score = text.empty() ? 0 : scoreItem(text, lowerText, *item, sameItem, kind);
    if (score == 0) {
        if (!chainItem || !text.empty())
            return 0;
        kind = MatchKind::unscored;
    }
    if (addHitCount)
        score += item->hitCount();
    results.add(item, source, score, sortMethod, kind);
    return score;
}

void Catalog::suggestionsPass(CatalogResults& results, const wstr& text, const wstr& lowerText,
                              const CatalogItemPtr& chainItem) {
    for (const auto& [pluginId, list] : suggestions_) {
        if (chainItem && pluginId != chainItem->pluginId())
            continue;
        auto [matchMethod, sortMethod] = methodsOf(pluginId);
        for (const CatalogItemPtr& item : list) {
            if (matchMethod == matchAll) {
                results.addUnscored(item, CatalogResult::suggestion, sortMethod);
                continue;
            }
            scoreCandidate(results, text, lowerText, chainItem, item, CatalogResult::suggestion,
                           false, true, sortMethod);
        }
    }
}
