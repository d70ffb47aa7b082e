#pragma once

#include "catalog/CatalogResults.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

// The order of one set of search results, best first: a strict weak ordering
// on the set, so that a stable sort with it is well defined and keeps results
// that compare equal in the order they were added.
//
// 1. Error items (category error) first: lower plugin id, then
//    CatalogItem::compare.
// 2. Keyword results (the item associated with exactly the typed text): more
//    hits first, then CatalogItem::compare.
// 3. Every other result falls into one of three tiers: exact matches (kind
//    exact), then word matches (kind word), then all other kinds. Within a
//    tier:
//    a. Suggestions before history and catalog results. Suggestions go by
//       lower sort method, then by that method: sortByScore by lower kind,
//       higher score, CatalogItem::compare; sortByItem by
//       CatalogItem::compare; sortByTarget by target (with case);
//       sortKeepOrder not at all (the plugin's order stays).
//    b. History and catalog results by lower kind. Scored results (sort
//       method sortByScore, kind not unscored) come before unscored ones and
//       go by higher score, then the item without raw arguments, then
//       CatalogItem::compare. Unscored results go history first; history
//       results by the item without raw arguments, higher score,
//       CatalogItem::compare; catalog results like suggestions.
//
// Suggestions keep their own order (3a) whatever their kinds: a plugin that
// lists "zeta note", "note", "notes" in its order keeps it. So a suggestion's
// tier is that of its kind, raised to the weakest tier of any suggestion
// before it in that order. This changes where a suggestion lands only where
// the pairwise rules cycle: a stronger suggestion that follows a weaker one
// would have to precede an exact or word match of another source that the
// weaker one must follow; the match then comes first.
//
// The rules also contradict each other among history and catalog results:
// history results among themselves put items without raw arguments first,
// while history and catalog results of one kind go by score; here the score
// decides first and the arguments only break equal scores, for catalog
// results too.
class ResultOrder {
public:
    // The order of these results. User-interface thread (whoever owns them).
    explicit ResultOrder(const std::vector<CatalogResultPtr>& results);

    // Whether a comes before b; both are among the results given.
    bool before(const CatalogResult& a, const CatalogResult& b) const;

private:
    std::unordered_map<const CatalogResult*, uint32_t> tiers_;
};

// Puts the results in ResultOrder as a stable sort would; only the
// first `ordered` positions need to be final, the rest may follow in any
// order. Each result is read once into a compact key, so that items are only
// compared in full where their keys (which hold the first folded characters
// of the labels) tie.
void sortResults(std::vector<CatalogResultPtr>& results, std::size_t ordered);

// For results of the catalog's own store (source catalog or history, sort
// method sortByScore, scored): a number that ResultOrder never contradicts.
// A result of lower rank always comes first; between equal ranks ResultOrder
// decides. Lets a search keep only its best results without making them all.
uint64_t storeResultRank(bool isError, MatchKind kind, uint64_t score);

// Chunk n (0 to 3) of the label's start for sorting: three folded characters
// from 3n, 21 bits each; missing characters are 0, so that a shorter label
// comes first, as in wstr::compare without case.
uint64_t labelSortChunk(std::wstring_view label, std::size_t n);
