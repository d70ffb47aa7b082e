#include "core/Wstr.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

using namespace std::string_literals;

namespace {

using Pieces = std::vector<wstr>;

static_assert(!std::is_same_v<wstr, std::wstring>, "wstr must be a type of its own");
static_assert(sizeof(wstr) == sizeof(std::wstring), "wstr adds no fields");

// --- Conversion ----------------------------------------------------------------

struct FromBytesCase {
    const char* name;
    std::string bytes;
    int64_t count; // -1: NUL-terminated, -2: use bytes.size()
    unsigned codePage;
    std::wstring expected;
};

void PrintTo(const FromBytesCase& c, std::ostream* os) {
    *os << c.name;
}

class FromMultiByte : public testing::TestWithParam<FromBytesCase> {};

TEST_P(FromMultiByte, Converts) {
    const FromBytesCase& c = GetParam();
    int64_t count = c.count == -2 ? static_cast<int64_t>(c.bytes.size()) : c.count;
    EXPECT_EQ(wstr::fromMultiByte(c.bytes.c_str(), count, c.codePage), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Wstr, FromMultiByte,
    testing::Values(FromBytesCase{"TerminatedAscii", "x", -1, 65001, L"x"},
                    FromBytesCase{"CountedUtf8", "caf\xc3\xa9!", 5, 65001, L"caf\u00e9"},
                    FromBytesCase{"FourByteUtf8", "\xf0\x9f\x98\x80", -1, 65001, L"\U0001F600"},
                    FromBytesCase{"TrailingNulsDropped", "ab\0\0"s, -2, 65001, L"ab"},
                    FromBytesCase{"EmbeddedNulKept", "a\0b"s, -2, 65001, L"a\0b"s},
                    FromBytesCase{"ZeroCount", "abc", 0, 65001, L""},
                    FromBytesCase{"FirstByteNul", "\0abc"s, -2, 65001, L""},
                    FromBytesCase{"BadNegativeCount", "abc", -5, 65001, L""},
                    FromBytesCase{"TruncatedUtf8", "ab\xc3", -1, 65001, L"ab\uFFFD"},
                    FromBytesCase{"OverlongUtf8", "\xc0\xafz", -1, 65001, L"\uFFFDz"},
                    FromBytesCase{"EncodedSurrogate", "\xed\xa0\x80", -1, 65001, L"\uFFFD"},
                    FromBytesCase{"AnsiIsWindows1252", "\x80 \xe9", -1, 0, L"\u20ac \u00e9"},
                    FromBytesCase{"AnsiUndefinedBytes", "\x81\x8d\x8f\x90\x9d", -1, 0,
                                  L"\u0081\u008d\u008f\u0090\u009d"},
                    FromBytesCase{"Cp1252ByNumber", "\x93q\x94", -1, 1252, L"\u201cq\u201d"},
                    FromBytesCase{"Cp437", "\x82\xdb", -1, 437, L"\u00e9\u2588"},
                    FromBytesCase{"Cp1251", "\xc0\xff", -1, 1251, L"\u0410\u044f"},
                    FromBytesCase{"Latin2", "\xb1", -1, 28592, L"\u0105"},
                    FromBytesCase{"Utf16Le", "a\0\xac\x20"s, -2, 1200, L"a\u20ac"},
                    FromBytesCase{"InvalidInCodePage", "\x80", -1, 20127, L""},
                    FromBytesCase{"UnknownCodePage", "abc", -1, 1, L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Wstr, FromMultiByteRefusesNullAndFromUtf8ReadsToNul) {
    EXPECT_EQ(wstr::fromMultiByte(nullptr, -1, 65001), L"");
    EXPECT_EQ(wstr::fromMultiByte(nullptr, 5, 0), L"");
    EXPECT_EQ(wstr::fromUtf8("\xc3\xa4\0rest"), L"\u00e4");
    EXPECT_EQ(wstr::fromUtf8(""), L"");
}

TEST(Wstr, AssignMultiByteConvertsTheRangeAndClampsIt) {
    std::string bytes = "<\xc3\xa4\xc3\xb6>";
    wstr target = L"old";
    EXPECT_EQ(wstr::assignMultiByte(target, bytes, 1, 4, 65001), L"\u00e4\u00f6");
    EXPECT_EQ(target, L"\u00e4\u00f6");
    EXPECT_EQ(wstr::assignMultiByte(target, bytes, 5, 100, 65001), L">");
    EXPECT_EQ(wstr::assignMultiByte(target, bytes, 99, 3, 65001), L"");
    EXPECT_EQ(wstr::assignMultiByte(target, bytes, 1, 1, 65001), L"\uFFFD"); // cut in a sequence
}

TEST(Wstr, ToUtf8) {
    struct Case {
        const wchar_t* text;
        int64_t length;
        std::string expected;
    };
    const wchar_t invalidSurrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    const wchar_t beyondUnicode[] = {L'a', static_cast<wchar_t>(0x110000), 0};
    const Case cases[] = {
        {L"caf\u00e9 \u20ac\U0001F600", -1, "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x98\x80"},
        {L"abc\0def", -1, "abc"},
        {L"abc\0def", 7, "abc\0def"s},
        {L"ab\0\0", 4, "ab"},
        {L"abcdef", 2, "ab"},
        {L"abc", 0, ""},
        {L"", -1, ""},
        {L"\0x", 2, ""},
        {invalidSurrogate, -1, "a\xef\xbf\xbd"},
        {beyondUnicode, -1, "a\xef\xbf\xbd"},
        {nullptr, -1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wstr::toUtf8(c.text, c.length), c.expected) << testing::PrintToString(c.expected);
    EXPECT_EQ(wstr::toUtf8(wstr(L"x\0y"s)), "x\0y"s);
}

TEST(Wstr, Utf8RoundTripKeepsEveryPlane) {
    wstr text = L"A\u00ff\u0100\u07ff\u0800\uffff\U00010000\U0010FFFF";
    EXPECT_EQ(wstr::fromUtf8(wstr::toUtf8(text).c_str()), text);
}

// --- Trimming and case ---------------------------------------------------------

TEST(Wstr, TrimsWhiteSpaceByTheUnicodeClasses) {
    wstr text = L" \t\n\u3000\u2003abc d\u00a0 \r\n";
    EXPECT_EQ(wstr::trimCopy(text), L"abc d\u00a0");
    EXPECT_EQ(wstr::trimLeft(text), L"abc d\u00a0 \r\n");
    EXPECT_EQ(wstr::trimRight(text), L"abc d\u00a0");
    wstr blank = L" \t ";
    EXPECT_EQ(wstr::trimLeft(blank), L"");
    blank = L" \t ";
    EXPECT_EQ(wstr::trimRight(blank), L"");
    EXPECT_EQ(wstr::trimCopy(L""), L"");
}

TEST(Wstr, TrimsCharactersAndSlashes) {
    struct Case {
        std::wstring text;
        std::wstring leftDot;
        std::wstring noTrailingSlash;
    };
    const Case cases[] = {
        {L"..a.b.", L"a.b.", L"..a.b."}, {L"...", L"", L"..."}, {L"a//", L"a//", L"a"},
        {L"a/b\\", L"a/b\\", L"a/b\\"},  {L"///", L"///", L""}, {L"", L"", L""},
    };
    for (const Case& c : cases) {
        wstr text = c.text;
        EXPECT_EQ(wstr::trimLeftChar(text, L'.'), c.leftDot) << testing::PrintToString(c.text);
        text = c.text;
        EXPECT_EQ(wstr::trimTrailingSlashes(text), c.noTrailingSlash)
            << testing::PrintToString(c.text);
    }
}

TEST(Wstr, LowerCasesBeyondAsciiWhateverTheProcessLocale) {
    // The test process runs in the "C" locale, which maps ASCII only.
    wstr text = L"\u00c4BC \u03a3\u0130 \u212a";
    EXPECT_EQ(wstr::lowerCopy(text), L"\u00e4bc \u03c3i k");
    EXPECT_EQ(wstr::toLower(text), L"\u00e4bc \u03c3i k");
    EXPECT_EQ(wstr::lowerInvariant(L"ABC\u00c9"), L"abc\u00e9");
    EXPECT_EQ(wstr::lowerInvariant(L"ABCD", 2), L"ab");
    EXPECT_EQ(wstr::lowerInvariant(wstr(L"A\0B"s)), L"a\0b"s);
    EXPECT_EQ(wstr::lowerInvariant(nullptr), L"");
    EXPECT_EQ(wstr::lowerInvariant(L"ABC", 0), L"");
}

// --- Comparison and search -----------------------------------------------------

TEST(Wstr, Compare) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool caseSensitive;
        int64_t maxLength;
        int expected;
    };
    const Case cases[] = {
        {L"abc", L"ABC", false, -1, 0},
        {L"abc", L"ABC", true, -1, 1},
        {L"abc", L"abd", true, -1, -1},
        {L"ab", L"abc", false, -1, -1},
        {L"abc", L"ab", false, 0, 1},
        {L"abc", L"abcd", true, 3, 0},
        {L"abcd", L"abc", true, 3, 0},
        {L"abcd", L"ABCE", false, 3, 0},
        {L"ab", L"abcd", true, 3, -1},
        {L"B", L"a", false, -1, 1}, // folded: b > a
        {L"B", L"a", true, -1, -1}, // ordinal: 'B' < 'a'
        {L"\u00e9t\u00c9", L"\u00c9T\u00e9", false, -1, 0},
        {L"\u03c2", L"\u03a3", false, -1, 0}, // final sigma folds to sigma
        {L"\u017f", L"S", false, -1, 0},      // long s folds to s
        {L"\U0001F600", L"\uffff", true, -1, 1},
        {L"", L"", true, -1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wstr::compare(c.a, c.b, c.caseSensitive, c.maxLength), c.expected)
            << testing::PrintToString(std::wstring(c.a)) << " vs "
            << testing::PrintToString(std::wstring(c.b)) << " max " << c.maxLength;
    }
    EXPECT_EQ(wstr::compare(wstr(L"x\0a"s), wstr(L"x\0b"s), true), 0); // texts end at a NUL
}

TEST(Wstr, CompareRefusesANullText) {
    try {
        wstr::compare(nullptr, L"a", false, 5);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Failed to compare strings (sensitive: false; maxlen: 5) (error 87)");
    }
    EXPECT_THROW(wstr::compare(L"a", nullptr, true, -1), std::runtime_error);
}

TEST(Wstr, EqualsAndStartsWith) {
    EXPECT_TRUE(wstr::equals(L"Report", L"rEPORT", false));
    EXPECT_FALSE(wstr::equals(L"Report", L"rEPORT", true));
    EXPECT_FALSE(wstr::equals(L"abc", L"abcd", false));
    EXPECT_FALSE(wstr::equals(L"x\0a"s, L"x\0b"s, true)); // the whole strings count
    EXPECT_TRUE(wstr::startsWith(L"pack_config foo", L"PACK_CONFIG ", false));
    EXPECT_FALSE(wstr::startsWith(L"pack_config foo", L"PACK_CONFIG ", true));
    EXPECT_FALSE(wstr::startsWith(L"pack", L"pack_", false));
    EXPECT_TRUE(wstr::startsWith(L"anything", L"", true));
    EXPECT_TRUE(wstr::startsWith(L"", L"", true));
}

TEST(Wstr, EndsWithAnyAndIndexIn) {
    const std::vector<wstr> suffixes = {L".doc", L"long-suffix.txt", L".TXT", L""};
    EXPECT_EQ(wstr::endsWithAny(L"report.txt", suffixes), 2);
    EXPECT_EQ(wstr::endsWithAny(L"report.pdf", suffixes), 3); // the empty suffix
    EXPECT_EQ(wstr::endsWithAny(L"x", {L".doc", L"xx"}), -1);
    EXPECT_EQ(wstr::endsWithAny(L"x", {}), -1);

    const std::vector<wstr> candidates = {L"Alpha", L"BETA", L"beta"};
    EXPECT_EQ(wstr::indexIn(L"beta", candidates), 1);
    EXPECT_EQ(wstr::indexIn(L"bet", candidates), -1);
    EXPECT_EQ(wstr::indexIn(L"", {L""}), 0);
}

TEST(Wstr, FindNoCase) {
    EXPECT_EQ(wstr::findNoCase(L"Hello W\u00d6rld", L"w\u00f6RLD", 0), 6);
    EXPECT_EQ(wstr::findNoCase(L"abcABC", L"abc", 1), 3);
    EXPECT_EQ(wstr::findNoCase(L"abcABC", L"abc", 4), -1);
    EXPECT_EQ(wstr::findNoCase(L"abc", L"x", 0), -1);
    EXPECT_EQ(wstr::findNoCase(L"abc", L"abc", 10), -1);
}

TEST(Wstr, ReplaceAllNeverRescansAReplacement) {
    struct Case {
        std::wstring text, search, replacement, expected;
    };
    const Case cases[] = {
        {L"aaa", L"a", L"aa", L"aaaaaa"},
        {L"abcabc", L"bc", L"", L"aa"},
        {L"{x}{x}", L"{x}", L"{x}{x}", L"{x}{x}{x}{x}"},
        {L"xyz", L"q", L"r", L"xyz"},
        {L"xyz", L"", L"r", L"xyz"},
        {L"", L"a", L"b", L""},
    };
    for (const Case& c : cases) {
        wstr text = c.text;
        EXPECT_EQ(wstr::replaceAll(text, c.search, c.replacement), c.expected)
            << testing::PrintToString(c.text);
    }
}

TEST(Wstr, WildcardMatch) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        bool caseSensitive;
        bool expected;
    };
    const Case cases[] = {
        {L"report.TXT", L"*.txt", false, true},
        {L"report.TXT", L"*.txt", true, false},
        {L"abc", L"a*c*", true, true},
        {L"", L"*", true, true},
        {L"", L"**", true, true},
        {L"", L"", true, true},
        {L"", L"?", true, false},
        {L"abc", L"", true, false},
        {L"abc", L"a?c", true, true},
        {L"ac", L"a?c", true, false},
        {L"mississippi", L"m*iss*ppi", true, true},
        {L"mississippi", L"m*iss*ppx", true, false},
        {L"abcbxd", L"*b?d", true, true},
        {L"abcbd", L"*b?d", true, false},
        {L"ab", L"a*b*c", true, false},
        {L"abc", L"ab", true, false},
        {L"ab", L"abc", true, false},
        {L"a", L"a**", true, true},
        {L"\u00e9t\u00e9", L"\u00c9*", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wstr::wildcardMatch(c.text, c.pattern, c.caseSensitive), c.expected)
            << testing::PrintToString(std::wstring(c.text)) << " against "
            << testing::PrintToString(std::wstring(c.pattern));
    }
}

// --- Splitting and joining -----------------------------------------------------

TEST(Wstr, Split) {
    struct Case {
        const char* name;
        std::wstring text, separator;
        bool caseSensitive, keepEmpty;
        std::size_t maxCount;
        Pieces expected;
    };
    const Case cases[] = {
        {"keepEmpty", L"a,,b,", L",", true, true, 0, {L"a", L"", L"b"}},
        {"dropEmpty", L"a,,b,", L",", true, false, 0, {L"a", L"b"}},
        {"maxCount", L"a,,b,", L",", true, false, 2, {L"a", L",b,"}},
        {"maxCountOne", L"a,b", L",", true, true, 1, {L"a,b"}},
        {"leadingEmpty", L",a", L",", true, true, 0, {L"", L"a"}},
        {"onlySeparator", L",", L",", true, true, 0, {L""}},
        {"noSeparator", L"abc", L",", true, true, 0, {L"abc"}},
        {"longSeparator", L"a::b:c::", L"::", true, true, 0, {L"a", L"b:c"}},
        {"withoutCase", L"aXbxc", L"x", false, true, 0, {L"a", L"b", L"c"}},
        {"withCase", L"aXbxc", L"x", true, true, 0, {L"aXb", L"c"}},
        {"emptyText", L"", L",", true, true, 0, {}},
        {"emptySeparator", L"a,b", L"", true, true, 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wstr::split(c.text, c.separator, c.caseSensitive, c.keepEmpty, c.maxCount),
                  c.expected)
            << c.name;
    }
}

TEST(Wstr, Tokenize) {
    struct Case {
        std::wstring text, separators;
        std::size_t maxCount;
        Pieces expected;
    };
    const Case cases[] = {
        {L",,a,,b,,", L",", 0, {L"a", L"b"}},
        {L"a b\t\tc", L" \t", 0, {L"a", L"b", L"c"}},
        {L"a,b,,c", L",", 2, {L"a", L"b,,c"}},
        {L",,a,b", L",", 1, {L",,a,b"}},
        {L",,,", L",", 0, {}},
        {L"abc", L",", 0, {L"abc"}},
        {L"", L",", 0, {}},
        {L"a,b", L"", 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wstr::tokenize(c.text, c.separators, c.maxCount), c.expected)
            << testing::PrintToString(c.text) << " max " << c.maxCount;
    }
}

TEST(Wstr, JoinAppendsFromTheFirstIndex) {
    const std::vector<wstr> items = {L"a", L"", L"b"};
    wstr out = L"x:";
    EXPECT_EQ(wstr::join(out, items, L", "), L"x:a, , b");
    out.clear();
    EXPECT_EQ(wstr::join(out, items, L"+", 1), L"+b");
    out = L"keep";
    EXPECT_EQ(wstr::join(out, items, L"+", 3), L"keep");
    EXPECT_EQ(wstr::join(out, items, L"+", 99), L"keep");
}

// --- Numbers -------------------------------------------------------------------

TEST(Wstr, ParsesNumbersAndReportsOverflowThroughErrno) {
    EXPECT_EQ(wstr::toInt64(L"  -42xyz"), -42);
    EXPECT_EQ(wstr::toInt64(L"ff", 16), 255);
    EXPECT_EQ(wstr::toInt64(wstr(L"+17")), 17);
    EXPECT_EQ(wstr::toInt64(L"99999999999999999999"), INT64_MAX);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(wstr::toInt64(L"1"), 1);
    EXPECT_EQ(errno, 0); // cleared before parsing

    EXPECT_EQ(wstr::toUInt64(L"id=18446744073709551615", 3), UINT64_MAX);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(wstr::toUInt64(L"18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(wstr::toUInt64(L"abc", 10), 0u); // offset beyond the text
}

TEST(Wstr, IsIntegerAndIsUnsigned) {
    struct Case {
        const wchar_t* text;
        bool integer, unsignedStrict, unsignedBlanks;
    };
    const Case cases[] = {
        {L" -42 ", true, false, false},  {L"\t+7\t", true, false, false},
        {L"42", true, true, true},       {L" 7", true, false, true},
        {L"7 ", true, false, true},      {L"4 2", false, false, false},
        {L"+", false, false, false},     {L"-", false, false, false},
        {L"", false, false, false},      {L"  ", false, false, false},
        {L"0x10", false, false, false},  {L"\u0663", false, false, false}, // only ASCII digits
        {L"12\0junk", true, true, true},
    };
    for (const Case& c : cases) {
        std::string shown = testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(wstr::isInteger(c.text), c.integer) << shown;
        EXPECT_EQ(wstr::isUnsigned(c.text), c.unsignedStrict) << shown;
        EXPECT_EQ(wstr::isUnsigned(c.text, true), c.unsignedBlanks) << shown;
    }
}

// --- Buffers -------------------------------------------------------------------

TEST(Wstr, BufferForCallsThatFillAText) {
    wstr text = L"old";
    wchar_t* buffer = wstr::prepareBuffer(text, 8);
    ASSERT_EQ(text.size(), 8u);
    std::wcscpy(buffer, L"filled");
    EXPECT_EQ(wstr::fitLength(text, -1), L"filled");
    EXPECT_EQ(wstr::fitLength(text, 3), L"fil");
    EXPECT_EQ(wstr::fitLength(text, -1), L"fil"); // no NUL: unchanged
}

} // namespace
