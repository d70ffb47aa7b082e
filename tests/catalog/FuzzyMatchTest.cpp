#include "catalog/FuzzyMatch.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct ScoreCase {
    const char* name;
    const wchar_t* pattern;
    const wchar_t* candidate;
    bool caseSensitive;
    MatchKind kind;
    uint64_t score;
};

float scoreOf(const wstr& pattern, const wstr& candidate, MatchKind* kind, bool caseSensitive) {
    return fuzzyScore(pattern, wstr::lowerCopy(pattern), candidate, wstr::lowerCopy(candidate),
                      kind, caseSensitive);
}

TEST(FuzzyMatch, ScoresAndKindsOfTheReferenceExamples) {
    const ScoreCase cases[] = {
        {"empty pattern", L"", L"Notepad", false, MatchKind::none, 0},
        {"equal without case", L"notepad", L"Notepad", false, MatchKind::exact, 1000},
        {"whole last word", L"bar", L"foo bar", false, MatchKind::word, 619},
        {"start of a longer word", L"note", L"Notepad++", false, MatchKind::wordStart, 613},
        {"inside a word", L"pad", L"Notepad", false, MatchKind::substring, 571},
        {"capital initials", L"fb", L"Foo Bar", false, MatchKind::initials, 642},
        {"initials need capitals", L"fb", L"foo bar", false, MatchKind::scattered, 642},
        {"scattered with a word gap", L"fob", L"foo bar", false, MatchKind::scattered, 666},
        {"one character, capital initial", L"n", L"Notepad", false, MatchKind::initials, 571},
        {"one character, absent", L"x", L"Notepad", false, MatchKind::none, 0},
        {"pattern longer than candidate", L"abc", L"ab", false, MatchKind::none, 0},
        {"hyphen does not end a word", L"foo", L"Foo-Bar", false, MatchKind::wordStart, 619},
        {"case-sensitive loses one case term", L"Bar", L"foo bar", true, MatchKind::word, 595},
        {"case-sensitive equal lower texts", L"Bar", L"bar", true, MatchKind::exact, 1000},
        {"separators only skip the initials", L"-", L"Foo-Bar", false, MatchKind::scattered, 114},
    };
    for (const ScoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        MatchKind kind = MatchKind::unscored;
        float score = scoreOf(c.pattern, c.candidate, &kind, c.caseSensitive);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(integerScore(score), c.score);
    }
}

TEST(FuzzyMatch, WeightsSumInSinglePrecision) {
    // 'bar' in 'foo bar': 1.0 (word start), 0.8 and 0.8 (following).
    float expected = (2.6f / 7.0f + 2.6f / 3.0f) * 0.5f;
    EXPECT_FLOAT_EQ(scoreOf(L"bar", L"foo bar", nullptr, false), expected);
    EXPECT_FLOAT_EQ(expected, 0.6190476f);
    // A pattern made only of separators has no initials.
    EXPECT_EQ(initialsScore(L"-.", L"A-.B", L"a-.b"), 0.0f);
    EXPECT_EQ(initialsScore(L"fb", L"Foo Bar", L"foo bar"), 2.0f);
    // Once an initial matched, the next one must come from the next word.
    EXPECT_EQ(initialsScore(L"fz", L"Foo Bar Zed", L"foo bar zed"), 0.0f);
    // A preceding separator that is not white space does not start a word.
    EXPECT_EQ(initialsScore(L"fb", L"Foo-Bar", L"foo-bar"), 0.0f);
    // Words made of separators only are passed over.
    EXPECT_EQ(initialsScore(L"fb", L"Foo - Bar", L"foo - bar"), 2.0f);
}

TEST(FuzzyMatch, IntegerScoreFloorsTinyScores) {
    EXPECT_EQ(integerScore(0.0001f), 0u);
    EXPECT_EQ(integerScore(0.00011f), 0u); // truncated 0.11
    EXPECT_EQ(integerScore(0.0011f), 1u);
    EXPECT_EQ(integerScore(1.0f), 1000u);
}

TEST(FuzzyMatch, NormalizeSpaces) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"  a\t\tb  ", L"a b"},      {L" \t\r\n \x01", L""},      {L"", L""},
        {L"a\u00A0 b", L"a\u00A0 b"}, {L"a \x7f\x1f b\n", L"a b"}, {L"\u00A0", L"\u00A0"},
    };
    for (auto [in, out] : cases) {
        wstr text = in;
        normalizeSpaces(text);
        EXPECT_EQ(text, wstr(out)) << "input length " << wcslen(in);
    }
}

bool isSubsequence(const wstr& p, const wstr& t) {
    std::size_t pos = 0;
    for (wchar_t ch : p) {
        pos = t.find(ch, pos);
        if (pos == wstr::npos)
            return false;
        ++pos;
    }
    return true;
}

// Seeded random texts over a small alphabet, so that every kind occurs.
TEST(FuzzyMatch, RandomTextsKeepTheInvariants) {
    std::mt19937 rng(20240611);
    const wstr alphabet = L"abcAB  -.";
    auto randomText = [&](std::size_t maxLength) {
        wstr text;
        std::size_t length = rng() % (maxLength + 1);
        for (std::size_t i = 0; i < length; ++i)
            text.push_back(alphabet[rng() % alphabet.size()]);
        return text;
    };
    int kinds[9] = {};
    for (int trial = 0; trial < 50000; ++trial) {
        wstr pattern = randomText(5), candidate = randomText(12);
        normalizeSpaces(pattern);
        MatchKind kind = MatchKind::unscored;
        float score = scoreOf(pattern, candidate, &kind, trial % 2 == 1);
        wstr p = wstr::lowerCopy(pattern), t = wstr::lowerCopy(candidate);
        ASSERT_GE(score, 0.0f);
        ASSERT_LE(score, 1.0f);
        ASSERT_NE(kind, MatchKind::unscored);
        ASSERT_EQ(kind == MatchKind::none, integerScore(score) == 0) << score;
        // One character never enters the substring phase, so it is never exact.
        ASSERT_EQ(kind == MatchKind::exact, p.size() >= 2 && p == t);
        if (kind != MatchKind::none && kind != MatchKind::initials) {
            ASSERT_TRUE(isSubsequence(p, t));
        }
        if (kind == MatchKind::word || kind == MatchKind::wordStart ||
            kind == MatchKind::substring) {
            ASSERT_NE(t.find(p), wstr::npos);
        }
        ++kinds[static_cast<int>(kind)];
    }
    for (int kind : {0, 1, 2, 3, 4, 5, 7})
        EXPECT_GT(kinds[kind], 0) << "kind " << kind << " never occurred";
}

} // namespace
