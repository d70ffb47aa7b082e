#include "catalog/CatalogHistory.h"
#include "catalog/CatalogResults.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t pluginA = 0x200000001;
constexpr uint64_t pluginB = 0x300000001;
constexpr int64_t noon = 1700000000;

CatalogItemPtr makeItem(const wstr& label, uint32_t hitHint = CatalogItem::keepall,
                        uint64_t plugin = pluginA, uint32_t argsHint = CatalogItem::accepted) {
    return std::make_shared<CatalogItem>(plugin, CatalogItem::cmdline, label, L"", L"t-" + label,
                                         argsHint, false, hitHint, 0, L"");
}

CatalogItemPtr withArgs(CatalogItemPtr item, const wstr& args) {
    item->setArgs(args, L"");
    return item;
}

TEST(CatalogHistory, HitWithArgumentsKeepsBothItems) {
    CatalogHistory history;
    auto item = withArgs(makeItem(L"Run"), L"--fast");
    CatalogItemPtr stored = history.addHit(item, nullptr, noon, 3600);
    EXPECT_EQ(stored, item);
    EXPECT_EQ(history.hits().size(), 1u);
    EXPECT_EQ(history.items().size(), 2u);
    EXPECT_EQ(item->hitCount(), 1u);
    CatalogItemPtr base = history.items().find(item->baseId());
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->rawArgs(), L"");
    EXPECT_EQ(base->hitCount(), 1u);
}

TEST(CatalogHistory, HitHintsDecideWhatIsRecorded) {
    CatalogHistory history;
    auto noargs = withArgs(makeItem(L"NoArgs", CatalogItem::noargs), L"x");
    CatalogItemPtr stored = history.addHit(noargs, nullptr, noon, 0);
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, noargs);
    EXPECT_EQ(stored->id(), noargs->baseId());
    EXPECT_EQ(stored->rawArgs(), L"");
    EXPECT_EQ(history.items().size(), 1u);

    EXPECT_EQ(history.addHit(makeItem(L"Ignored", CatalogItem::ignore), nullptr, noon, 0), nullptr);
    EXPECT_EQ(history.addHit(makeItem(L"Early"), nullptr, 0, 0), nullptr);
    auto badAction = std::make_shared<CatalogAction>(pluginA, L"Bad", L"Bad", L"", L"");
    EXPECT_EQ(history.addHit(makeItem(L"Act"), badAction, noon, 0), nullptr);
    EXPECT_EQ(history.hits().size(), 1u);
}

TEST(CatalogHistory, TwoHitsInOneSecondCountOnce) {
    CatalogHistory history;
    auto item = withArgs(makeItem(L"Run"), L"a");
    EXPECT_NE(history.addHit(item, nullptr, noon, 0), nullptr);
    EXPECT_EQ(history.addHit(item, nullptr, noon, 0), nullptr);
    EXPECT_EQ(history.hits().size(), 1u);
    EXPECT_EQ(item->hitCount(), 1u);
    EXPECT_EQ(history.items().find(item->baseId())->hitCount(), 1u);
    // A different second, or another offset, is another hit.
    EXPECT_NE(history.addHit(item, nullptr, noon, 7200), nullptr);
    EXPECT_NE(history.addHit(item, nullptr, noon + 1, 0), nullptr);
    EXPECT_EQ(history.hits().size(), 3u);
    EXPECT_EQ(item->hitCount(), 3u);
}

TEST(CatalogHistory, KeywordsKeepTheFiveNewestItems) {
    CatalogHistory history;
    std::vector<CatalogItemPtr> items;
    const wchar_t* spellings[] = {L"my text", L"My  Text", L" MY\ttext ",
                                  L"my text", L"mY TEXT",  L"my text"};
    for (int i = 0; i < 6; ++i) {
        items.push_back(makeItem(L"Item" + std::to_wstring(i)));
        history.addSearchTerms(spellings[i], items.back());
    }
    ASSERT_EQ(history.keywords().size(), 1u);
    const std::vector<CatalogItemPtr>& list = history.keywords().begin()->second;
    EXPECT_EQ(list,
              (std::vector<CatalogItemPtr>{items[5], items[4], items[3], items[2], items[1]}));

    history.addSearchTerms(L"MY TEXT", items[5]); // already first: nothing moves
    history.addSearchTerms(L"my text", items[2]); // moves to the front
    EXPECT_EQ(history.keywords().begin()->second,
              (std::vector<CatalogItemPtr>{items[2], items[5], items[4], items[3], items[1]}));
    history.addSearchTerms(L" \t ", items[0]);
    history.addSearchTerms(L"other", nullptr);
    EXPECT_EQ(history.keywords().size(), 1u);
}

TEST(CatalogHistory, TermsOfTheMostRecentAssociation) {
    CatalogHistory history;
    auto item = makeItem(L"Editor");
    auto other = makeItem(L"Other");
    history.addSearchTerms(L"editor", item);
    history.addSearchTerms(L"ed", item);
    history.addSearchTerms(L"e", item);
    history.addSearchTerms(L"e", other); // item is only second for "e" now
    history.addSearchTerms(L"zz", other);
    EXPECT_EQ(history.termsOf(item), L"ed");
    EXPECT_EQ(history.termsOf(other), L"e");
    // An item with arguments falls back to the texts of its base id.
    EXPECT_EQ(history.termsOf(withArgs(makeItem(L"Editor"), L"file")), L"ed");
    EXPECT_EQ(history.termsOf(makeItem(L"Unknown")), L"");
    EXPECT_EQ(history.termsOf(nullptr), L"");
}

TEST(CatalogHistory, EraseItemAndPackage) {
    CatalogHistory history;
    auto a = makeItem(L"A");
    auto b = makeItem(L"B", CatalogItem::keepall, pluginB);
    auto appAction =
        std::make_shared<CatalogAction>(CatalogAction::appPluginId, L"open", L"Open", L"", L"");
    history.addHit(a, appAction, noon, 0);
    history.addHit(b, appAction, noon + 1, 0);
    history.addSearchTerms(L"x", a);
    history.addSearchTerms(L"x", b);

    EXPECT_FALSE(history.erasePackage(1)); // the application's package id
    EXPECT_FALSE(history.erasePackage(0));
    EXPECT_EQ(history.actions().size(), 1u);

    EXPECT_TRUE(history.erasePackage(3));
    EXPECT_FALSE(history.items().contains(b->id()));
    EXPECT_EQ(history.hits().size(), 1u);
    EXPECT_EQ(history.keywords().begin()->second, (std::vector<CatalogItemPtr>{a}));
    EXPECT_EQ(history.actions().size(), 1u); // a hit's action alone does not tie it to a package

    EXPECT_TRUE(history.eraseItem(makeItem(L"A"))); // by id, another object
    EXPECT_TRUE(history.hits().empty());
    EXPECT_TRUE(history.keywords().empty());
    EXPECT_EQ(history.items().size(), 0u);
    EXPECT_FALSE(history.eraseItem(a));
}

TEST(CatalogHistory, OrphansNeedKnownPlugins) {
    CatalogHistory history;
    history.addHit(makeItem(L"A"), nullptr, noon, 0);
    history.addHit(makeItem(L"B", CatalogItem::keepall, pluginB), nullptr, noon, 0);
    history.addHit(makeItem(L"C", CatalogItem::keepall, pluginB), nullptr, noon, 0);

    // Nothing loaded yet: nothing is an orphan and nothing is removed.
    qvtest::LogRecords log;
    EXPECT_EQ(history.countOrphans({}), 0u);
    history.removeOrphans({});
    EXPECT_EQ(history.items().size(), 3u);
    EXPECT_EQ(log.matching(Logger::Info, L"No orphan removed from history (none found).").size(),
              1u);

    EXPECT_EQ(history.countOrphans({pluginA}), 2u);
    history.removeOrphans({pluginB});
    EXPECT_EQ(log.matching(Logger::Info, L"1 orphan removed from history.").size(), 1u);
    history.addHit(makeItem(L"D"), nullptr, noon, 0);
    history.removeOrphans({0x900000001});
    EXPECT_EQ(log.matching(Logger::Info, L"3 orphans removed from history.").size(), 1u);
    EXPECT_EQ(history.items().size(), 0u);
    EXPECT_TRUE(history.hits().empty());
}

TEST(CatalogHistory, ViewLastActionAndRefresh) {
    CatalogHistory history;
    auto a = makeItem(L"A"), b = makeItem(L"B");
    auto open = std::make_shared<CatalogAction>(pluginA, L"open", L"Open", L"", L"");
    auto edit = std::make_shared<CatalogAction>(pluginA, L"edit", L"Edit", L"", L"");
    history.addHit(a, open, noon, 0);
    history.addHit(b, nullptr, noon + 1, 0);
    history.addHit(a, edit, noon + 2, 0);
    EXPECT_EQ(history.lastAction(a), edit);
    EXPECT_EQ(history.lastAction(b), nullptr);
    EXPECT_EQ(history.lastAction(makeItem(L"None")), nullptr);

    auto results = std::make_shared<CatalogResults>();
    history.toResults(*results);
    ASSERT_EQ(results->size(), 2u);
    EXPECT_EQ((*results)[0]->item(), a);
    EXPECT_EQ((*results)[1]->item(), b);
    EXPECT_EQ((*results)[0]->kind(), MatchKind::unscored);
    EXPECT_EQ((*results)[0]->sortMethod(), 0u);

    // Newer catalog data reaches every stored item of the base id.
    auto aWithArgs = withArgs(makeItem(L"A"), L"x");
    history.addHit(aWithArgs, nullptr, noon + 3, 0);
    auto renamed =
        std::make_shared<CatalogItem>(pluginA, CatalogItem::cmdline, L"A renamed", L"", a->target(),
                                      CatalogItem::accepted, false, CatalogItem::keepall, 0, L"");
    EXPECT_EQ(history.refreshItem(renamed).get(), a.get());
    EXPECT_EQ(a->label(), L"A renamed");
    EXPECT_EQ(aWithArgs->label(), L"A renamed");
    EXPECT_EQ(aWithArgs->composedText(), L"A renamed x");
    EXPECT_EQ(history.refreshItem(makeItem(L"Z")).get(), nullptr);
    EXPECT_EQ(history.items().indexContents(CatalogItemStore::IndexKind::composed).count(L'r'), 1u);
}

} // namespace
