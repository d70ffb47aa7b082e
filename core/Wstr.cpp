#include "core/Wstr.h"

#include <utf8.h>

#include "core/TextLocale.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <iconv.h>
#include <locale.h>
#include <stdexcept>

namespace {

constexpr int64_t maxConvertCount = INT32_MAX;
constexpr unsigned errorInvalidParameter = 87;

// Numbers parse in the classic locale.
locale_t classicLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

bool isSpace(wchar_t ch) {
    return iswspace_l(static_cast<wint_t>(ch), textLocale()) != 0;
}
bool isDigit(wchar_t ch) {
    return iswdigit_l(static_cast<wint_t>(ch), textLocale()) != 0;
}
bool isBlank(wchar_t ch) {
    return ch == L' ' || ch == L'\t';
}

wchar_t lower(wchar_t ch) {
    return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(ch), textLocale()));
}
wchar_t upper(wchar_t ch) {
    return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(ch), textLocale()));
}
// Simple case folding: upper then lower also unites forms such as final and
// medial sigma or the long s with s.
wchar_t fold(wchar_t ch) {
    return lower(upper(ch));
}

int compareViews(std::wstring_view a, std::wstring_view b, bool caseSensitive) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        auto ca = static_cast<uint32_t>(caseSensitive ? a[i] : fold(a[i]));
        auto cb = static_cast<uint32_t>(caseSensitive ? b[i] : fold(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool isValidCodePoint(uint32_t cp) {
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

// iconv name of a Windows code page.
std::string iconvName(unsigned codePage) {
    switch (codePage) {
    case wstr::codePageAnsi:
        return "WINDOWS-1252";
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 12000:
        return "UTF-32LE";
    case 12001:
        return "UTF-32BE";
    case 20127:
        return "ASCII";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 28603:
        return "ISO-8859-13";
    case 28605:
        return "ISO-8859-15";
    case 54936:
        return "GB18030";
    case 65000:
        return "UTF-7";
    }
    if (codePage >= 28591 && codePage <= 28599)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage >= 1250 && codePage <= 1258)
        return "WINDOWS-" + std::to_string(codePage);
    return "CP" + std::to_string(codePage);
}

// Windows-1252 leaves five bytes undefined; Windows maps them to the C1
// control of the same value, so ANSI text never fails to convert.
bool isUndefined1252(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Invalid sequences become U+FFFD, as the system converters do without
// flags: one bad byte must not lose a whole text.
bool decodeUtf8(std::string_view bytes, wstr& out) {
    if (utf8::is_valid(bytes.begin(), bytes.end())) {
        utf8::unchecked::utf8to32(bytes.begin(), bytes.end(), std::back_inserter(out));
        return true;
    }
    std::string repaired;
    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(repaired), 0xFFFD);
    utf8::unchecked::utf8to32(repaired.begin(), repaired.end(), std::back_inserter(out));
    return true;
}

bool decodeIconv(std::string_view bytes, unsigned codePage, wstr& out) {
    bool ansi = codePage == wstr::codePageAnsi || codePage == 1252;
    IconvHandle cd("WCHAR_T", iconvName(codePage).c_str());
    if (!cd.valid())
        return false;
    std::wstring chunk(bytes.size() + 16, L'\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(chunk.data());
        std::size_t outLeft = chunk.size() * sizeof(wchar_t);
        std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        int error = errno;
        out.append(chunk.data(), reinterpret_cast<wchar_t*>(outPtr) - chunk.data());
        if (rc != static_cast<std::size_t>(-1) || error == E2BIG)
            continue;
        if (error != EILSEQ || !ansi || !isUndefined1252(static_cast<unsigned char>(*in)))
            return false;
        out.push_back(static_cast<unsigned char>(*in));
        ++in;
        --inLeft;
    }
    return true;
}

bool decode(std::string_view bytes, unsigned codePage, wstr& out) {
    if (codePage == wstr::codePageUtf8)
        return decodeUtf8(bytes, out);
    return decodeIconv(bytes, codePage, out);
}

template <typename String> void dropTrailingNuls(String& text) {
    while (!text.empty() && text.back() == 0)
        text.pop_back();
}

} // namespace

// --- Conversion ----------------------------------------------------------------

wstr wstr::fromMultiByte(const char* bytes, int64_t count, unsigned codePage) {
    if (!bytes || count == 0 || count < -1 || bytes[0] == '\0')
        return {};
    std::size_t length = count == -1 ? std::strlen(bytes) + 1
                                     : static_cast<std::size_t>(std::min(count, maxConvertCount));
    wstr out;
    if (!decode(std::string_view(bytes, length), codePage, out))
        return {};
    dropTrailingNuls(out);
    return out;
}

wstr wstr::fromUtf8(const char* text) {
    return fromMultiByte(text, -1, codePageUtf8);
}

wstr& wstr::assignMultiByte(wstr& target, std::string_view bytes, std::size_t first,
                            std::size_t count, unsigned codePage) {
    first = std::min(first, bytes.size());
    count = std::min(count, bytes.size() - first);
    target = fromMultiByte(bytes.data() + first, static_cast<int64_t>(count), codePage);
    return target;
}

std::string wstr::toUtf8(const wchar_t* text, int64_t length) {
    if (!text || length == 0 || length < -1 || text[0] == L'\0')
        return {};
    std::size_t count = length == -1 ? std::wcslen(text)
                                     : static_cast<std::size_t>(std::min(length, maxConvertCount));
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto cp = static_cast<uint32_t>(text[i]);
        utf8::unchecked::append(isValidCodePoint(cp) ? cp : 0xFFFD, std::back_inserter(out));
    }
    dropTrailingNuls(out);
    return out;
}

std::string wstr::toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), static_cast<int64_t>(text.size()));
}

// --- Trimming and case ---------------------------------------------------------

wstr& wstr::trimLeft(wstr& text) {
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    text.erase(text.begin(), first);
    return text;
}

wstr& wstr::trimRight(wstr& text) {
    auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace);
    text.erase(last.base(), text.end());
    return text;
}

wstr wstr::trimCopy(std::wstring_view text) {
    wstr copy(text);
    trimLeft(copy);
    return trimRight(copy);
}

wstr& wstr::trimLeftChar(wstr& text, wchar_t ch) {
    std::size_t first = text.find_first_not_of(ch);
    text.erase(0, first);
    return text;
}

wstr& wstr::trimTrailingSlashes(wstr& text) {
    std::size_t last = text.find_last_not_of(L'/');
    text.resize(last == npos ? 0 : last + 1);
    return text;
}

wstr& wstr::toLower(wstr& text) {
    for (wchar_t& ch : text)
        ch = lower(ch);
    return text;
}

wstr wstr::lowerCopy(std::wstring_view text) {
    wstr copy(text);
    return toLower(copy);
}

wstr wstr::lowerInvariant(const wchar_t* text, int64_t length) {
    if (!text || length == 0)
        return {};
    std::size_t count = length < 0 ? std::wcslen(text) : static_cast<std::size_t>(length);
    return lowerCopy(std::wstring_view(text, count));
}

wstr wstr::lowerInvariant(const std::wstring& text) {
    return lowerInvariant(text.data(), static_cast<int64_t>(text.size()));
}

// --- Comparison and search -----------------------------------------------------

int wstr::compare(const wchar_t* a, const wchar_t* b, bool caseSensitive, int64_t maxLength) {
    if (!a || !b)
        throw std::runtime_error(
            formatNarrow("Failed to compare strings (sensitive: {}; maxlen: {}) (error {})",
                         caseSensitive, maxLength, errorInvalidParameter));
    if (maxLength <= 0)
        return compareViews(a, b, caseSensitive);
    auto limit = static_cast<std::size_t>(maxLength);
    return compareViews(std::wstring_view(a, ::wcsnlen(a, limit)),
                        std::wstring_view(b, ::wcsnlen(b, limit)), caseSensitive);
}

int wstr::compare(const std::wstring& a, const std::wstring& b, bool caseSensitive,
                  int64_t maxLength) {
    return compare(a.c_str(), b.c_str(), caseSensitive, maxLength);
}

bool wstr::equals(std::wstring_view a, std::wstring_view b, bool caseSensitive) {
    return a.size() == b.size() && compareViews(a, b, caseSensitive) == 0;
}

bool wstr::startsWith(std::wstring_view text, std::wstring_view prefix, bool caseSensitive) {
    return text.size() >= prefix.size() &&
           compareViews(text.substr(0, prefix.size()), prefix, caseSensitive) == 0;
}

int64_t wstr::endsWithAny(std::wstring_view text, const std::vector<wstr>& suffixes) {
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        const wstr& suffix = suffixes[i];
        if (suffix.size() <= text.size() &&
            equals(text.substr(text.size() - suffix.size()), suffix, false))
            return static_cast<int64_t>(i);
    }
    return -1;
}

int64_t wstr::indexIn(std::wstring_view text, const std::vector<wstr>& candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (equals(text, candidates[i], false))
            return static_cast<int64_t>(i);
    }
    return -1;
}

int64_t wstr::findNoCase(std::wstring_view text, std::wstring_view needle, std::size_t start) {
    std::size_t found = lowerCopy(text).find(lowerCopy(needle), start);
    return found == npos ? -1 : static_cast<int64_t>(found);
}

wstr& wstr::replaceAll(wstr& text, std::wstring_view search, std::wstring_view replacement) {
    if (search.empty())
        return text;
    std::size_t found = text.find(search);
    if (found == npos)
        return text;
    wstr result;
    std::size_t pos = 0;
    for (; found != npos; found = text.find(search, pos)) {
        result.append(text, pos, found - pos).append(replacement);
        pos = found + search.size();
    }
    result.append(text, pos);
    text.swap(result);
    return text;
}

bool wstr::wildcardMatch(std::wstring_view text, std::wstring_view pattern, bool caseSensitive) {
    auto same = [caseSensitive](wchar_t a, wchar_t b) {
        return a == b || (!caseSensitive && upper(a) == upper(b));
    };
    std::size_t t = 0, p = 0;
    std::size_t starPattern = npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            if (p + 1 == pattern.size())
                return true;
            starPattern = ++p;
            starText = t;
            continue;
        }
        if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], text[t]))) {
            ++p;
            ++t;
            continue;
        }
        if (starPattern == npos)
            return false;
        p = starPattern;
        t = ++starText;
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

// --- Splitting and joining -----------------------------------------------------

std::vector<wstr> wstr::split(std::wstring_view text, std::wstring_view separator,
                              bool caseSensitive, bool keepEmpty, std::size_t maxCount) {
    std::vector<wstr> pieces;
    if (separator.empty() || text.empty())
        return pieces;
    // Case mapping keeps lengths (one code point each), so positions found in
    // the lower-cased copies hold for the text itself.
    wstr lowerText, lowerSeparator;
    std::wstring_view haystack = text, needle = separator;
    if (!caseSensitive) {
        lowerText = lowerCopy(text);
        lowerSeparator = lowerCopy(separator);
        haystack = lowerText;
        needle = lowerSeparator;
    }
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = haystack.find(needle, pos);
        if (found == npos || (maxCount != 0 && pieces.size() == maxCount - 1)) {
            pieces.emplace_back(text.substr(pos));
            return pieces;
        }
        if (found > pos)
            pieces.emplace_back(text.substr(pos, found - pos));
        else if (keepEmpty)
            pieces.emplace_back();
        pos = found + separator.size();
        if (pos >= text.size())
            return pieces;
    }
}

std::vector<wstr> wstr::tokenize(std::wstring_view text, std::wstring_view separators,
                                 std::size_t maxCount) {
    std::vector<wstr> tokens;
    if (separators.empty() || text.empty())
        return tokens;
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = text.find_first_of(separators, pos);
        if (found == npos || (maxCount != 0 && tokens.size() == maxCount - 1)) {
            tokens.emplace_back(text.substr(pos));
            return tokens;
        }
        if (found > pos)
            tokens.emplace_back(text.substr(pos, found - pos));
        pos = text.find_first_not_of(separators, found);
        if (pos == npos)
            return tokens;
    }
}

wstr& wstr::join(wstr& out, const std::vector<wstr>& items, std::wstring_view separator,
                 std::size_t first) {
    for (std::size_t i = first; i < items.size(); ++i) {
        if (i > first)
            out.append(separator);
        out.append(items[i]);
    }
    return out;
}

// --- Numbers -------------------------------------------------------------------

int64_t wstr::toInt64(const wchar_t* text, int base) {
    errno = 0;
    if (!text)
        return 0;
    return wcstoll_l(text, nullptr, base, classicLocale());
}

int64_t wstr::toInt64(const std::wstring& text, int base) {
    return toInt64(text.c_str(), base);
}

uint64_t wstr::toUInt64(const wchar_t* text, std::size_t offset) {
    errno = 0;
    if (!text || ::wcsnlen(text, offset) < offset)
        return 0;
    return wcstoull_l(text + offset, nullptr, 10, classicLocale());
}

uint64_t wstr::toUInt64(const std::wstring& text, std::size_t offset) {
    return toUInt64(text.c_str(), offset);
}

namespace {

const wchar_t* skipBlanks(const wchar_t* p) {
    while (isBlank(*p))
        ++p;
    return p;
}

// Skips one or more digits; null when there is none.
const wchar_t* skipDigits(const wchar_t* p) {
    if (!isDigit(*p))
        return nullptr;
    while (isDigit(*p))
        ++p;
    return p;
}

} // namespace

bool wstr::isInteger(const wchar_t* text) {
    if (!text)
        return false;
    const wchar_t* p = skipBlanks(text);
    if (*p == L'+' || *p == L'-')
        ++p;
    p = skipDigits(p);
    return p && *skipBlanks(p) == L'\0';
}

bool wstr::isInteger(const std::wstring& text) {
    return isInteger(text.c_str());
}

bool wstr::isUnsigned(const wchar_t* text, bool allowBlanks) {
    if (!text)
        return false;
    const wchar_t* p = allowBlanks ? skipBlanks(text) : text;
    p = skipDigits(p);
    if (p && allowBlanks)
        p = skipBlanks(p);
    return p && *p == L'\0';
}

bool wstr::isUnsigned(const std::wstring& text, bool allowBlanks) {
    return isUnsigned(text.c_str(), allowBlanks);
}

// --- Buffers -------------------------------------------------------------------

wchar_t* wstr::prepareBuffer(wstr& text, std::size_t n) {
    text.resize(n);
    return text.data();
}

wstr& wstr::fitLength(wstr& text, int64_t n) {
    if (n >= 0) {
        text.resize(static_cast<std::size_t>(n));
        return text;
    }
    std::size_t nul = text.find(L'\0');
    if (nul != npos)
        text.resize(nul);
    return text;
}
