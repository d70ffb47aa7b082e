#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/SysDisplay.h"
#include "core/Wstr.h"

// The value types and value parsers of the configuration files: booleans,
// numbers, lists, the enumerated words of [gui] and [console], window
// geometry words and font styles. Stateless; any thread.

// Where a window appears. Mode 0 with a monitor number N > 0 puts it on the
// N-th monitor (counted from 1); with 0 it is "auto".
struct GeometrySetting {
    enum Mode : int32_t {
        Auto = 0,
        ActiveMonitor = 1,
        MouseMonitor = 2,
        MousePos = 3,
        Persistent = 4,
        Invalid = 5,
    };
    int32_t mode = Auto;
    uint32_t monitor = 0;

    bool operator==(const GeometrySetting&) const = default;
};

// hide_on_focus_lost.
enum FocusLostMode : int32_t { FocusLostNo = 0, FocusLostImmediate = 1, FocusLostDelayed = 2 };

// retain_last_search.
enum RetainLastSearch : int32_t {
    RetainNo = 0,
    RetainSelected = 1,
    RetainUnselected = 2,
};

// flash_on: the lowest logger level that makes the console flash.
enum FlashOn : int32_t { FlashInfo = 1, FlashWarn = 2, FlashErr = 3, FlashNever = 1000 };

// One word of a font style and its flag.
struct FontStyleWord {
    const wchar_t* word;
    uint32_t flag;
};
// "normal" 0, "bold" 1, "italic" 2, "underline" 4, "strikeout" 8, "cleartype" 16.
const std::vector<FontStyleWord>& fontStyleWords();

// The keys a theme section may hold; only these are copied into the merged
// theme values.
const std::vector<wstr>& themeKeyList();

// 1 for "1", "true", "yes", "on", "enable", "enabled"; 0 for their opposites
// "0", "false", "no", "off", "disable", "disabled"; -1 otherwise. Lowered,
// not trimmed.
int parseBool(const wstr& text);
wstr boolToString(bool value);

// A number as the settings write it: base detection (0x hexadecimal, a
// leading 0 octal), reading up to the first character that does not belong
// to it; no digits read 0.
int64_t parseNumber(const wstr& text);
// Whether parseNumber reads the whole text (blanks around it aside): "12",
// "-3", "0x1F" and "010" are whole; "12px", "ten", "08" and "" are not.
bool isWholeNumber(const wstr& text);
// The default for an empty text, else the number clamped into [min, max].
int32_t parseIntClamped(const wstr& text, int32_t defaultValue, int32_t min, int32_t max);
// The default for an empty text or a number outside [min, max].
int32_t parseIntInRange(const wstr& text, int32_t defaultValue, int32_t min, int32_t max);

// The text split at ',' (runs of commas give no element), every element
// trimmed; an element of blanks stays as an empty element.
std::vector<wstr> splitList(const wstr& text);

// The enumeration values; 3, 3 and 1001 for an unknown word. The text is
// trimmed and lowered first.
int32_t parseFocusLostMode(const wstr& text);
int32_t parseRetainLastSearch(const wstr& text);
int32_t parseFlashOn(const wstr& text);
// The words that the settings are written back as; empty for a value that
// has no word.
wstr focusLostModeToString(int32_t mode);
wstr retainLastSearchToString(int32_t mode);
wstr flashOnToString(int32_t flashOn);

// True and the setting for a known word ("auto", "persistent",
// "active_monitor", "mouse_monitor", "mouse_pos" or "monitor_" and decimal
// digits, without case and surrounding blanks); false and mode Invalid
// otherwise.
bool parseGeometrySetting(const wstr& text, GeometrySetting& setting);
wstr geometryToString(const GeometrySetting& setting);

// The work area a window with this geometry setting opens in, and the mode
// that was applied. The window passes the cursor position and the rectangle
// of the foreground window when it can read them. Monitors come from
// Sys::enumMonitors; without one the area is 0, 0, 800, 600.
// User-interface thread.
struct GeometryWorkArea {
    Sys::Rect area;
    int32_t mode = GeometrySetting::Invalid;
};
struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};
GeometryWorkArea geometryWorkArea(const GeometrySetting& setting, std::optional<ScreenPoint> cursor,
                                  std::optional<Sys::Rect> foregroundWindow);

// Success and the OR of the style words (comma-separated, trimmed, without
// case). A text without words gives success and the default; an unknown word
// failure and the default.
std::pair<bool, uint32_t> parseFontStyle(const wstr& text, uint32_t defaultFlags);
