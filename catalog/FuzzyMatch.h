#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <string_view>

// How a search text (the pattern) fits a candidate text; lower is better.
enum class MatchKind : uint32_t {
    exact = 0,     // equal without case
    word = 1,      // at a word start, ending at the end or before white space
    initials = 2,  // the capital initials of consecutive words
    wordStart = 3, // at a word start, the word going on after it
    substring = 4, // inside the candidate, never at a word start
    scattered = 5, // every character, in order
    none = 7,      // no match (also every score of 0.0001 or less)
    unscored = 8,  // never produced here: results added without a score
};

// The fuzzy matcher: pure functions, no state, any thread at once.

// Turns every run of spaces and control characters into one space and drops
// them at both ends; other white space (such as U+00A0) stays.
void normalizeSpaces(wstr& text);

// Score in [0, 1] of the pattern against the candidate, and its kind through
// kind when given. patternLower and candidateLower are wstr::lowerCopy of the
// two texts (same lengths). With caseSensitive, a character whose case differs
// from the candidate's loses the case term of its weight.
float fuzzyScore(std::wstring_view pattern, std::wstring_view patternLower,
                 std::wstring_view candidate, std::wstring_view candidateLower, MatchKind* kind,
                 bool caseSensitive);

// White space and +,-./:;<=>\ : what the initials match skips in a pattern.
bool isPatternSeparator(wchar_t ch);

// A cheap test for scanning many candidates: false only where fuzzyScore is
// 0, because a character of the pattern other than a separator (white space
// and +,-./:;<=>\) does not occur, in order, in the candidate. Separators
// may be skipped by the initials match, so they are not required here.
bool mayMatch(std::wstring_view patternLower, std::wstring_view candidateLower);

// The number of pattern characters that are the capital initials of
// consecutive words of the candidate, or 0.
float initialsScore(std::wstring_view patternLower, std::wstring_view candidate,
                    std::wstring_view candidateLower);

// The integer form used to rank and report a score: 0 at or below 0.0001,
// else the score times 1000 truncated (0 to 1000).
uint64_t integerScore(float score);
