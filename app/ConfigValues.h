#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/SettingValues.h"
#include "core/SysDisplay.h"
#include "core/Wstr.h"

// The value types and value parsers of the configuration files that only
// the application reads: the enumerated words of [gui] and [console] and
// window geometry words (booleans, numbers, lists and font styles are in
// core/SettingValues.h). Stateless; any thread.

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
struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};
struct GeometryWorkArea {
    Sys::Rect area;
    int32_t mode = GeometrySetting::Invalid;
    // The pointer's position the area was chosen by, where it was read.
    std::optional<ScreenPoint> cursor;
};
GeometryWorkArea geometryWorkArea(const GeometrySetting& setting, std::optional<ScreenPoint> cursor,
                                  std::optional<Sys::Rect> foregroundWindow);
// The same with the cursor position and the active window the display
// service reports now; the result holds the position read.
GeometryWorkArea geometryWorkArea(const GeometrySetting& setting);
