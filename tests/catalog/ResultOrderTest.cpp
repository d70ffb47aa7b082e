#include "catalog/ResultOrder.h"
#include "catalog/Catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// The pairwise rules the ordering replaces, written out as they stand. They
// contain cycles, so they cannot sort; the ordering must agree with them
// except in the two documented places.
bool pairwiseRule(const CatalogResult& a, const CatalogResult& b) {
    const CatalogItem &ia = *a.item(), &ib = *b.item();
    auto cmp = [&] { return CatalogItem::compare(ia, ib) < 0; };
    bool ea = ia.category() == CatalogItem::error, eb = ib.category() == CatalogItem::error;
    if (ea != eb)
        return ea;
    if (ea)
        return ia.pluginId() != ib.pluginId() ? ia.pluginId() < ib.pluginId() : cmp();
    auto ka = static_cast<uint32_t>(a.kind()), kb = static_cast<uint32_t>(b.kind());
    if (a.source() != b.source()) {
        if (a.source() == 0 || b.source() == 0)
            return a.source() == 0;
        if (ka != kb) {
            if (std::min(ka, kb) <= 1)
                return ka < kb;
            if (a.source() == 1 || b.source() == 1)
                return a.source() == 1;
            return ka < kb;
        }
        if (a.source() == 1 || b.source() == 1)
            return a.source() == 1;
        if (a.sortMethod() == 1000 && b.sortMethod() == 1000 && ka != 8 && kb != 8)
            return a.score() != b.score() ? a.score() > b.score() : cmp();
        return a.source() < b.source();
    }
    if (a.source() == 0)
        return ia.hitCount() != ib.hitCount() ? ia.hitCount() > ib.hitCount() : cmp();
    if (a.source() == 2) {
        if (ka != kb)
            return ka < kb;
        if (ia.rawArgs().empty() != ib.rawArgs().empty())
            return ia.rawArgs().empty();
        return a.score() != b.score() ? a.score() > b.score() : cmp();
    }
    if (a.sortMethod() != b.sortMethod())
        return a.sortMethod() < b.sortMethod();
    switch (a.sortMethod()) {
    case 1000:
        if (ka != kb)
            return ka < kb;
        return a.score() != b.score() ? a.score() > b.score() : cmp();
    case 200:
        return cmp();
    case 100:
        return wstr::compare(ia.target(), ib.target(), true) < 0;
    default:
        return false;
    }
}

// Where the ordering settles contradicting rules among history and catalog
// results.
bool isDocumentedException(const CatalogResult& a, const CatalogResult& b) {
    if (a.item()->category() == CatalogItem::error || b.item()->category() == CatalogItem::error)
        return false;
    bool historyOrCatalog = a.source() >= 2 && b.source() >= 2;
    return historyOrCatalog && a.kind() == b.kind() &&
           a.item()->rawArgs().empty() != b.item()->rawArgs().empty();
}

using Results = std::vector<CatalogResultPtr>;

Results stablySorted(const Results& results) {
    ResultOrder order(results);
    Results sorted = results;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&order](const CatalogResultPtr& a, const CatalogResultPtr& b) {
                         return order.before(*a, *b);
                     });
    return sorted;
}

// Strict weak ordering on the set: irreflexive, transitive, and results
// that compare equal form classes.
void expectStrictWeakOrdering(const Results& r) {
    ResultOrder order(r);
    auto less = [&order](const CatalogResultPtr& a, const CatalogResultPtr& b) {
        return order.before(*a, *b);
    };
    for (const auto& a : r) {
        ASSERT_FALSE(less(a, a));
        for (const auto& b : r) {
            for (const auto& c : r) {
                if (less(a, b) && less(b, c)) {
                    ASSERT_TRUE(less(a, c));
                }
                bool abEqual = !less(a, b) && !less(b, a);
                bool bcEqual = !less(b, c) && !less(c, b);
                if (abEqual && bcEqual) {
                    ASSERT_TRUE(!less(a, c) && !less(c, a));
                }
            }
        }
    }
}

CatalogItemPtr makeItem(const wstr& label, const wstr& target, const wstr& args = L"") {
    auto item =
        std::make_shared<CatalogItem>(0x200000001, CatalogItem::url, label, L"", target,
                                      CatalogItem::accepted, false, CatalogItem::keepall, 0, L"");
    item->setArgs(args, L"");
    return item;
}

CatalogResultPtr makeResult(CatalogItemPtr item, uint32_t source, uint32_t method, uint64_t score,
                            MatchKind kind) {
    return std::make_shared<CatalogResult>(std::weak_ptr<CatalogResults>(), std::move(item), source,
                                           method, score, kind);
}

// One plugin's suggestions, in its order, and results of other sources.
struct OrderCase {
    const char* name;
    struct Row {
        const wchar_t* label;
        uint32_t source;
        uint32_t method;
        MatchKind kind;
        uint64_t score;
        const wchar_t* target;
    };
    std::vector<Row> rows;
    std::vector<const wchar_t*> expected;

    Results results() const {
        Results out;
        for (const Row& row : rows)
            out.push_back(makeResult(makeItem(row.label, row.target), row.source, row.method,
                                     row.score, row.kind));
        return out;
    }
};

constexpr uint32_t sug = CatalogResult::suggestion, cat = CatalogResult::catalog;
using K = MatchKind;

// The plugin's sort method decides among its suggestions whatever their
// kinds; another source's exact or word match takes the place the rules give
// it, and only where they cycle does it come before a suggestion that beats it.
const std::vector<OrderCase> orderCases = {
    {"keep order alone",
     {{L"zeta note", sug, 0, K::word, 900, L"t1"},
      {L"note", sug, 0, K::exact, 1000, L"t2"},
      {L"notes", sug, 0, K::wordStart, 800, L"t3"}},
     {L"zeta note", L"note", L"notes"}},
    {"keep order around a catalog word match",
     {{L"zeta note", sug, 0, K::word, 900, L"t1"},
      {L"note", sug, 0, K::exact, 1000, L"t2"},
      {L"notes", sug, 0, K::wordStart, 800, L"t3"},
      {L"note pad", cat, 1000, K::word, 950, L"t4"}},
     {L"zeta note", L"note", L"note pad", L"notes"}},
    {"keep order after a catalog exact match, where the rules cycle",
     {{L"zeta note", sug, 0, K::word, 900, L"t1"},
      {L"note", sug, 0, K::exact, 1000, L"t2"},
      {L"notes", sug, 0, K::wordStart, 800, L"t3"},
      {L"NOTE", cat, 1000, K::exact, 1000, L"t4"}},
     {L"NOTE", L"zeta note", L"note", L"notes"}},
    {"unscored suggestions after a catalog word match",
     {{L"= 42", sug, 0, K::unscored, 0, L"t1"},
      {L"= 43", sug, 0, K::unscored, 0, L"t2"},
      {L"forty two", cat, 1000, K::word, 900, L"t3"}},
     {L"forty two", L"= 42", L"= 43"}},
    {"by target",
     {{L"b", sug, 100, K::exact, 1000, L"t3"},
      {L"c", sug, 100, K::scattered, 100, L"t1"},
      {L"a", sug, 100, K::word, 900, L"t2"}},
     {L"c", L"a", L"b"}},
    {"by item",
     {{L"beta", sug, 200, K::exact, 1000, L"t1"},
      {L"Alpha", sug, 200, K::scattered, 100, L"t2"},
      {L"gamma", sug, 200, K::word, 900, L"t3"}},
     {L"Alpha", L"beta", L"gamma"}},
    {"by score",
     {{L"x", sug, 1000, K::word, 500, L"t1"},
      {L"y", sug, 1000, K::exact, 100, L"t2"},
      {L"z", sug, 1000, K::word, 900, L"t3"},
      {L"w", cat, 1000, K::word, 950, L"t4"}},
     {L"y", L"z", L"x", L"w"}},
};

class RandomResults {
public:
    explicit RandomResults(unsigned seed) : rng_(seed) {}

    CatalogResultPtr next() {
        uint32_t category = pick({CatalogItem::url, CatalogItem::url, CatalogItem::url,
                                  CatalogItem::file, CatalogItem::error});
        uint64_t plugin = pick({0x200000001ull, 0x300000001ull});
        auto item = std::make_shared<CatalogItem>(
            plugin, category, pick(labels_), pick({L"", L"d"}), pick({L"t1", L"T1", L"t2"}),
            CatalogItem::accepted, false, CatalogItem::keepall, 0, L"");
        item->setArgs(pick({L"", L"", L"x", L"y"}), L"");
        item->setHitCount(pick({0, 1, 2}));
        uint32_t source = pick({0u, 1u, 1u, 1u, 2u, 2u, 3u, 3u});
        uint32_t method = source == 1 ? pick({0u, 100u, 200u, 1000u}) : 1000u;
        auto kind = static_cast<MatchKind>(pick({0u, 1u, 2u, 3u, 4u, 5u, 8u}));
        uint64_t score = kind == MatchKind::unscored ? item->hitCount() : pick({0u, 1u, 2u, 3u});
        return std::make_shared<CatalogResult>(std::weak_ptr<CatalogResults>(), item, source,
                                               method, score, kind);
    }

    // Labels that tie on their first characters, and letters whose folding
    // differs from their lower case.
    void useTrickyLabels() {
        labels_ = {L"alpha",          L"Alpha",    L"ALPHABET", L"alphabet soup",
                   L"ALPHABET SOUP2", L"alphabet", L"ſtar",     L"Star",
                   L"ςigma",          L"ΣIGMA",    L"İstanbul", L"istanbul",
                   L"alpHa beta",     L"a",        L"Straße",   L"STRASSE"};
    }

private:
    template <typename T> T pick(const std::vector<T>& values) {
        return values[rng_() % values.size()];
    }
    template <typename T> T pick(std::initializer_list<T> values) {
        return *(values.begin() + rng_() % values.size());
    }

    std::mt19937 rng_;
    std::vector<const wchar_t*> labels_{L"alpha", L"Alpha", L"beta"};
};

TEST(ResultOrder, IsAStrictWeakOrdering) {
    RandomResults random(42);
    for (int round = 0; round < 40; ++round) {
        Results r;
        for (int i = 0; i < 40; ++i)
            r.push_back(random.next());
        expectStrictWeakOrdering(r);
    }
    for (const OrderCase& orderCase : orderCases) {
        SCOPED_TRACE(orderCase.name);
        expectStrictWeakOrdering(orderCase.results());
    }
}

TEST(ResultOrder, KeepsEachSortMethodAmongSuggestions) {
    for (const OrderCase& orderCase : orderCases) {
        std::vector<wstr> labels;
        for (const CatalogResultPtr& r : stablySorted(orderCase.results()))
            labels.push_back(r->item()->label());
        EXPECT_EQ(labels, std::vector<wstr>(orderCase.expected.begin(), orderCase.expected.end()))
            << orderCase.name;
    }
}

// Whether the rules put x before y, results the rules find equal going in
// the order they were added.
bool rulesFirst(const Results& set, std::size_t x, std::size_t y) {
    return pairwiseRule(*set[x], *set[y]) || (!pairwiseRule(*set[y], *set[x]) && x < y);
}

// Whether a chain of the rules leads from x to y.
bool rulesLead(const Results& set, std::size_t x, std::size_t y) {
    std::vector<bool> seen(set.size());
    std::vector<std::size_t> open{x};
    seen[x] = true;
    while (!open.empty()) {
        std::size_t at = open.back();
        open.pop_back();
        for (std::size_t next = 0; next < set.size(); ++next) {
            if (seen[next] || !rulesFirst(set, at, next))
                continue;
            if (next == y)
                return true;
            seen[next] = true;
            open.push_back(next);
        }
    }
    return false;
}

// Wherever the order puts a before b against the rules, the rules also lead
// from a to b: the pair lies on one of their cycles.
TEST(ResultOrder, AgreesWithThePairwiseRulesOutsideTheirCycles) {
    RandomResults random(7);
    int agreeing = 0, onCycles = 0;
    for (int round = 0; round < 3000; ++round) {
        Results set;
        for (int i = 0; i < 8; ++i)
            set.push_back(random.next());
        Results sorted = stablySorted(set);
        std::vector<std::size_t> added;
        for (const CatalogResultPtr& r : sorted)
            added.push_back(std::find(set.begin(), set.end(), r) - set.begin());
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            for (std::size_t j = i + 1; j < sorted.size(); ++j) {
                std::size_t a = added[i], b = added[j];
                if (isDocumentedException(*set[a], *set[b]))
                    continue;
                if (!rulesFirst(set, b, a)) {
                    ++agreeing;
                    continue;
                }
                ++onCycles;
                ASSERT_TRUE(rulesLead(set, a, b))
                    << "round " << round << " sources " << set[a]->source() << "/"
                    << set[b]->source() << " kinds " << static_cast<int>(set[a]->kind()) << "/"
                    << static_cast<int>(set[b]->kind()) << " methods " << set[a]->sortMethod()
                    << "/" << set[b]->sortMethod();
            }
        }
    }
    EXPECT_GT(onCycles, 0);
    EXPECT_GT(agreeing, onCycles);
}

// The sort reads each result into a key once; it must give exactly the order
// of a stable sort with ResultOrder, also where only a first part is asked.
TEST(ResultOrder, KeyedSortEqualsTheStableSort) {
    RandomResults random(99);
    random.useTrickyLabels();
    for (int round = 0; round < 300; ++round) {
        std::vector<CatalogResultPtr> results;
        for (int i = 0, n = 1 + round % 60; i < n; ++i)
            results.push_back(random.next());
        std::vector<CatalogResultPtr> expected = stablySorted(results);
        std::vector<CatalogResultPtr> sorted = results;
        sortResults(sorted, SIZE_MAX);
        ASSERT_EQ(sorted, expected) << "round " << round;
        std::size_t ordered = round % 7;
        std::vector<CatalogResultPtr> partial = results;
        sortResults(partial, ordered);
        ordered = std::min(ordered, results.size());
        ASSERT_TRUE(std::equal(expected.begin(), expected.begin() + ordered, partial.begin()));
        ASSERT_TRUE(std::is_permutation(partial.begin(), partial.end(), results.begin()));
    }
}

// The contradictions themselves, settled one way.
TEST(ResultOrder, SettlesTheCycles) {
    auto result = [](const wstr& label, const wstr& args, uint32_t source, uint32_t method,
                     uint64_t score, MatchKind kind) {
        return makeResult(makeItem(label, label, args), source, method, score, kind);
    };
    auto before = [](const Results& set, std::size_t a, std::size_t b) {
        return ResultOrder(set).before(*set[a], *set[b]);
    };
    // Two history results and a catalog result of one kind: the score decides.
    Results history{result(L"a", L"x", 2, 1000, 600, MatchKind::wordStart),
                    result(L"b", L"", 3, 1000, 550, MatchKind::wordStart),
                    result(L"c", L"", 2, 1000, 500, MatchKind::wordStart)};
    EXPECT_TRUE(before(history, 0, 1));
    EXPECT_TRUE(before(history, 1, 2));
    EXPECT_TRUE(before(history, 0, 2));
    EXPECT_TRUE(pairwiseRule(*history[2], *history[0])); // the rules' cycle

    // A weak suggestion of sort method 0, an exact one sorted by score, and a
    // catalog word match: the suggestions keep their order, the word match
    // goes first.
    Results suggested{result(L"s1", L"", 1, 0, 10, MatchKind::scattered),
                      result(L"s2", L"", 1, 1000, 10, MatchKind::exact),
                      result(L"w", L"", 3, 1000, 900, MatchKind::word)};
    EXPECT_TRUE(before(suggested, 2, 0));
    EXPECT_TRUE(before(suggested, 0, 1));
    EXPECT_TRUE(before(suggested, 2, 1));
    EXPECT_TRUE(pairwiseRule(*suggested[1], *suggested[2])); // the rules' cycle
}

} // namespace
