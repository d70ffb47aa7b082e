#include "gui/Theme.h"

#include <QColor>
#include <QFontDatabase>
#include <QFontInfo>
#include <QWidget>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>

#include "core/Logger.h"
#include "core/SettingValues.h"
#include "core/SettingsStore.h"
#include "core/SysDisplay.h"
#include "gui/Font.h"

namespace Gui {
namespace {

constexpr uint32_t opaque = 0xFF000000;
// Where the colour keys start in the list of theme keys: color_background,
// then the others in the order of the colour ids.
constexpr std::size_t firstColourKey = 12;

struct Word {
    const wchar_t* word;
    uint32_t value;
};

const std::vector<Word> layoutWords = {
    {L"minimal", Theme::LayoutMinimal},
    {L"list_scrollbar", Theme::ListScrollbar},
    {L"list_selmark", Theme::ListSelMark},
    {L"list_icon", Theme::ListIcon},
    {L"list_dialnum", Theme::ListDialNum},
    {L"list_hits", Theme::ListHits},
    {L"list_actions", Theme::ListActions},
    {L"status", Theme::StatusBar},
    {L"all", Theme::LayoutAll},
};
const std::vector<Word> showWords = {
    {L"always", Theme::ShowAlways}, {L"never", Theme::ShowNever}, {L"select", Theme::ShowOnSelect}};
const std::vector<Word> posWords = {{L"topleft", Theme::TopLeft}, {L"topcenter", Theme::TopCenter}};
const std::vector<Word> sizeWords = {
    {L"small", 32}, {L"large", 64}, {L"jumbo", 128}, {L"superjumbo", 256}};
const std::vector<Word> fontIndexWords = {{L"small", Theme::Small},
                                          {L"snormal", Theme::SNormal},
                                          {L"normal", Theme::Normal},
                                          {L"large", Theme::Large}};

const std::array<uint32_t, Theme::ColourCount> defaultColours = {
    0xFFFF00FF, 0xFF010203, 0xFF484848, 0xFFF2F2F2, 0xFFA2A2A2, 0xFFA6E5FF,
    0xFFEB6420, 0xFFF2F2F2, 0xFFA2A2A2, 0xFF303030, 0xFF383838, 0xFFF2F2F2,
    0xFFA2A2A2, 0xFFA2A2A2, 0xFF2F2F2F, 0xFFA6E5FF, 0xFFF2F2F2, 0xFFA6E5FF,
};

std::optional<uint32_t> findWord(const std::vector<Word>& words, const wstr& word) {
    for (const Word& w : words)
        if (wstr::equals(word, w.word, false))
            return w.value;
    return std::nullopt;
}

wstr lowerAscii(std::wstring_view text) {
    wstr lowered(text);
    for (wchar_t& ch : lowered)
        if (ch >= L'A' && ch <= L'Z')
            ch = ch - L'A' + L'a';
    return lowered;
}

// An integer as the C library reads one with base 0, trailing text ignored;
// nothing when no digit is read.
std::optional<int64_t> readInteger(const wstr& text) {
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    long long value = std::wcstoll(begin, &end, 0);
    if (end == begin)
        return std::nullopt;
    return value;
}

bool isHexDigit(wchar_t ch) {
    return (ch >= L'0' && ch <= L'9') || (ch >= L'a' && ch <= L'f');
}

bool parseHexColour(const wstr& text, uint32_t& colour) {
    std::string digits;
    for (wchar_t ch : std::wstring_view(text).substr(1)) {
        if (std::iswspace(ch))
            continue;
        if (!isHexDigit(ch))
            return false;
        digits += static_cast<char>(ch);
    }
    if (digits.size() == 3)
        digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    if (digits.size() != 6)
        return false;
    colour = opaque | static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
    return true;
}

// Digits with at most one '.' in them (at least one digit).
bool isDecimal(std::wstring_view text, std::size_t& dots) {
    dots = 0;
    std::size_t digits = 0;
    for (wchar_t ch : text) {
        if (ch == L'.')
            ++dots;
        else if (ch >= L'0' && ch <= L'9')
            ++digits;
        else
            return false;
    }
    return digits > 0 && dots <= 1;
}

// One component of rgb()/rgba(): 0-255, a percentage, or a fraction 0.0-1.0.
std::optional<uint32_t> parseComponent(std::wstring_view item) {
    wstr text = wstr::trimCopy(item);
    std::size_t dots = 0;
    if (!text.empty() && text.back() == L'%') {
        text.pop_back();
        if (!isDecimal(text, dots))
            return std::nullopt;
        double percent = std::wcstod(text.c_str(), nullptr);
        if (percent > 100.0)
            return std::nullopt;
        return static_cast<uint32_t>(percent * 255.0 / 100.0 + 0.5);
    }
    if (!isDecimal(text, dots))
        return std::nullopt;
    if (dots == 1) {
        double fraction = std::wcstod(text.c_str(), nullptr);
        if (fraction > 1.0)
            return std::nullopt;
        return static_cast<uint32_t>(fraction * 255.0 + 0.5);
    }
    if (wstr::toUInt64(text) > 255)
        return std::nullopt;
    return static_cast<uint32_t>(wstr::toUInt64(text));
}

bool parseFunctionalColour(const wstr& text, uint32_t& colour) {
    const bool alpha = text.starts_with(L"rgba(");
    if (!(alpha ? text.size() >= 13 : text.starts_with(L"rgb(") && text.size() >= 10))
        return false;
    const std::size_t open = text.find(L'(');
    const std::size_t close = text.find(L')', open);
    if (close == wstr::npos || close - open - 1 < (alpha ? 7u : 5u))
        return false;
    std::vector<wstr> items =
        wstr::split(std::wstring_view(text).substr(open + 1, close - open - 1), L",", true, true);
    if (items.size() != (alpha ? 4u : 3u))
        return false;
    uint32_t parts[4] = {0, 0, 0, 255};
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::optional<uint32_t> part = parseComponent(items[i]);
        if (!part)
            return false;
        parts[i] = *part;
    }
    colour = parts[3] << 24 | parts[0] << 16 | parts[1] << 8 | parts[2];
    return true;
}

bool parseNamedColour(const wstr& text, uint32_t& colour) {
    // Qt's colour names are the CSS keywords plus "transparent", which is not one.
    const QString name = QString::fromStdWString(text);
    if (name == QLatin1String("transparent") || !QColor::colorNames().contains(name))
        return false;
    colour = opaque | (QColor(name).rgb() & 0xFFFFFF);
    return true;
}

// Reads the theme keys of one map, warning about the bad ones with the
// theme and file each came from.
class KeyReader {
public:
    KeyReader(const std::map<wstr, wstr>& values, const std::map<wstr, wstr>& origins) {
        for (const auto& [key, value] : values)
            store_.set(L"", key, value);
        for (const auto& [key, origin] : origins)
            store_.set(L"origin", key, origin);
    }

    bool has(const wchar_t* key) const { return store_.hasKey(L"", key); }
    wstr get(const wchar_t* key) const { return store_.getOrDefault(L"", key, L""); }

    void warn(const wchar_t* key, const wstr& value) const {
        wstr text;
        logMessage(Logger::Warning, wstr::format(text, L"Invalid value for setting {}{}: {}", key,
                                                 originOf(key), value));
    }

    // Reads the key with parse, which gives false for a bad value.
    template <typename Parse> void read(const wchar_t* key, Parse parse) const {
        wstr value = get(key);
        if (!parse(value))
            warn(key, value);
    }

    // A number: one outside [min, max] is warned about and brought within
    // it; a text without one is warned about and changes nothing.
    void readNumber(const wchar_t* key, int32_t& value, int32_t min, int32_t max) const {
        const wstr text = wstr::trimCopy(get(key));
        if (text.empty())
            return;
        const std::optional<int64_t> number = readInteger(text);
        if (!number) {
            warn(key, text);
            return;
        }
        value = static_cast<int32_t>(std::clamp<int64_t>(*number, min, max));
        if (value == *number)
            return;
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Out-of-range value for setting {}{}: {} (from {} to {}); {} "
                                L"is used",
                                key, originOf(key), text, min, max, value));
    }

private:
    wstr originOf(const wchar_t* key) const {
        const wstr origin = store_.getOrDefault(L"origin", key, L"");
        return origin.empty() ? wstr() : wstr(L" of ") + origin;
    }

    SettingsStore store_;
};

bool readStyle(const wstr& value, uint32_t& style) {
    if (value.empty())
        return true;
    uint32_t result = 0;
    for (const wstr& word : splitList(value)) {
        auto it =
            std::find_if(fontStyleWords().begin(), fontStyleWords().end(),
                         [&](const FontStyleWord& w) { return wstr::equals(word, w.word, false); });
        if (it == fontStyleWords().end())
            return false;
        result |= it->flag;
    }
    style = result;
    return true;
}

bool readColour(const wstr& value, uint32_t& colour) {
    return value.empty() || Theme::parseColour(value, colour);
}

bool readLayout(const wstr& value, uint32_t& layout) {
    std::vector<wstr> words = splitList(value);
    if (words.empty())
        return true;
    uint32_t result = 0;
    for (const wstr& word : words) {
        wstr lowered = wstr::lowerCopy(word);
        if (lowered == L"list_score") {
            wstr text;
            logMessage(Logger::Warning,
                       wstr::format(text, L"GUI layout flag \"{}\" is deprecated", lowered));
            continue;
        }
        std::optional<uint32_t> flag = findWord(layoutWords, lowered);
        if (!flag)
            return false;
        if (*flag == Theme::LayoutAll) {
            result = Theme::LayoutAll;
            break;
        }
        result |= *flag;
    }
    layout = result;
    return true;
}

bool readBool(const wstr& value, bool& flag) {
    wstr trimmed = wstr::trimCopy(value);
    if (trimmed.empty())
        return true;
    int parsed = parseBool(trimmed);
    if (parsed < 0)
        return false;
    flag = parsed == 1;
    return true;
}

bool readWord(const wstr& value, const std::vector<Word>& words, uint32_t& result) {
    wstr trimmed = wstr::trimCopy(value);
    if (trimmed.empty())
        return true;
    std::optional<uint32_t> found = findWord(words, wstr::lowerCopy(trimmed));
    if (found)
        result = *found;
    return found.has_value();
}

std::optional<int32_t> readBounded(const wstr& item, int32_t min, int32_t max) {
    std::optional<int64_t> value = readInteger(item);
    if (!value || *value < min || *value > max)
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

bool readSpacing(const wstr& value, Theme::Spacing& spacing, int32_t min, int32_t max) {
    wstr trimmed = wstr::trimCopy(value);
    if (trimmed.empty())
        return true;
    std::vector<wstr> items = wstr::split(trimmed, L",", true, true);
    std::optional<int32_t> x = readBounded(items[0], min, max);
    std::optional<int32_t> y = items.size() > 1 ? readBounded(items[1], min, max) : x;
    if (!x || !y)
        return false;
    spacing = {*x, *y};
    return true;
}

std::vector<wstr> readFaces(const wstr& value) {
    std::vector<wstr> faces;
    bool tahoma = false;
    for (const wstr& face : splitList(value)) {
        if (face.empty())
            continue;
        tahoma = tahoma || wstr::equals(face, L"tahoma", false);
        faces.push_back(face);
    }
    if (!tahoma)
        faces.push_back(L"Tahoma");
    return faces;
}

// The first of the characters the font has, else 0.
char16_t firstCovered(const Font& font, std::initializer_list<char16_t> characters) {
    for (char16_t ch : characters)
        if (fontCoversChar(font, ch) == 1)
            return ch;
    return 0;
}

} // namespace

void Theme::resetDefaults() {
    fontFaces = {L"Tahoma", L"Arial", L"Segoe UI"};
    colours = defaultColours;
    opacity = 247;
    layout = ListSelMark | ListIcon | ListDialNum | ListActions;
    compactResults = false;
    satelliteShow = ShowAlways;
    satellitePos = TopCenter;
    satelliteSize = 128;
    controlMargin = {6, 6};
    textboxPadding = {4, 4};
    listItemPadding = {2, 2};
    fonts[Small] = {L"", 9, Font::ClearType};
    fonts[SNormal] = {L"", 14, Font::ClearType};
    fonts[Normal] = {L"", 14, Font::Bold | Font::ClearType};
    fonts[Large] = {L"", 28, Font::Bold | Font::ClearType};
    fonts[Mono] = {L"Consolas", 10, Font::ClearType};
    listItemTitleFont = SNormal;
}

void Theme::load(const std::map<wstr, wstr>& values, const std::map<wstr, wstr>& origins) {
    const KeyReader keys(values, origins);
    if (keys.has(L"font_face"))
        fontFaces = readFaces(keys.get(L"font_face"));
    const wchar_t* sizeKeys[] = {L"font_small_size", L"font_snormal_size", L"font_normal_size",
                                 L"font_large_size"};
    const wchar_t* styleKeys[] = {L"font_small_style", L"font_snormal_style", L"font_normal_style",
                                  L"font_large_style"};
    for (uint32_t i = Small; i <= Large; ++i)
        keys.readNumber(sizeKeys[i], fonts[i].points, 6, 72);
    for (uint32_t i = Small; i <= Large; ++i)
        keys.read(styleKeys[i], [&](const wstr& v) { return readStyle(v, fonts[i].style); });
    wstr mono = wstr::trimCopy(keys.get(L"mono_font_face"));
    if (!mono.empty())
        fonts[Mono].face = mono;
    keys.readNumber(L"mono_font_size", fonts[Mono].points, 6, 72);
    keys.read(L"mono_font_style", [&](const wstr& v) { return readStyle(v, fonts[Mono].style); });
    for (uint32_t id = Background; id < ColourCount; ++id) {
        const wstr& key = themeKeyList()[firstColourKey + id - Background];
        keys.read(key.c_str(), [&](const wstr& v) { return readColour(v, colours[id]); });
    }
    keys.read(L"layout", [&](const wstr& v) { return readLayout(v, layout); });
    keys.read(L"compact_results", [&](const wstr& v) { return readBool(v, compactResults); });
    int32_t percent = 97;
    keys.readNumber(L"opacity_back", percent, 20, 100);
    opacity = static_cast<uint8_t>(percent == 100 ? 255 : percent * 255 / 100);
    keys.read(L"satellite_show",
              [&](const wstr& v) { return readWord(v, showWords, satelliteShow); });
    keys.read(L"satellite_pos", [&](const wstr& v) { return readWord(v, posWords, satellitePos); });
    keys.read(L"satellite_size",
              [&](const wstr& v) { return readWord(v, sizeWords, satelliteSize); });
    keys.read(L"control_margin",
              [&](const wstr& v) { return readSpacing(v, controlMargin, 2, 50); });
    keys.read(L"textbox_padding",
              [&](const wstr& v) { return readSpacing(v, textboxPadding, 1, 50); });
    keys.read(L"listitem_padding",
              [&](const wstr& v) { return readSpacing(v, listItemPadding, 1, 50); });
    keys.read(L"listitem_title_font",
              [&](const wstr& v) { return readWord(v, fontIndexWords, listItemTitleFont); });
}

void Theme::createFonts(const QWidget* window) {
    const uint32_t dpi = Sys::windowDpi(window).y;
    for (uint32_t i = Small; i <= Large; ++i)
        resolveFont(fonts[i], fontFaces, L"", dpi);
    // The console must stay monospaced: its last resort is the system's fixed font.
    wstr fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family().toStdWString();
    resolveFont(fonts[Mono], {fonts[Mono].face}, fixed, dpi);
}

void Theme::initialize(const QWidget* window, const std::map<wstr, wstr>& values,
                       const std::map<wstr, wstr>& origins) {
    resetDefaults();
    load(values, origins);
    createFonts(window);
}

void Theme::resolveFont(FontEntry& entry, const std::vector<wstr>& candidates, const wstr& fallback,
                        uint32_t dpi) {
    Font font;
    bool found = std::any_of(candidates.begin(), candidates.end(), [&](const wstr& face) {
        return font.create(dpi, face, entry.points, entry.style | Font::ExactFace);
    });
    if (!found)
        font.create(dpi, fallback, entry.points, entry.style);
    if (!font.handle()) {
        entry.face.clear();
        entry.separatorChar = entry.arrowChar = 0;
        return;
    }
    entry.face = QFontInfo(*font.handle()).family().toStdWString();
    entry.separatorChar = firstCovered(font, {u'\u2022', u'|', u' '});
    entry.arrowChar = firstCovered(font, {u'\u25BA', u'\u2023', u'\u00BB', u'>', u' '});
}

bool Theme::parseColour(const wstr& text, uint32_t& colour) {
    const wstr value = lowerAscii(wstr::trimCopy(text));
    if (value.size() >= 4 && value[0] == L'#')
        return parseHexColour(value, colour);
    if (value.starts_with(L"rgb"))
        return parseFunctionalColour(value, colour);
    return parseNamedColour(value, colour);
}

} // namespace Gui
