#include "catalog/ResultOrder.h"
#include "catalog/Catalog.h"

#include <gtest/gtest.h>

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

bool isStrong(const CatalogResult& r) {
    return r.kind() == MatchKind::exact || r.kind() == MatchKind::word;
}

// The two places where the ordering settles contradicting rules.
bool isDocumentedException(const CatalogResult& a, const CatalogResult& b) {
    if (a.item()->category() == CatalogItem::error || b.item()->category() == CatalogItem::error)
        return false;
    if (a.source() == 1 && b.source() == 1)
        return a.kind() != b.kind() && (isStrong(a) || isStrong(b));
    bool historyOrCatalog = a.source() >= 2 && b.source() >= 2;
    return historyOrCatalog && a.kind() == b.kind() &&
           a.item()->rawArgs().empty() != b.item()->rawArgs().empty();
}

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
        std::vector<CatalogResultPtr> r;
        for (int i = 0; i < 40; ++i)
            r.push_back(random.next());
        auto less = [](const CatalogResultPtr& a, const CatalogResultPtr& b) {
            return resultBefore(*a, *b);
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
}

TEST(ResultOrder, AgreesWithThePairwiseRulesOutsideTheirCycles) {
    RandomResults random(7);
    int compared = 0, exceptions = 0;
    for (int i = 0; i < 100000; ++i) {
        CatalogResultPtr a = random.next(), b = random.next();
        if (isDocumentedException(*a, *b)) {
            ++exceptions;
            continue;
        }
        ++compared;
        ASSERT_EQ(resultBefore(*a, *b), pairwiseRule(*a, *b))
            << "sources " << a->source() << "/" << b->source() << " kinds "
            << static_cast<int>(a->kind()) << "/" << static_cast<int>(b->kind()) << " methods "
            << a->sortMethod() << "/" << b->sortMethod();
    }
    EXPECT_GT(exceptions, 0);
    EXPECT_GT(compared, exceptions);
}

// The sort reads each result into a key once; it must give exactly the order
// of a stable sort with resultBefore, also where only a first part is asked.
TEST(ResultOrder, KeyedSortEqualsTheStableSort) {
    RandomResults random(99);
    random.useTrickyLabels();
    for (int round = 0; round < 300; ++round) {
        std::vector<CatalogResultPtr> results;
        for (int i = 0, n = 1 + round % 60; i < n; ++i)
            results.push_back(random.next());
        std::vector<CatalogResultPtr> expected = results;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const CatalogResultPtr& a, const CatalogResultPtr& b) {
                             return resultBefore(*a, *b);
                         });
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
    auto item = [](const wstr& label, const wstr& args) {
        auto i = std::make_shared<CatalogItem>(0x200000001, CatalogItem::url, label, L"", label,
                                               CatalogItem::accepted, false, CatalogItem::keepall,
                                               0, L"");
        i->setArgs(args, L"");
        return i;
    };
    auto result = [](CatalogItemPtr i, uint32_t source, uint32_t method, uint64_t score,
                     MatchKind kind) {
        return CatalogResult({}, std::move(i), source, method, score, kind);
    };
    // Two history results and a catalog result of one kind: the score decides.
    auto historyWithArgs = result(item(L"a", L"x"), 2, 1000, 600, MatchKind::wordStart);
    auto catalog = result(item(L"b", L""), 3, 1000, 550, MatchKind::wordStart);
    auto historyPlain = result(item(L"c", L""), 2, 1000, 500, MatchKind::wordStart);
    EXPECT_TRUE(resultBefore(historyWithArgs, catalog));
    EXPECT_TRUE(resultBefore(catalog, historyPlain));
    EXPECT_TRUE(resultBefore(historyWithArgs, historyPlain));
    EXPECT_TRUE(pairwiseRule(historyPlain, historyWithArgs)); // the rules' cycle

    // Suggestions of two sort methods and a catalog word match: kinds first.
    auto keepOrder = result(item(L"s1", L""), 1, 0, 10, MatchKind::scattered);
    auto byScore = result(item(L"s2", L""), 1, 1000, 10, MatchKind::exact);
    auto word = result(item(L"w", L""), 3, 1000, 900, MatchKind::word);
    EXPECT_TRUE(resultBefore(byScore, word));
    EXPECT_TRUE(resultBefore(word, keepOrder));
    EXPECT_TRUE(resultBefore(byScore, keepOrder));
    EXPECT_TRUE(pairwiseRule(keepOrder, byScore)); // the rules' cycle
}

} // namespace
