#include "catalog/CatalogResults.h"
#include "catalog/CatalogSearchChain.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>

namespace {

CatalogItemPtr makeItem(const wstr& label) {
    return std::make_shared<CatalogItem>(0x200000001, CatalogItem::url, label, L"", label,
                                         CatalogItem::accepted, false, CatalogItem::keepall, 0,
                                         L"");
}

std::vector<wstr> labels(const CatalogResults& results) {
    std::vector<wstr> out;
    for (const CatalogResultPtr& r : results)
        out.push_back(r->item()->label());
    return out;
}

TEST(CatalogResults, AddKeepsTheBestScoreInPlace) {
    auto results = std::make_shared<CatalogResults>();
    auto a = makeItem(L"a"), b = makeItem(L"b");
    results->add(a, CatalogResult::catalog, 500, 1000, MatchKind::word);
    results->add(b, CatalogResult::catalog, 100, 1000, MatchKind::word);
    results->add(a, CatalogResult::history, 400, 1000, MatchKind::exact);
    ASSERT_EQ(results->size(), 2u);
    EXPECT_EQ((*results)[0]->score(), 500u);
    EXPECT_EQ((*results)[0]->source(), CatalogResult::catalog);

    // An equal score keeps the first result, source included.
    results->add(a, CatalogResult::history, 500, 1000, MatchKind::exact);
    EXPECT_EQ((*results)[0]->source(), CatalogResult::catalog);

    // A higher score updates the result where it stands; its sort method stays.
    CatalogResult* first = (*results)[0].get();
    results->add(a, CatalogResult::history, 600, 0, MatchKind::exact);
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"a", L"b"}));
    EXPECT_EQ((*results)[0].get(), first);
    EXPECT_EQ(first->score(), 600u);
    EXPECT_EQ(first->source(), CatalogResult::history);
    EXPECT_EQ(first->kind(), MatchKind::exact);
    EXPECT_EQ(first->sortMethod(), 1000u);
    EXPECT_EQ(results->lookup(a->id()).get(), first);
    EXPECT_EQ(first->owner().lock(), results);
}

TEST(CatalogResults, AddUnscoredAppendsDuplicates) {
    auto results = std::make_shared<CatalogResults>();
    auto a = makeItem(L"a");
    results->add(a, CatalogResult::catalog, 500, 1000, MatchKind::word);
    results->addUnscored(a, CatalogResult::suggestion, 0);
    ASSERT_EQ(results->size(), 2u);
    CatalogResultPtr found = results->lookup(a->id());
    EXPECT_EQ(found, (*results)[1]);
    EXPECT_EQ(found->kind(), MatchKind::unscored);
    EXPECT_EQ(found->score(), 0u);
}

TEST(CatalogResults, UpdateEraseAndTruncateKeepTheIndex) {
    auto results = std::make_shared<CatalogResults>();
    auto a = makeItem(L"a"), b = makeItem(L"b"), c = makeItem(L"c"), d = makeItem(L"d");
    for (const CatalogItemPtr& item : {a, b, c})
        results->add(item, CatalogResult::catalog, 10, 1000, MatchKind::scattered);

    results->update(*(*results)[1], d, CatalogResult::keyword, 99, MatchKind::word);
    EXPECT_EQ(results->lookup(b->id()), nullptr);
    EXPECT_EQ(results->lookup(d->id()), (*results)[1]);
    EXPECT_EQ((*results)[1]->source(), CatalogResult::keyword);

    auto next = results->erase(results->begin());
    EXPECT_EQ((*next)->item(), d);
    EXPECT_EQ(results->lookup(a->id()), nullptr);

    results->truncate(5);
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"d", L"c"}));
    results->truncate(1);
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"d"}));
    EXPECT_EQ(results->lookup(c->id()), nullptr);
    results->truncate(0);
    EXPECT_TRUE(results->empty());
    EXPECT_EQ(results->lookup(d->id()), nullptr);
}

TEST(CatalogResults, MergeReplacesResultsOfTheSameItem) {
    auto results = std::make_shared<CatalogResults>();
    auto suggested = std::make_shared<CatalogResults>();
    auto a = makeItem(L"a"), b = makeItem(L"b"), c = makeItem(L"c");
    results->add(a, CatalogResult::catalog, 10, 1000, MatchKind::word);
    results->add(b, CatalogResult::catalog, 10, 1000, MatchKind::word);
    suggested->add(c, CatalogResult::suggestion, 5, 0, MatchKind::word);
    suggested->add(a, CatalogResult::suggestion, 5, 0, MatchKind::word);
    results->mergeFrom(*suggested);
    EXPECT_EQ(labels(*results), (std::vector<wstr>{L"b", L"c", L"a"}));
    EXPECT_EQ(results->lookup(a->id())->source(), CatalogResult::suggestion);
    EXPECT_EQ(results->lookup(a->id())->owner().lock(), results);
    EXPECT_TRUE(suggested->empty());
}

TEST(CatalogResults, NothingIsAddedToASetNotOwnedBySharedPointer) {
    CatalogResults results;
    results.add(makeItem(L"a"), CatalogResult::catalog, 10, 1000, MatchKind::word);
    results.addUnscored(makeItem(L"b"), CatalogResult::catalog, 1000);
    results.add(nullptr, CatalogResult::catalog, 10, 1000, MatchKind::word);
    EXPECT_TRUE(results.empty());
}

TEST(CatalogSearchChain, PushPopAndItems) {
    CatalogSearchChain chain;
    EXPECT_EQ(chain.pop(), nullptr);
    EXPECT_EQ(chain.push(L" \t", nullptr), nullptr);
    ASSERT_NE(chain.push(L"first", nullptr), nullptr);
    EXPECT_EQ(chain.push(L"second", nullptr), nullptr);
    auto item = makeItem(L"x");
    auto step = chain.push(L"x", item);
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->item, item);
    EXPECT_EQ(chain.items(), (std::vector<CatalogItemPtr>{nullptr, item}));
    EXPECT_EQ(chain.pop(), step);
    EXPECT_EQ(chain.pop()->text, L"first");
    EXPECT_TRUE(chain.empty());
}

} // namespace

namespace {

// The flat index against a standard map, with evenly spread ids and ids that
// all want the same place.
TEST(ResultIndex, MatchesAMapUnderRandomChanges) {
    std::mt19937_64 rng(3);
    std::vector<uint64_t> ids;
    for (int i = 0; i < 250; ++i)
        ids.push_back(rng());
    for (uint64_t i = 0; i < 50; ++i)
        ids.push_back(0xABC0000000000000ull + i);
    ResultIndex index;
    std::unordered_map<uint64_t, CatalogResult*> expected;
    std::vector<CatalogResult*> pointers(8);
    for (std::size_t i = 0; i < pointers.size(); ++i)
        pointers[i] = reinterpret_cast<CatalogResult*>(0x1000 + 16 * i);
    for (int step = 0; step < 200000; ++step) {
        uint64_t id = ids[rng() % ids.size()];
        CatalogResult* pointer = pointers[rng() % pointers.size()];
        switch (rng() % 3) {
        case 0:
            index.set(id, pointer);
            expected[id] = pointer;
            break;
        case 1: {
            index.erase(id, pointer);
            auto found = expected.find(id);
            if (found != expected.end() && found->second == pointer)
                expected.erase(found);
            break;
        }
        default:
            if (rng() % 500 == 0) {
                index.clear();
                expected.clear();
            }
            break;
        }
        auto found = expected.find(id);
        ASSERT_EQ(index.find(id), found == expected.end() ? nullptr : found->second);
        ASSERT_EQ(index.size(), expected.size());
    }
    for (const auto& [id, pointer] : expected)
        ASSERT_EQ(index.find(id), pointer);
}

} // namespace
