#pragma once

#include "core/Format.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The program's text: a std::wstring (one wchar_t is one code point on Linux)
// that adds no fields. It is a class of its own so that the embedded
// interpreter can register a converter for exactly this type.
//
// The helpers are static members, are stateless and may be called from any
// thread. Character classes and case mapping use one fixed C.UTF-8 locale,
// never the process locale.
class wstr : public std::wstring {
public:
    using std::wstring::basic_string;
    wstr() = default;
    wstr(const std::wstring& other) : std::wstring(other) {}
    wstr(std::wstring&& other) noexcept : std::wstring(std::move(other)) {}

    // Windows code-page numbers understood by the conversions.
    static constexpr unsigned codePageAnsi = 0; // Windows-1252
    static constexpr unsigned codePageUtf8 = 65001;

    // --- Conversion ---------------------------------------------------------
    // Converts count bytes (-1: up to and including the terminating NUL) from
    // the code page. Empty for a null pointer, a first byte NUL, a count of 0
    // or a conversion failure (an unknown code page, bytes a legacy code page
    // cannot map); invalid UTF-8 becomes U+FFFD; counts of 2^31 and more are
    // clamped to 2^31-1; trailing NUL characters are removed.
    static wstr fromMultiByte(const char* bytes, int64_t count, unsigned codePage);
    static wstr fromUtf8(const char* text);
    // Assigns the conversion of bytes[first, first + count) to target.
    static wstr& assignMultiByte(wstr& target, std::string_view bytes, std::size_t first,
                                 std::size_t count, unsigned codePage);
    // UTF-8 form of length characters (-1: NUL-terminated); empty under the
    // same conditions as fromMultiByte; an invalid code point becomes U+FFFD.
    static std::string toUtf8(const wchar_t* text, int64_t length = -1);
    // The whole text, embedded NULs included (trailing ones dropped).
    static std::string toUtf8(const std::wstring& text);

    // --- Trimming and case (in place unless the name says copy) -------------
    static wstr& trimLeft(wstr& text);
    static wstr& trimRight(wstr& text);
    static wstr trimCopy(std::wstring_view text);
    static wstr& trimLeftChar(wstr& text, wchar_t ch);
    static wstr& trimTrailingSlashes(wstr& text);
    static wstr& toLower(wstr& text);
    static wstr lowerCopy(std::wstring_view text);
    // Lower-cased copy of length characters (-1: NUL-terminated); empty for a
    // null or empty input.
    static wstr lowerInvariant(const wchar_t* text, int64_t length = -1);
    static wstr lowerInvariant(const std::wstring& text);

    // --- Comparison and search ----------------------------------------------
    // -1, 0 or 1: ordinal over code points, case-folded unless caseSensitive.
    // A maxLength of 0 or -1 compares whole texts, otherwise each text is cut
    // to maxLength separately. Throws std::runtime_error for a null text.
    static int compare(const wchar_t* a, const wchar_t* b, bool caseSensitive,
                       int64_t maxLength = -1);
    static int compare(const std::wstring& a, const std::wstring& b, bool caseSensitive,
                       int64_t maxLength = -1);
    static bool equals(std::wstring_view a, std::wstring_view b, bool caseSensitive);
    // An empty prefix matches every text.
    static bool startsWith(std::wstring_view text, std::wstring_view prefix, bool caseSensitive);
    // Index of the first suffix the text ends with (without case), -1 if none.
    static int64_t endsWithAny(std::wstring_view text, const std::vector<wstr>& suffixes);
    // Index of the first candidate equal to the text without case, -1 if none.
    static int64_t indexIn(std::wstring_view text, const std::vector<wstr>& candidates);
    // Position of needle at or after start, without case; -1 if absent.
    static int64_t findNoCase(std::wstring_view text, std::wstring_view needle,
                              std::size_t start = 0);
    // Replaces every occurrence, never rescanning a replacement. An empty
    // search text leaves the text unchanged.
    static wstr& replaceAll(wstr& text, std::wstring_view search, std::wstring_view replacement);
    // Whole-text match; '*' matches any run, '?' any one character.
    static bool wildcardMatch(std::wstring_view text, std::wstring_view pattern,
                              bool caseSensitive);

    // --- Splitting and joining ----------------------------------------------
    // Pieces between occurrences of separator; maxCount 0 is unlimited, else
    // the last piece holds the rest. A trailing separator adds no piece.
    static std::vector<wstr> split(std::wstring_view text, std::wstring_view separator,
                                   bool caseSensitive, bool keepEmpty, std::size_t maxCount = 0);
    // Tokens between runs of any of the separator characters; never empty.
    static std::vector<wstr> tokenize(std::wstring_view text, std::wstring_view separators,
                                      std::size_t maxCount = 0);
    // Appends items[first...] to out with separator between them.
    static wstr& join(wstr& out, const std::vector<wstr>& items, std::wstring_view separator,
                      std::size_t first = 0);

    // --- Numbers -------------------------------------------------------------
    // Parse like wcstoll/wcstoull in the C locale after clearing errno; the
    // caller reads errno for overflow.
    static int64_t toInt64(const wchar_t* text, int base = 10);
    static int64_t toInt64(const std::wstring& text, int base = 10);
    static uint64_t toUInt64(const wchar_t* text, std::size_t offset = 0);
    static uint64_t toUInt64(const std::wstring& text, std::size_t offset = 0);
    // [blanks] [+|-] digits [blanks], up to the first NUL.
    static bool isInteger(const wchar_t* text);
    static bool isInteger(const std::wstring& text);
    // digits (with allowBlanks also blanks before and after), up to the first NUL.
    static bool isUnsigned(const wchar_t* text, bool allowBlanks = false);
    static bool isUnsigned(const std::wstring& text, bool allowBlanks = false);

    // --- Buffers for calls that fill a text ----------------------------------
    // Resizes the text to n characters and returns its writable storage.
    static wchar_t* prepareBuffer(wstr& text, std::size_t n);
    // Sets the length to n, or for n = -1 to the position of the first NUL.
    static wstr& fitLength(wstr& text, int64_t n);

    // --- Formatting ------------------------------------------------------------
    // Appends the formatted arguments to target (never clearing it) and returns
    // it. The target is cut at its first NUL afterwards. Narrow C strings are
    // decoded as UTF-8 when valid, else widened byte by byte. A bad format or argument throws
    // fmt::format_error (a std::runtime_error). Use fmt::runtime() for a format chosen at run time.
    template <typename... Args>
    static wstr& format(wstr& target, detail::WideFormatString<Args...> formatString,
                        Args&&... args) {
        return detail::vformatInto(
            target, fmt::wstring_view(formatString),
            fmt::make_wformat_args(detail::FmtWideArg<Args>::map(std::forward<Args>(args))...));
    }
};

template <> struct std::hash<wstr> : std::hash<std::wstring> {};
