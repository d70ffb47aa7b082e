#include "catalog/CatalogItemStore.h"
#include "catalog/CatalogResults.h"
#include "catalog/CharClass.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Contents = std::map<wchar_t, std::vector<uint64_t>>;

CatalogItemPtr makeItem(uint64_t plugin, const wstr& label, const wstr& target) {
    return std::make_shared<CatalogItem>(plugin, CatalogItem::url, label, L"", target,
                                         CatalogItem::accepted, false, CatalogItem::keepall, 0,
                                         L"");
}

// What the index must hold for these items, computed from their texts.
Contents expectedContents(const std::vector<CatalogItemPtr>& items, bool args) {
    Contents contents;
    for (const CatalogItemPtr& item : items) {
        std::wstring_view text = args ? item->lowerDisplayedArgs() : item->lowerComposedText();
        for (wchar_t ch : text) {
            if (CharClass::isGap(ch))
                continue;
            std::vector<uint64_t>& ids = contents[ch];
            if (std::find(ids.begin(), ids.end(), item->id()) == ids.end())
                ids.push_back(item->id());
        }
    }
    for (auto& [ch, ids] : contents)
        std::sort(ids.begin(), ids.end());
    return contents;
}

void expectIndexInvariant(const CatalogItemStore& store) {
    std::vector<CatalogItemPtr> items = store.sortedItems();
    CatalogItemStore rebuilt;
    for (const CatalogItemPtr& item : items)
        rebuilt.insert(item);
    for (auto kind : {CatalogItemStore::IndexKind::composed, CatalogItemStore::IndexKind::args}) {
        bool args = kind == CatalogItemStore::IndexKind::args;
        Contents contents = store.indexContents(kind);
        ASSERT_EQ(contents, expectedContents(items, args)) << (args ? "args" : "composed");
        ASSERT_EQ(contents, rebuilt.indexContents(kind));
    }
}

// Random inserts, label changes through merges, removals of items, plugins
// and packages, over enough items that character sets turn into bitsets and
// back.
TEST(CatalogItemStore, IndexInvariantHoldsAfterRandomChanges) {
    std::mt19937 rng(7);
    const wstr letters = L"abcdefghij \u00e9\u4e2dXY";
    auto randomText = [&](std::size_t maxLength) {
        wstr text;
        for (std::size_t i = rng() % maxLength + 1; i > 0; --i)
            text.push_back(letters[rng() % letters.size()]);
        return text;
    };
    const uint64_t plugins[] = {0x200000001, 0x200000002, 0x300000001};
    CatalogItemStore store;
    std::vector<CatalogItemPtr> made;
    for (int round = 0; round < 6000; ++round) {
        unsigned op = rng() % 100;
        uint64_t plugin = plugins[rng() % 3];
        if (op < 55 || made.empty()) {
            auto item = makeItem(plugin, randomText(8), L"t" + std::to_wstring(rng() % 3000));
            if (rng() % 3 == 0)
                item->setArgs(randomText(5), rng() % 2 ? randomText(4) : wstr());
            store.insert(item);
            made.push_back(item);
        } else if (op < 75) {
            // Another object with a stored id and a new label: merged into the stored one.
            const CatalogItemPtr& old = made[rng() % made.size()];
            auto newer = makeItem(old->pluginId(), randomText(8), old->target());
            newer->setArgs(old->rawArgs(), old->displayArgsField());
            bool wasStored = store.contains(old->id());
            auto [stored, inserted] = store.insert(newer);
            EXPECT_EQ(inserted, !wasStored);
            EXPECT_EQ(stored.get() == newer.get(), !wasStored);
        } else if (op < 97) {
            store.remove(made[rng() % made.size()]);
        } else if (op < 99) {
            store.removePlugin(plugin);
        } else {
            store.removePackage(static_cast<uint32_t>(plugin >> 32));
        }
        if (round % 500 == 0)
            expectIndexInvariant(store);
    }
    expectIndexInvariant(store);
}

TEST(CatalogItemStore, InsertKeepsTheStoredObject) {
    CatalogItemStore store;
    auto stored = makeItem(0x200000001, L"Old Label", L"target");
    EXPECT_TRUE(store.insert(stored).second);

    auto same = makeItem(0x200000001, L"Old Label", L"target");
    auto [kept, inserted] = store.insert(same);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(kept.get(), stored.get());

    auto renamed = makeItem(0x200000001, L"Quux", L"target");
    std::tie(kept, inserted) = store.insert(renamed);
    EXPECT_FALSE(inserted);
    EXPECT_EQ(kept.get(), stored.get());
    EXPECT_EQ(stored->label(), L"Quux");
    EXPECT_EQ(store.find(stored->id()).get(), stored.get());
    Contents contents = store.indexContents(CatalogItemStore::IndexKind::composed);
    EXPECT_EQ(contents.count(L'q'), 1u);
    EXPECT_EQ(contents.count(L'o'), 0u); // no character of the old label is left
    EXPECT_EQ(store.size(), 1u);
}

TEST(CatalogItemStore, RemovesByPluginAndPackage) {
    CatalogItemStore store;
    for (uint64_t plugin : {0x200000001ull, 0x200000002ull, 0x300000001ull}) {
        for (int i = 0; i < 3; ++i)
            store.insert(
                makeItem(plugin, L"x", std::to_wstring(plugin) + L"-" + std::to_wstring(i)));
    }
    EXPECT_EQ(store.removePlugin(0x200000002), 3u);
    EXPECT_EQ(store.removePlugin(0x200000002), 0u);
    EXPECT_EQ(store.removePackage(2), 3u);
    EXPECT_EQ(store.size(), 3u);
    EXPECT_FALSE(store.remove(makeItem(0x200000001, L"x", L"gone")));
    expectIndexInvariant(store);
}

std::vector<wstr> labelsFound(const CatalogItemStore& store, const wstr& text) {
    auto results = std::make_shared<CatalogResults>();
    store.search(*results, {}, text, wstr::lowerCopy(text), CatalogResult::catalog, nullptr);
    std::vector<wstr> labels;
    for (const CatalogResultPtr& r : *results)
        labels.push_back(r->item()->label());
    std::sort(labels.begin(), labels.end());
    return labels;
}

TEST(CatalogItemStore, SearchNeedsEveryIndexedCharacter) {
    CatalogItemStore store;
    for (const wchar_t* label : {L"Notepad", L"Note", L"Paint", L"Terminal"})
        store.insert(makeItem(0x200000001, label, label));
    // Terminal holds both characters but not in order: a candidate the matcher rejects.
    EXPECT_EQ(labelsFound(store, L"nt"), (std::vector<wstr>{L"Note", L"Notepad", L"Paint"}));
    EXPECT_EQ(labelsFound(store, L"pd"), (std::vector<wstr>{L"Notepad"}));
    // A character that no item holds does not remove candidates by itself;
    // the matcher then rejects them.
    EXPECT_EQ(labelsFound(store, L"note\u4e2d"), (std::vector<wstr>{}));
    EXPECT_EQ(labelsFound(store, L"zz"), (std::vector<wstr>{}));
    EXPECT_EQ(labelsFound(store, L""), (std::vector<wstr>{}));
}

TEST(CatalogItemStore, KnownPluginsFilterTheCandidates) {
    CatalogItemStore store;
    store.insert(makeItem(0x200000001, L"Alpha", L"a"));
    store.insert(makeItem(0x300000001, L"Alpine", L"b"));
    auto results = std::make_shared<CatalogResults>();
    store.search(*results, {0x300000001}, L"al", L"al", CatalogResult::catalog, nullptr);
    ASSERT_EQ(results->size(), 1u);
    EXPECT_EQ((*results)[0]->item()->label(), L"Alpine");
}

// The compact layout lets go of objects nobody else holds and makes equal
// ones from its records: every text comes back exactly (lone surrogates and
// values beyond Unicode too), a held object stays the stored one, and a
// change through it is what the store keeps.
TEST(CatalogItemStore, CompactLayoutKeepsEveryFieldAndHeldObjects) {
    CatalogItemStore store(CatalogItemStore::Layout::compact);
    const wstr odd = {L'A',
                      static_cast<wchar_t>(0xD800),
                      static_cast<wchar_t>(0x10FFFF),
                      static_cast<wchar_t>(0x7FFFFFFF),
                      static_cast<wchar_t>(-5),
                      L'\u00e9',
                      L'z'};
    auto plain = std::make_shared<CatalogItem>(0x200000001, CatalogItem::file, L"Straße " + odd,
                                               L"Desc é", L"/tmp/x" + odd, CatalogItem::forbidden,
                                               true, CatalogItem::noargs, 42, L"bag" + odd);
    plain->setHitCount(3);
    auto withArgs = makeItem(0x200000001, L"Tool", L"tool");
    withArgs->setArgs(L"--Flag", L"Shown");
    auto held = makeItem(0x300000001, L"Held", L"held");
    std::vector<CatalogItemPtr> originals;
    for (const CatalogItemPtr& item : {plain, withArgs, held}) {
        store.insert(item);
        originals.push_back(item->clone());
        originals.back()->setArgs(item->rawArgs(), item->displayArgsField());
        originals.back()->setHitCount(item->hitCount());
    }
    const uint64_t plainId = plain->id(), argsId = withArgs->id();
    plain.reset();
    withArgs.reset();
    store.releaseUnshared();
    held->setHitCount(7);
    originals[2]->setHitCount(7);

    for (const CatalogItemPtr& original : originals) {
        CatalogItemPtr found = store.find(original->id());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->label(), original->label());
        EXPECT_EQ(found->target(), original->target());
        EXPECT_EQ(found->shortDesc(), original->shortDesc());
        EXPECT_EQ(found->dataBag(), original->dataBag());
        EXPECT_EQ(found->composedText(), original->composedText());
        EXPECT_EQ(found->lowerComposedText(), original->lowerComposedText());
        EXPECT_EQ(found->displayedArgs(), original->displayedArgs());
        EXPECT_EQ(found->baseId(), original->baseId());
        EXPECT_EQ(found->hitCount(), original->hitCount());
        EXPECT_EQ(found->iconHandle(), original->iconHandle());
        EXPECT_EQ(found->loopOnSuggest(), original->loopOnSuggest());
        EXPECT_EQ(found->hitHint(), original->hitHint());
    }
    EXPECT_EQ(store.find(held->id()).get(), held.get());
    EXPECT_TRUE(store.recordCopy(held->id()).used()) << "held, but as recorded";
    held->setShortDesc(L"Changed by its holder");
    EXPECT_FALSE(store.recordCopy(held->id()).used());
    EXPECT_FALSE(store.recordCopy(argsId).used());

    // Released again, the record keeps the hit count set through the object.
    store.releaseUnshared();
    store.clearHitCounts([](uint64_t pluginId) { return pluginId == 0x300000001; });
    EXPECT_EQ(held->hitCount(), 0u);
    EXPECT_TRUE(store.recordCopy(plainId).used());
    EXPECT_EQ(store.find(plainId)->hitCount(), 3u);
    EXPECT_EQ(store.idsOfPlugin(0x200000001).size(), 2u);
    EXPECT_EQ(store.removePlugin(0x200000001), 2u);
    EXPECT_EQ(store.size(), 1u);
}

} // namespace
