#include "catalog/FuzzyMatch.h"

#include "catalog/CharClass.h"

#include <bit>
#include <string_view>

namespace {

using View = std::wstring_view;
constexpr std::size_t npos = View::npos;

// Weights of one matched character; the case term is added on top.
constexpr float weightAtWordStart = 0.9f;           // bits 0x3F666666
constexpr float weightFollowing = 0.7f;             // directly after the previous match
constexpr float weightGapToWordStart = 0.90000004f; // bits 0x3F666667, after a gap
constexpr float weightGap = 0.1f;                   // after a gap, inside a word
constexpr float weightCase = 0.1f;
constexpr float scoreFloor = 0.0001f;

static_assert(std::bit_cast<uint32_t>(weightAtWordStart) == 0x3F666666);
static_assert(std::bit_cast<uint32_t>(weightGapToWordStart) == 0x3F666667);

bool isWordStart(View text, std::size_t pos) {
    return pos == 0 || CharClass::isSpace(text[pos - 1]);
}

bool isSeparator(wchar_t ch) {
    switch (ch) {
    case L'+':
    case L',':
    case L'-':
    case L'.':
    case L'/':
    case L':':
    case L';':
    case L'<':
    case L'=':
    case L'>':
    case L'\\':
        return true;
    default:
        return CharClass::isSpace(ch);
    }
}

std::size_t skipSeparators(View text, std::size_t pos) {
    while (pos < text.size() && isSeparator(text[pos]))
        ++pos;
    return pos;
}

// The position of the next white space at or after pos, or the end.
std::size_t nextSpace(View text, std::size_t pos) {
    while (pos < text.size() && !CharClass::isSpace(text[pos]))
        ++pos;
    return pos;
}

struct SubstringMatch {
    MatchKind kind = MatchKind::none;
    std::size_t pos = 0;
};

// The first occurrence of the whole pattern that lies at a word start decides
// between word and wordStart; without one it is a substring match.
SubstringMatch classifyOccurrences(View p, View t, std::size_t first) {
    for (std::size_t at = first; at != npos; at = t.find(p, at + 1)) {
        if (!isWordStart(t, at))
            continue;
        std::size_t end = at + p.size();
        bool wholeWord = end == t.size() || CharClass::isSpace(t[end]);
        return {wholeWord ? MatchKind::word : MatchKind::wordStart, at};
    }
    return {MatchKind::substring, first};
}

// The longest prefix of the pattern (two characters at least) found in the
// candidate sets the scan position; the whole pattern also sets the kind.
SubstringMatch substringPhase(View p, View t) {
    if (p.size() < 2 || t.size() < 2)
        return {};
    for (std::size_t len = p.size(); len >= 2; --len) {
        std::size_t at = t.find(p.substr(0, len));
        if (at == npos)
            continue;
        if (len < p.size())
            return {MatchKind::none, at};
        if (p.size() == t.size())
            return {MatchKind::exact, 0};
        return classifyOccurrences(p, t, at);
    }
    return {};
}

float weightAt(View t, std::size_t j, std::size_t pos) {
    if (j == pos)
        return isWordStart(t, j) ? weightAtWordStart : weightFollowing;
    return CharClass::isSpace(t[j - 1]) ? weightGapToWordStart : weightGap;
}

// Sum of the weights of the pattern's characters found in order from pos;
// a negative result when one is missing.
float characterPhase(View pattern, View p, View candidate, View t, std::size_t pos,
                     bool caseSensitive) {
    float sum = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        std::size_t j = t.find(p[i], pos);
        if (j == npos)
            return -1;
        float weight = weightAt(t, j, pos);
        bool sameCase = i < pattern.size() && j < candidate.size() && pattern[i] == candidate[j];
        if (!caseSensitive || sameCase)
            weight += weightCase;
        sum += weight;
        pos = j + 1;
    }
    return sum;
}

float finish(float score, MatchKind found, MatchKind* kind) {
    if (score <= scoreFloor)
        found = MatchKind::none;
    else if (found == MatchKind::none)
        found = MatchKind::scattered;
    if (kind)
        *kind = found;
    return score;
}

} // namespace

void normalizeSpaces(wstr& text) {
    std::size_t out = 0;
    bool afterSpace = true;
    for (wchar_t ch : text) {
        if (!CharClass::isGap(ch)) {
            text[out++] = ch;
            afterSpace = false;
        } else if (!afterSpace) {
            text[out++] = L' ';
            afterSpace = true;
        }
    }
    while (out > 0 && text[out - 1] == L' ')
        --out;
    text.resize(out);
}

bool isPatternSeparator(wchar_t ch) {
    return isSeparator(ch);
}

bool mayMatch(View patternLower, View candidateLower) {
    std::size_t at = 0;
    for (wchar_t ch : patternLower) {
        if (isSeparator(ch))
            continue;
        at = candidateLower.find(ch, at);
        if (at == npos)
            return false;
        ++at;
    }
    return true;
}

float initialsScore(View patternLower, View candidate, View candidateLower) {
    View p = patternLower, o = candidate, t = candidateLower;
    float count = 0;
    std::size_t i = 0, j = 0;
    while (true) {
        i = skipSeparators(p, i);
        if (i >= p.size())
            return count;
        wchar_t ch = p[i];
        while (true) {
            if (j >= t.size())
                return 0;
            j = skipSeparators(t, j);
            if (j >= t.size())
                return 0;
            if (!isWordStart(t, j)) {
                if (count > 0)
                    return 0;
                j = nextSpace(t, j);
                continue;
            }
            if (t[j] == ch && j < o.size() && o[j] == CharClass::toUpper(ch))
                break;
            if (count > 0)
                return 0;
            j = nextSpace(t, j + 1);
        }
        count += 1;
        ++i;
        j = nextSpace(t, j + 1);
    }
}

float fuzzyScore(View pattern, View patternLower, View candidate, View candidateLower,
                 MatchKind* kind, bool caseSensitive) {
    View p = patternLower, t = candidateLower;
    if (p.empty())
        return finish(0, MatchKind::none, kind);
    SubstringMatch match = substringPhase(p, t);
    if (match.kind == MatchKind::exact)
        return finish(1.0f, MatchKind::exact, kind);
    float sum = 0;
    if (match.kind > MatchKind::initials) {
        float initials = initialsScore(patternLower, candidate, candidateLower);
        if (initials > 0) {
            match.kind = MatchKind::initials;
            sum = initials;
        }
    }
    if (match.kind != MatchKind::initials) {
        sum = characterPhase(pattern, p, candidate, t, match.pos, caseSensitive);
        if (sum < 0)
            return finish(0, MatchKind::none, kind);
    }
    float lenT = static_cast<float>(t.size());
    float lenP = static_cast<float>(p.size());
    return finish((sum / lenT + sum / lenP) * 0.5f, match.kind, kind);
}

uint64_t integerScore(float score) {
    if (score <= scoreFloor)
        return 0;
    return static_cast<uint64_t>(score * 1000.0f);
}
