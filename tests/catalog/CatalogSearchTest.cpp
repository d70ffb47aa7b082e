// Catalog::search against a plain reference: every candidate scored one by
// one, results merged by id in a list, and the list put in order by a stable
// sort in ResultOrder. Randomised catalogs and queries must give the same
// results, scores and order.
#include "catalog/Catalog.h"
#include "catalog/CharClass.h"
#include "catalog/ResultOrder.h"
#include "catalog/SearchTexts.h"
#include "core/SysFile.h"
#include "tests/catalog/CatalogFakes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

namespace {

using qvtest::FakePlugin;
using qvtest::HostScope;

constexpr uint64_t pluginA = 0x200000001;
constexpr uint64_t pluginB = 0x300000001;
constexpr uint64_t pluginUnknown = 0x400000001;
constexpr uint64_t pluginSuggestAll = 0x500000001;
constexpr uint64_t pluginSuggestItem = 0x600000001;
constexpr uint64_t pluginSuggestTarget = 0x700000001;

// Words with case, digits, non-ASCII letters (some whose lower case differs
// in length in UTF-8), and texts that are prefixes of one another.
const wchar_t* const words[] = {
    L"Note",     L"notepad", L"NOTES",  L"pad", L"Python", L"pyth",    L"readme", L"Über",
    L"über",     L"café",    L"Straße", L"ΑΒΓ", L"αβγ",    L"日本",    L"x",      L"a",
    L"b",        L"ab",      L"AB",     L"n",   L"es",     L"Es",      L"2024",   L"v1",
    L"Makefile", L"main",    L"MAIN",   L"İx",  L"ǅa",     L"e\u0301", L"Mix",    L"mIx",
};
const wchar_t* const joins[] = {L" ", L" ",  L" ", L".", L"-",  L"_", L"/", L"+",
                                L":", L"\\", L",", L"",  L"  ", L"=", L";"};

template <typename T, std::size_t N> const T& pick(std::mt19937& rng, const T (&array)[N]) {
    return array[rng() % N];
}

wstr randomText(std::mt19937& rng, int maxWords) {
    wstr text = pick(rng, words);
    for (int w = static_cast<int>(rng() % maxWords); w > 0; --w) {
        text += pick(rng, joins);
        text += pick(rng, words);
    }
    return text;
}

// A query: a piece of a stored label (case changed at random), or words and
// separators put together; sometimes with white space to normalise.
wstr randomQuery(std::mt19937& rng, const std::vector<CatalogItemPtr>& items) {
    wstr query;
    switch (rng() % 4) {
    case 0:
    case 1: {
        const wstr& label = items[rng() % items.size()]->label();
        std::size_t start = rng() % label.size();
        query = label.substr(start, 1 + rng() % 7);
        break;
    }
    case 2:
        query = randomText(rng, 2);
        break;
    default:
        query = pick(rng, joins);
        query += pick(rng, words);
        break;
    }
    for (wchar_t& ch : query) {
        if (rng() % 5 == 0)
            ch = static_cast<wchar_t>(std::iswupper(ch) ? std::towlower(ch) : std::towupper(ch));
    }
    if (rng() % 10 == 0)
        query = L"  " + query + L"\t";
    return query.substr(0, 1 + rng() % 8);
}

// The catalog hands out objects made from its compact records, so items are
// compared by every field, not by address.
bool sameItem(const CatalogItem& a, const CatalogItem& b) {
    return a.id() == b.id() && a.baseId() == b.baseId() && a.pluginId() == b.pluginId() &&
           a.category() == b.category() && a.label() == b.label() &&
           a.shortDesc() == b.shortDesc() && a.target() == b.target() &&
           a.rawArgs() == b.rawArgs() && a.displayArgsField() == b.displayArgsField() &&
           a.dataBag() == b.dataBag() && a.argsHint() == b.argsHint() &&
           a.hitHint() == b.hitHint() && a.loopOnSuggest() == b.loopOnSuggest() &&
           a.iconHandle() == b.iconHandle() && a.hitCount() == b.hitCount() &&
           a.composedText() == b.composedText() && a.lowerComposedText() == b.lowerComposedText();
}

struct Entry {
    CatalogItemPtr item;
    uint32_t source;
    uint32_t sortMethod;
    uint64_t score;
    MatchKind kind;
    bool operator==(const Entry& other) const {
        return sameItem(*item, *other.item) && source == other.source &&
               sortMethod == other.sortMethod && score == other.score && kind == other.kind;
    }
};

void PrintTo(const Entry& e, std::ostream* os) {
    *os << testing::PrintToString(std::wstring(e.item->label())) << " id " << e.item->id()
        << " source " << e.source << " sort " << e.sortMethod << " score " << e.score << " kind "
        << static_cast<int>(e.kind);
}

// What the test put in the catalog: the stored item objects, the history
// (inside the catalog) and each plugin's suggestions with their methods.
struct Contents {
    std::vector<CatalogItemPtr> items; // the catalog's own store
    std::map<uint64_t, std::vector<CatalogItemPtr>> suggestions;
    std::map<uint64_t, std::pair<uint32_t, uint32_t>> methods;
    std::set<uint64_t> known; // empty: every plugin counts
};

// Today's search, written out plainly.
class Reference {
public:
    Reference(Catalog& catalog, const Contents& contents)
        : catalog_(catalog), contents_(contents) {}

    std::vector<Entry> search(wstr text, const CatalogItemPtr& chainItem) {
        normalizeSpaces(text);
        wstr lower = wstr::lowerCopy(text);
        list_.clear();
        if (chainItem && !chainItem->isValid())
            return {};
        Mutex::Lock lock(catalog_.mutex());
        if (!chainItem)
            scoreStore(list_, sortedById(contents_.items), text, lower, CatalogResult::catalog,
                       nullptr);
        historyPass(text, lower, chainItem);
        std::vector<Entry> suggested = suggestionsPass(text, lower, chainItem);
        std::erase_if(list_, [&](const Entry& e) {
            return std::any_of(suggested.begin(), suggested.end(),
                               [&](const Entry& s) { return s.item->id() == e.item->id(); });
        });
        list_.insert(list_.end(), suggested.begin(), suggested.end());
        return sorted(list_);
    }

private:
    static std::vector<CatalogItemPtr> sortedById(std::vector<CatalogItemPtr> items) {
        std::sort(items.begin(), items.end(), [](const CatalogItemPtr& a, const CatalogItemPtr& b) {
            return a->id() < b->id();
        });
        return items;
    }

    static std::wstring_view lowerTextOf(const CatalogItem& item, bool args) {
        return args ? std::wstring_view(item.lowerDisplayedArgs()) : item.lowerComposedText();
    }

    // A store only looks at items holding every character of the text that
    // some item of the store holds (white space and control characters
    // aside).
    static std::vector<wchar_t> heldCharacters(const std::vector<CatalogItemPtr>& items,
                                               const wstr& lower, bool args) {
        std::vector<wchar_t> held;
        for (wchar_t ch : lower) {
            if (CharClass::isGap(ch))
                continue;
            if (std::any_of(items.begin(), items.end(), [&](const CatalogItemPtr& i) {
                    return lowerTextOf(*i, args).find(ch) != std::wstring_view::npos;
                }))
                held.push_back(ch);
        }
        return held;
    }

    static bool holdsAll(const CatalogItem& item, const std::vector<wchar_t>& held, bool args) {
        return std::all_of(held.begin(), held.end(), [&](wchar_t ch) {
            return lowerTextOf(item, args).find(ch) != std::wstring_view::npos;
        });
    }

    bool isKnown(const CatalogItem& item) const {
        return contents_.known.empty() || contents_.known.count(item.pluginId()) != 0;
    }

    static Entry* latest(std::vector<Entry>& list, uint64_t id) {
        for (auto e = list.rbegin(); e != list.rend(); ++e) {
            if (e->item->id() == id)
                return &*e;
        }
        return nullptr;
    }

    // Adds a result, or lets a higher score take over the result of its id.
    static void add(std::vector<Entry>& list, Entry entry) {
        Entry* found = latest(list, entry.item->id());
        if (!found) {
            list.push_back(entry);
        } else if (entry.score > found->score) {
            found->item = entry.item;
            found->source = entry.source;
            found->score = entry.score;
            found->kind = entry.kind;
        }
    }

    // The score of one candidate, as the catalog scores it; 0 when it is not
    // added.
    static uint64_t score(std::vector<Entry>& list, const wstr& text, const wstr& lower,
                          const CatalogItemPtr& chainItem, const CatalogItemPtr& item,
                          uint32_t source, bool addHits, bool allowOthers, uint32_t sortMethod) {
        bool sameItem = chainItem && chainItem->baseId() == item->baseId();
        if (!allowOthers && chainItem && !sameItem)
            return 0;
        MatchKind kind = MatchKind::unscored;
        uint64_t value = 0;
        if (!text.empty()) {
            std::wstring_view candidate = sameItem ? item->displayedArgs() : item->composedText();
            value = integerScore(
                fuzzyScore(text, lower, candidate, lowerTextOf(*item, sameItem), &kind, false));
        }
        if (value == 0) {
            if (!chainItem || !text.empty())
                return 0;
            kind = MatchKind::unscored;
        }
        if (addHits)
            value += item->hitCount();
        add(list, {item, source, sortMethod, value, kind});
        return value;
    }

    uint64_t scoreStore(std::vector<Entry>& list, const std::vector<CatalogItemPtr>& items,
                        const wstr& text, const wstr& lower, uint32_t source,
                        const CatalogItemPtr& chainItem) const {
        uint64_t best = 0;
        bool args = chainItem != nullptr;
        std::vector<wchar_t> held = heldCharacters(items, lower, args);
        for (const CatalogItemPtr& item : items) {
            bool candidate = lower.empty() ? chainItem && item->baseId() == chainItem->baseId()
                                           : holdsAll(*item, held, args);
            if (!candidate || !isKnown(*item))
                continue;
            best = std::max(best, score(list, text, lower, chainItem, item, source, true, false,
                                        Catalog::sortByScore));
        }
        return best;
    }

    void historyPass(const wstr& text, const wstr& lower, const CatalogItemPtr& chainItem) {
        const CatalogHistory& history = catalog_.history();
        uint64_t best = scoreStore(list_, history.items().sortedItems(), text, lower,
                                   CatalogResult::history, chainItem);
        auto keyword = history.keywords().find(lower);
        if (keyword != history.keywords().end() && !keyword->second.empty()) {
            if (Entry* associated = latest(list_, keyword->second.front()->id())) {
                associated->source = CatalogResult::keyword;
                associated->score = best + 1;
            }
        }
        bool emptyChained = chainItem && text.empty();
        std::erase_if(list_, [&](const Entry& e) {
            const CatalogItem& item = *e.item;
            if (item.hitCount() == 0)
                return false;
            if (emptyChained && item.requiresArgs() && item.rawArgs().empty())
                return true;
            // The test's files are local.
            return item.category() == CatalogItem::file && Sys::isDirectory(item.target()) < 0;
        });
    }

    std::vector<Entry> suggestionsPass(const wstr& text, const wstr& lower,
                                       const CatalogItemPtr& chainItem) const {
        std::vector<Entry> out;
        for (const auto& [pluginId, list] : contents_.suggestions) {
            if (chainItem && pluginId != chainItem->pluginId())
                continue;
            auto [matchMethod, sortMethod] = contents_.methods.at(pluginId);
            for (const CatalogItemPtr& item : list) {
                if (matchMethod == Catalog::matchAll)
                    out.push_back(
                        {item, CatalogResult::suggestion, sortMethod, 0, MatchKind::unscored});
                else
                    score(out, text, lower, chainItem, item, CatalogResult::suggestion, false, true,
                          sortMethod);
            }
        }
        return out;
    }

    static std::vector<Entry> sorted(const std::vector<Entry>& list) {
        std::vector<CatalogResultPtr> results;
        for (const Entry& e : list)
            results.push_back(std::make_shared<CatalogResult>(
                std::weak_ptr<CatalogResults>(), e.item, e.source, e.sortMethod, e.score, e.kind));
        const ResultOrder order(results);
        std::stable_sort(results.begin(), results.end(),
                         [&](const CatalogResultPtr& a, const CatalogResultPtr& b) {
                             return order.before(*a, *b);
                         });
        std::vector<Entry> out;
        for (const CatalogResultPtr& r : results)
            out.push_back({r->item(), r->source(), r->sortMethod(), r->score(), r->kind()});
        return out;
    }

    Catalog& catalog_;
    const Contents& contents_;
    std::vector<Entry> list_;
};

std::vector<Entry> entries(const CatalogResults& results, std::size_t count) {
    std::vector<Entry> out;
    for (std::size_t i = 0; i < std::min(count, results.size()); ++i) {
        const CatalogResult& r = *results[i];
        out.push_back({r.item(), r.source(), r.sortMethod(), r.score(), r.kind()});
    }
    return out;
}

// A catalog of `size` items of three plugins (one of them unknown to the
// package manager in most rounds), with a history of hits (some with
// arguments, on a chain item, on files that are gone), keyword terms and the
// suggestions of four plugins, one per pair of methods.
class Fixture {
public:
    Fixture(unsigned seed, std::size_t size) : rng_(seed) {
        host_->setKnown(
            {pluginA, pluginB, pluginSuggestAll, pluginSuggestItem, pluginSuggestTarget});
        contents_.known = host_->knownIds();
        fillCatalog(size);
        fillHistory();
        fillSuggestions();
        keepCopiesOnly();
    }

    Catalog& catalog() { return catalog_; }
    const Contents& contents() const { return contents_; }
    const CatalogItemPtr& chainItem() const { return chainItem_; }
    std::mt19937& rng() { return rng_; }
    void forgetKnownPlugins() {
        host_->setKnown({});
        contents_.known.clear();
    }
    // Stores a new item of plugin A (its id comes from the target); the
    // reference gets a copy.
    void insert(const wstr& label, const wstr& target) {
        FakePlugin a(pluginA);
        CatalogItemPtr item = a.item(label, target);
        catalog_.insertPluginItems(a, {item}, false);
        contents_.items.push_back(std::make_shared<CatalogItem>(
            item->pluginId(), item->category(), item->label(), item->shortDesc(), item->target(),
            item->argsHint(), item->loopOnSuggest(), item->hitHint(), item->iconHandle(),
            item->dataBag()));
    }

private:
    CatalogItemPtr makeItem(const FakePlugin& plugin) {
        wstr label = randomText(rng_, 4);
        switch (rng_() % 5) {
        case 0:
        case 1: {
            // Files, a third of them existing.
            auto name = "f" + std::to_string(files_++);
            auto path = rng_() % 3 == 0 ? dir_.write(name, "x") : dir_.path() / name;
            return plugin.item(label, wstr::fromUtf8(path.string().c_str()), CatalogItem::file,
                               CatalogItem::forbidden);
        }
        case 2: {
            auto item = plugin.item(label, L"cmd" + std::to_wstring(rng_() % 50),
                                    CatalogItem::cmdline, CatalogItem::accepted);
            if (rng_() % 3 == 0)
                item->setArgs(randomText(rng_, 1), rng_() % 2 ? L"" : randomText(rng_, 1));
            return item;
        }
        default:
            return plugin.item(label, L"https://host/" + std::to_wstring(rng_() % 100));
        }
    }

    void fillCatalog(std::size_t size) {
        FakePlugin a(pluginA), b(pluginB), unknown(pluginUnknown);
        std::vector<CatalogItemPtr> byPlugin[3];
        FakePlugin* plugins[3] = {&a, &b, &unknown};
        for (std::size_t n = 0; n < size; ++n) {
            std::size_t p = rng_() % 3;
            byPlugin[p].push_back(makeItem(*plugins[p]));
        }
        // Same label, other targets: equal scores that the order must settle.
        for (std::size_t n = 0; n < size / 10 && !byPlugin[0].empty(); ++n) {
            wstr label = byPlugin[0][rng_() % byPlugin[0].size()]->label();
            byPlugin[0].push_back(a.item(label, L"https://same/" + std::to_wstring(n)));
        }
        for (std::size_t p = 0; p < 3; ++p) {
            catalog_.insertPluginItems(*plugins[p], byPlugin[p], true);
            for (const CatalogItemPtr& item : byPlugin[p]) {
                if (std::none_of(contents_.items.begin(), contents_.items.end(),
                                 [&](const CatalogItemPtr& i) { return i->id() == item->id(); }))
                    contents_.items.push_back(item);
            }
        }
        FakePlugin chainPlugin(pluginB);
        chainItem_ =
            chainPlugin.item(L"Run Tool", L"tool", CatalogItem::cmdline, CatalogItem::required);
        catalog_.insertPluginItems(chainPlugin, {chainItem_}, false);
        contents_.items.push_back(chainItem_);
    }

    void fillHistory() {
        Mutex::Lock lock(catalog_.mutex());
        CatalogHistory& history = catalog_.history();
        int64_t time = 1700000000;
        for (std::size_t hit = 0; hit < 40 + contents_.items.size() / 20; ++hit) {
            CatalogItemPtr item =
                hit % 6 == 0 ? chainItem_ : contents_.items[rng_() % contents_.items.size()];
            if (item->acceptsArgs() && rng_() % 2) {
                item = item->clone();
                item->setArgs(randomText(rng_, 2), L"");
            }
            history.addHit(item, nullptr, time++, 3600);
            if (hit % 4 == 0) {
                wstr terms(item->lowerLabel().substr(0, 1 + rng_() % 4));
                history.addSearchTerms(terms, item);
                terms_.push_back(terms);
            }
        }
    }

    // The reference reads copies, so that the catalog is the only holder of
    // its items and searches them in their compact form.
    void keepCopiesOnly() {
        for (CatalogItemPtr& item : contents_.items) {
            auto copy = std::make_shared<CatalogItem>(
                item->pluginId(), item->category(), item->label(), item->shortDesc(),
                item->target(), item->argsHint(), item->loopOnSuggest(), item->hitHint(),
                item->iconHandle(), item->dataBag());
            copy->setArgs(item->rawArgs(), item->displayArgsField());
            copy->setHitCount(item->hitCount());
            ASSERT_TRUE(sameItem(*copy, *item));
            item = copy;
        }
    }

    void fillSuggestions() {
        struct Method {
            uint64_t plugin;
            uint32_t match, sort;
        };
        // Plugin A also suggests copies of its catalog items: same ids.
        const Method methods[] = {
            {pluginA, Catalog::matchFuzzy, Catalog::sortByScore},
            {pluginSuggestAll, Catalog::matchAll, Catalog::sortKeepOrder},
            {pluginSuggestItem, Catalog::matchFuzzy, Catalog::sortByItem},
            {pluginSuggestTarget, Catalog::matchAll, Catalog::sortByTarget},
        };
        for (const Method& m : methods) {
            FakePlugin plugin(m.plugin);
            std::vector<CatalogItemPtr> list;
            for (int n = 0; n < 6; ++n) {
                if (m.plugin == pluginA && n % 2 == 0) {
                    const CatalogItemPtr& copied = contents_.items[rng_() % contents_.items.size()];
                    if (copied->pluginId() == pluginA && !copied->hasArgs()) {
                        list.push_back(plugin.item(copied->label(), copied->target(),
                                                   copied->category(), copied->argsHint()));
                        continue;
                    }
                }
                list.push_back(
                    plugin.item(randomText(rng_, 2), L"t" + std::to_wstring(rng_() % 9)));
            }
            if (m.match == Catalog::matchAll)
                list.push_back(std::make_shared<CatalogItem>(
                    m.plugin, CatalogItem::error, L"Failed", L"", L"", 0, false, 0, 0, L""));
            catalog_.setSuggestions(plugin, list, m.match, m.sort);
            std::vector<CatalogItemPtr>& kept = contents_.suggestions[m.plugin];
            for (const CatalogItemPtr& item : list) {
                if (std::none_of(kept.begin(), kept.end(),
                                 [&](const CatalogItemPtr& i) { return i->id() == item->id(); }))
                    kept.push_back(item);
            }
            contents_.methods[m.plugin] = {m.match, m.sort};
        }
    }

public:
    const std::vector<wstr>& terms() const { return terms_; }

private:
    HostScope host_;
    qvtest::TempDir dir_;
    std::mt19937 rng_;
    Catalog catalog_;
    Contents contents_;
    CatalogItemPtr chainItem_;
    std::vector<wstr> terms_;
    int files_ = 0;
};

// Searches each query with every result ordered and with only the first few
// ordered, and compares with the reference.
void expectSameAsReference(Fixture& fixture, const std::vector<wstr>& queries,
                           const CatalogItemPtr& chainItem) {
    Reference reference(fixture.catalog(), fixture.contents());
    auto results = std::make_shared<CatalogResults>();
    for (const wstr& query : queries) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(query)));
        std::vector<Entry> expected = reference.search(query, chainItem);
        for (std::size_t ordered : {Catalog::orderAll, std::size_t{1}, std::size_t{7}}) {
            fixture.catalog().search(results, query, chainItem, ordered);
            EXPECT_EQ(results->totalCount(), expected.size());
            std::size_t compared = std::min(ordered, expected.size());
            EXPECT_EQ(entries(*results, compared),
                      std::vector<Entry>(expected.begin(), expected.begin() + compared));
        }
    }
}

class CatalogSearchTest : public testing::TestWithParam<std::pair<unsigned, std::size_t>> {};

TEST_P(CatalogSearchTest, MatchesReference) {
    auto [seed, size] = GetParam();
    Fixture fixture(seed, size);
    std::vector<wstr> queries = fixture.terms();
    queries.push_back(L"");
    for (int n = 0; n < 60; ++n)
        queries.push_back(randomQuery(fixture.rng(), fixture.contents().items));
    expectSameAsReference(fixture, queries, nullptr);

    std::vector<wstr> argQueries = {L"", L" "};
    for (int n = 0; n < 15; ++n)
        argQueries.push_back(randomQuery(fixture.rng(), fixture.contents().items));
    expectSameAsReference(fixture, argQueries, fixture.chainItem());

    fixture.forgetKnownPlugins();
    expectSameAsReference(fixture, std::vector<wstr>(queries.begin(), queries.begin() + 20),
                          nullptr);
}

// Typing: each search extends the text of the one before, which the catalog
// may answer from that one's matches. Between keystrokes the catalog changes
// (an item the longer text matches, the plugins known), and texts of only
// separators go on with letters: ".-" finds nothing in "a-b.c Alpha", where
// ".-a" matches its initials.
TEST_P(CatalogSearchTest, TypedTextsMatchReference) {
    auto [seed, size] = GetParam();
    Fixture fixture(seed, size);
    fixture.insert(L"a-b.c Alpha", L"https://initials/");
    std::vector<wstr> typed = {L".-a", L". -al", L"no", L"NOTE", L"py", L"es", L"ab", L"V1"};
    for (int n = 0; n < 12; ++n)
        typed.push_back(randomQuery(fixture.rng(), fixture.contents().items));
    int changes = 0;
    for (const wstr& text : typed) {
        for (std::size_t length = 1; length <= text.size(); ++length) {
            expectSameAsReference(fixture, {text.substr(0, length)}, nullptr);
            if (text == L"py" && length == 1)
                fixture.forgetKnownPlugins();
            if (length == 2 && text.size() > 2 && changes < 6) {
                ++changes;
                fixture.insert(text + L" " + std::to_wstring(changes),
                               L"https://typed/" + std::to_wstring(changes));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Random, CatalogSearchTest,
                         testing::Values(std::pair{1u, std::size_t{40}},
                                         std::pair{2u, std::size_t{300}},
                                         std::pair{3u, std::size_t{300}},
                                         std::pair{4u, std::size_t{6000}}));

} // namespace

namespace {

// A search that keeps only its best results skips the candidates that
// cannot rank among them. Strong matches come first, then hundreds of weak
// ones, then one that ranks second by its kind (a word match, initials)
// while an upper bound of its score alone would not place it there; and
// every match is counted.
TEST(CatalogSearchBest, LateMatchRankedByItsKind) {
    HostScope host;
    Catalog catalog;
    FakePlugin plugin(pluginA);
    std::vector<CatalogItemPtr> items = {plugin.item(L"es x", L"https://strong/"),
                                         plugin.item(L"E", L"https://initial/")};
    for (int n = 0; n < 400; ++n)
        items.push_back(plugin.item(L"es " + std::wstring(30, L'q') + std::to_wstring(n),
                                    L"https://weak/" + std::to_wstring(n)));
    items.push_back(plugin.item(L"xx es", L"https://word/"));
    items.push_back(plugin.item(L"Exxxx", L"https://initials/"));
    catalog.insertPluginItems(plugin, items, true);
    items.clear();
    auto results = std::make_shared<CatalogResults>();
    struct Case {
        const wchar_t* text;
        const wchar_t* first;
        const wchar_t* second;
        std::size_t count;
    };
    // The first search lets go of the inserted objects: then the stored
    // texts are read.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Case& c :
             {Case{L"es", L"es x", L"xx es", 402}, Case{L"e", L"E", L"Exxxx", 404}}) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
            catalog.search(results, c.text, nullptr, 2);
            ASSERT_GE(results->size(), 2u);
            EXPECT_EQ((*results)[0]->item()->label(), c.first);
            EXPECT_EQ((*results)[1]->item()->label(), c.second);
            EXPECT_EQ(results->totalCount(), c.count);
        }
    }
}

// The packed texts survive replacing and erasing in any order, including
// the repacking that the holes left behind set off, and texts with a
// character above 255 are not kept.
TEST(SearchTexts, KeepsEveryTextThroughReplacementsAndRepacking) {
    SearchTexts texts;
    std::map<uint32_t, std::pair<std::wstring, std::wstring>> kept;
    std::mt19937 rng(7);
    for (int step = 0; step < 60000; ++step) {
        auto slot = static_cast<uint32_t>(rng() % 3000);
        if (rng() % 4 == 0) {
            texts.erase(slot);
            kept.erase(slot);
            continue;
        }
        std::wstring lower(1 + rng() % 40, L'a' + static_cast<wchar_t>(step % 26));
        std::wstring label = lower;
        if (rng() % 2)
            label[0] = std::towupper(label[0]);
        texts.set(slot, lower, label);
        kept[slot] = {lower, label};
    }
    texts.set(4000, L"\u00e9t\u00e9", L"\u00c9t\u00e9");
    kept[4000] = {L"\u00e9t\u00e9", L"\u00c9t\u00e9"};
    texts.set(4001, L"\u65e5\u672c", L"\u65e5\u672c");
    EXPECT_FALSE(texts.has(4001));
    for (uint32_t slot = 0; slot < 4002; ++slot) {
        auto found = kept.find(slot);
        ASSERT_EQ(texts.has(slot), found != kept.end()) << slot;
        if (found == kept.end())
            continue;
        auto wide = [](std::string_view bytes) {
            std::wstring out;
            for (char ch : bytes)
                out += static_cast<wchar_t>(static_cast<unsigned char>(ch));
            return out;
        };
        EXPECT_EQ(wide(texts.lower(slot)), found->second.first) << slot;
        EXPECT_EQ(wide(texts.label(slot)), found->second.second) << slot;
        EXPECT_EQ(texts.labelIsLower(slot), found->second.first == found->second.second);
    }
}

} // namespace
