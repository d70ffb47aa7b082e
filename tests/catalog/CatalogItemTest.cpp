#include "catalog/CatalogItem.h"
#include "catalog/CatalogAction.h"
#include "tests/support/LogRecords.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <string>

namespace {

constexpr uint64_t pluginA = 0x0102030405060708ull;
constexpr uint64_t seed = 0x46b4dec784d49158ull;

CatalogItemPtr makeItem(uint32_t category, const wstr& label, const wstr& target,
                        uint32_t argsHint = CatalogItem::accepted, const wstr& desc = L"desc",
                        uint64_t plugin = pluginA) {
    return std::make_shared<CatalogItem>(plugin, category, label, desc, target, argsHint, true,
                                         CatalogItem::keepall, 7, L"bag");
}

// The id as a one-shot XXH64 over the documented byte layout.
uint64_t expectedId(uint64_t plugin, uint32_t category, const std::string& utf8) {
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>(plugin >> (8 * i)));
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(category >> (8 * i)));
    bytes += utf8;
    uint64_t id = XXH64(bytes.data(), bytes.size(), seed);
    return id == 0 ? 1 : id;
}

std::vector<wstr> warnings(const qvtest::LogRecords& log) {
    std::vector<wstr> out;
    for (const Logger::ItemPtr& record : log.all()) {
        if (record->level == Logger::Warning)
            out.push_back(record->message);
    }
    return out;
}

TEST(CatalogItem, IdsFollowTheByteLayout) {
    auto url = makeItem(CatalogItem::url, L"Site", L"https://example.org/\u00e4");
    EXPECT_EQ(url->baseId(), expectedId(pluginA, 40, "https://example.org/\xc3\xa4"));
    EXPECT_EQ(url->id(), url->baseId());
    url->setArgs(L" a b ", L"");
    EXPECT_EQ(url->rawArgs(), L"a b");
    EXPECT_EQ(url->id(), expectedId(pluginA, 40,
                                    "https://example.org/\xc3\xa4"
                                    "a b"));
    EXPECT_EQ(url->baseId(), expectedId(pluginA, 40, "https://example.org/\xc3\xa4"));

    // File items differing only in letter case share their ids but keep their spelling.
    auto lower = makeItem(CatalogItem::file, L"Doc", L"/tmp/./x/../Readme.TXT");
    auto upper = makeItem(CatalogItem::file, L"Doc", L"/TMP/README.txt");
    EXPECT_EQ(lower->target(), L"/tmp/Readme.TXT");
    EXPECT_EQ(upper->target(), L"/TMP/README.txt");
    EXPECT_EQ(lower->id(), upper->id());
    EXPECT_EQ(lower->baseId(), expectedId(pluginA, 20, "/tmp/readme.txt"));
}

TEST(CatalogItem, ErrorItemsAreForcedToTheirHints) {
    CatalogItem item(pluginA, CatalogItem::error, L"Oops", L"", L"", CatalogItem::required, true,
                     CatalogItem::keepall, 0, L"");
    EXPECT_EQ(item.target(), L"error");
    EXPECT_EQ(item.argsHint(), CatalogItem::forbidden);
    EXPECT_EQ(item.hitHint(), CatalogItem::ignore);
    EXPECT_FALSE(item.loopOnSuggest());
    EXPECT_TRUE(item.isValid());
}

TEST(CatalogItem, Validity) {
    EXPECT_FALSE(makeItem(CatalogItem::url, L" \t\r\n\x01 ", L"x")->isValid());
    EXPECT_FALSE(makeItem(CatalogItem::url, L"L", L"")->isValid());
    EXPECT_FALSE(makeItem(CatalogItem::url, L"L", L"x", 3)->isValid());
    EXPECT_FALSE(makeItem(0, L"L", L"x")->isValid());
    EXPECT_FALSE(makeItem(0xFFFFFFFF, L"L", L"x")->isValid());
    EXPECT_FALSE(makeItem(CatalogItem::url, L"L", L"x", 1, L"", 0)->isValid());
    EXPECT_TRUE(makeItem(1234, L"L", L"x")->isValid());
}

// The warning that refuses an item says which fields fail, with their values
// and the values they may take.
TEST(CatalogItem, InvalidPropertiesNameTheFieldsTheirValuesAndTheAllowedOnes) {
    struct Case {
        uint64_t plugin;
        uint32_t category, argsHint, hitHint;
        const wchar_t *label, *target, *expected;
    } cases[] = {
        {pluginA, CatalogItem::url, 1, 0, L"L", L"x", L""},
        {pluginA, CatalogItem::cmdline, 7, 0, L"L", L"x",
         L"args_hint 7 is not one of 0 forbidden, 1 accepted, 2 required"},
        {pluginA, CatalogItem::cmdline, 0, 3, L"L", L"x",
         L"hit_hint 3 is not one of 0 keepall, 1 ignore, 2 noargs"},
        {pluginA, 0, 0, 0, L"L", L"x",
         L"category 0 is not one of 1 error, 10 keyword, 20 file, 30 cmdline, 40 url, "
         L"50 expression, 60 reference"},
        {0, CatalogItem::url, 2, 9, L" \x01 ", L"",
         L"it belongs to no plugin; the label is empty; the target is empty; hit_hint 9 is not "
         L"one of 0 keepall, 1 ignore, 2 noargs"},
    };
    for (const Case& c : cases) {
        CatalogItem item(c.plugin, c.category, c.label, L"", c.target, c.argsHint, false, c.hitHint,
                         0, L"");
        EXPECT_EQ(item.invalidProperties(), c.expected) << wstr::toUtf8(c.expected);
        EXPECT_EQ(item.isValid(), item.invalidProperties().empty());
    }
}

TEST(CatalogItem, CleanTextKeepsInnerRunsAndJoinsLines) {
    EXPECT_EQ(cleanText(L"  a  b\t c\r\nd \u2003 "), L"a  b  cd");
    EXPECT_EQ(cleanText(L"\tx\fy"), L"xy");
    EXPECT_EQ(cleanText(L"\u00a0nbsp"), L"\u00a0nbsp"); // not white space here
}

TEST(CatalogItem, Arguments) {
    auto item = makeItem(CatalogItem::cmdline, L"Run", L"cmd");
    item->setArgs(L" x ", L"x");
    EXPECT_EQ(item->rawArgs(), L"x");
    EXPECT_EQ(item->displayArgsField(), L"");
    EXPECT_EQ(item->displayedArgs(), L"x");
    EXPECT_EQ(item->composedText(), L"Run x");

    item->setArgs(L"RAW", L"Shown Text");
    EXPECT_EQ(item->displayedArgs(), L"Shown Text");
    EXPECT_EQ(item->lowerDisplayedArgs(), L"shown text");
    EXPECT_EQ(item->composedText(), L"Run Shown Text");
    EXPECT_EQ(item->lowerComposedText(), L"run shown text");
    uint64_t withArgs = item->id();
    EXPECT_NE(withArgs, item->baseId());

    auto other = makeItem(CatalogItem::cmdline, L"Run", L"cmd");
    EXPECT_EQ(other->baseId(), item->baseId());
    EXPECT_TRUE(other->merge(*makeItem(CatalogItem::cmdline, L"New", L"cmd")));

    item->setArgs(L"", L"ignored");
    EXPECT_EQ(item->rawArgs(), L"");
    EXPECT_EQ(item->displayArgsField(), L"");
    EXPECT_EQ(item->id(), item->baseId());
    EXPECT_EQ(item->composedText(), L"Run");

    auto forbidding = makeItem(CatalogItem::cmdline, L"Run", L"cmd", CatalogItem::forbidden);
    uint64_t id = forbidding->id();
    forbidding->setArgs(L"x", L"");
    EXPECT_EQ(forbidding->rawArgs(), L"");
    EXPECT_EQ(forbidding->id(), id);
}

TEST(CatalogItem, MergeCopiesOnlyPresentationFields) {
    auto stored = makeItem(CatalogItem::url, L"Old", L"u");
    stored->setArgs(L"a", L"");
    stored->setHitCount(3);
    CatalogItem newer(pluginA, CatalogItem::url, L"New Label", L"", L"u", CatalogItem::required,
                      false, CatalogItem::noargs, 9, L"other bag");
    EXPECT_TRUE(stored->merge(newer));
    EXPECT_EQ(stored->label(), L"New Label");
    EXPECT_EQ(stored->lowerComposedText(), L"new label a");
    EXPECT_EQ(stored->shortDesc(), L"desc"); // an empty description never replaces
    EXPECT_EQ(stored->argsHint(), CatalogItem::required);
    EXPECT_FALSE(stored->loopOnSuggest());
    EXPECT_EQ(stored->hitHint(), CatalogItem::noargs);
    EXPECT_EQ(stored->iconHandle(), 9u);
    EXPECT_EQ(stored->dataBag(), L"bag");
    EXPECT_EQ(stored->rawArgs(), L"a");
    EXPECT_EQ(stored->hitCount(), 3u);
    EXPECT_FALSE(stored->merge(newer));
    EXPECT_FALSE(stored->merge(*makeItem(CatalogItem::url, L"X", L"other")));
}

TEST(CatalogItem, CompareAndClone) {
    auto a = makeItem(CatalogItem::url, L"apple", L"t2");
    auto b = makeItem(CatalogItem::url, L"APPLE", L"t1");
    EXPECT_EQ(CatalogItem::compare(*a, *b), 1); // equal labels, then targets with case
    EXPECT_EQ(CatalogItem::compare(*b, *a), -1);
    EXPECT_EQ(CatalogItem::compare(*a, *a), 0);
    auto c = makeItem(CatalogItem::url, L"Banana", L"t0");
    EXPECT_EQ(CatalogItem::compare(*a, *c), -1);
    auto d = makeItem(CatalogItem::url, L"apple", L"t2", 1, L"DESC");
    EXPECT_EQ(CatalogItem::compare(*a, *d), 0);

    a->setArgs(L"x", L"");
    a->setHitCount(5);
    auto copy = a->clone();
    EXPECT_NE(copy.get(), a.get());
    EXPECT_EQ(copy->id(), a->baseId());
    EXPECT_EQ(copy->rawArgs(), L"");
    EXPECT_EQ(copy->hitCount(), 0u);
    EXPECT_EQ(copy->dataBag(), L"bag");
}

TEST(CatalogItem, EnumerationNames) {
    const std::pair<const char*, int64_t> categories[] = {
        {"FILE", 20},
        {"Url", 40},
        {"#1001", 1001},
        {"#12a", 12},
        {"#", -1},
        {"#-1", -1},
        {"", -1},
        {"files", -1},
        {"#4294967295", 4294967295},
        {"#4294967296", -1},
        {"#99999999999", -1},
    };
    for (auto [name, value] : categories)
        EXPECT_EQ(categoryFromName(name), value) << name;
    EXPECT_EQ(categoryName(1001), "#1001");
    EXPECT_EQ(categoryName(60), "reference");
    EXPECT_EQ(argsHintFromName("Required"), 2);
    EXPECT_EQ(argsHintFromName("#1"), -1);
    EXPECT_EQ(hitHintFromName("NOARGS"), 2);
    EXPECT_EQ(hitHintFromName("none"), -1);
}

TEST(CatalogAction, NamesAndLabelsDecideValidity) {
    struct Case {
        const wchar_t* name;
        const wchar_t* label;
        bool valid;
        const wchar_t* warning; // part of the expected warning, or null
    };
    const Case cases[] = {
        {L"open with", L"Open With", true, nullptr},
        {L"Open", L"Open", false, L"invalid characters"},
        {L" open", L"Open", false, L"invalid characters"},
        {L"op\ten", L"Open", false, L"invalid characters"},
        {L"open ", L"Open", false, L"invalid characters"},
        {L"", L"Open", false, L"invalid characters"},
        {L"open", L" \t ", false, L"empty label (named \"open\")"},
    };
    for (const Case& c : cases) {
        qvtest::LogRecords log;
        CatalogAction action(pluginA, c.name, c.label, L"", L"");
        std::vector<wstr> logged = warnings(log);
        std::string name = testing::PrintToString(std::wstring(c.name));
        EXPECT_EQ(action.isValid(), c.valid) << name;
        if (!c.warning) {
            EXPECT_TRUE(logged.empty()) << name;
            continue;
        }
        ASSERT_EQ(logged.size(), 1u) << name;
        EXPECT_NE(logged[0].find(c.warning), wstr::npos) << testing::PrintToString(logged[0]);
    }
    qvtest::LogRecords log;
    EXPECT_FALSE(CatalogAction(0, L"open", L"Open", L"", L"").isValid());
    EXPECT_TRUE(warnings(log).empty());
}

TEST(CatalogAction, IdMergeAndCompare) {
    CatalogAction a(pluginA, L"copy", L" Copy\n", L"d", L"bag");
    std::string bytes;
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<char>(pluginA >> (8 * i)));
    bytes += "copy";
    EXPECT_EQ(a.id(), XXH64(bytes.data(), bytes.size(), seed));
    EXPECT_EQ(a.label(), L"Copy");

    CatalogAction same(pluginA, L"copy", L"Copy Path", L"", L"");
    EXPECT_TRUE(a.merge(same));
    EXPECT_EQ(a.shortDesc(), L""); // empty values are copied too
    EXPECT_EQ(a.dataBag(), L"");
    EXPECT_FALSE(a.merge(same));
    EXPECT_FALSE(a.merge(a));
    EXPECT_FALSE(a.merge(CatalogAction(pluginA, L"paste", L"Paste", L"", L"")));

    CatalogAction b(pluginA, L"b", L"copy path", L"", L"");
    // Equal labels and descriptions without case, then the names decide.
    EXPECT_EQ(CatalogAction::compare(a, b), 1);
    EXPECT_EQ(CatalogAction::compare(b, a), -1);
}

} // namespace
