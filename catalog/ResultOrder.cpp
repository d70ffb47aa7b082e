#include "catalog/ResultOrder.h"

#include "catalog/Catalog.h"

namespace {

enum Tier { errorTier, keywordTier, exactTier, wordTier, otherTier };

Tier tierOf(const CatalogResult& r) {
    if (r.item()->category() == CatalogItem::error)
        return errorTier;
    if (r.source() == CatalogResult::keyword)
        return keywordTier;
    if (r.kind() == MatchKind::exact)
        return exactTier;
    return r.kind() == MatchKind::word ? wordTier : otherTier;
}

bool itemBefore(const CatalogResult& a, const CatalogResult& b) {
    return CatalogItem::compare(*a.item(), *b.item()) < 0;
}

// -1 when a comes first, 1 when b does, 0 when the key does not decide.
template <typename T> int lowerFirst(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int withoutArgsFirst(const CatalogResult& a, const CatalogResult& b) {
    return lowerFirst(!a.item()->rawArgs().empty(), !b.item()->rawArgs().empty());
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

} // namespace

bool resultBefore(const CatalogResult& a, const CatalogResult& b) {
    Tier tier = tierOf(a);
    if (int c = lowerFirst(tier, tierOf(b)))
        return c < 0;
    if (tier == errorTier)
        return errorBefore(a, b);
    if (tier == keywordTier)
        return keywordBefore(a, b);
    bool suggestion = a.source() == CatalogResult::suggestion;
    if (suggestion != (b.source() == CatalogResult::suggestion))
        return suggestion;
    return suggestion ? bySortMethod(a, b) : historyOrCatalogBefore(a, b);
}
