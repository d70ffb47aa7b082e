#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/Wstr.h"

namespace Sys {

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
};

struct Dpi {
    uint32_t x = 96;
    uint32_t y = 96;
};

// One display monitor.
struct MonitorInfo {
    uintptr_t handle = 0;
    Rect monitor;
    Rect work;
    Dpi dpi;
    wstr deviceName;
    bool primary = false;
};

// What the program knows of the screens. The user interface installs one
// that asks the desktop; until then (and in tests) one primary monitor of
// 1920 x 1080 pixels at 96 DPI stands in. Implementations may be called from
// any thread.
class DisplayService {
public:
    virtual ~DisplayService() = default;
    virtual std::vector<std::shared_ptr<MonitorInfo>> monitors() = 0;
    // The DPI of the monitor (when not 0), else of the monitor that shows
    // the window (when not null), else of the primary monitor.
    virtual Dpi windowDpi(const void* window, uintptr_t monitor) = 0;
    // The handle of the monitor that shows the window (null: the primary
    // monitor); 0 when there is none.
    virtual uintptr_t windowMonitor(const void* window);
    // Where the mouse pointer is, in desktop pixels; nothing when unknown.
    virtual std::optional<Point> cursorPos() { return std::nullopt; }
    // The rectangle of the desktop's active window (another program's, as
    // often as not), in desktop pixels; nothing when none is known.
    virtual std::optional<Rect> activeWindowRect() { return std::nullopt; }
};

// Installs the service; null brings back the stand-in. Any thread.
void setDisplayService(std::shared_ptr<DisplayService> service);

// The monitors attached to the desktop. Any thread.
std::vector<std::shared_ptr<MonitorInfo>> enumMonitors();

// See DisplayService::windowDpi. Any thread.
Dpi windowDpi(const void* window = nullptr, uintptr_t monitor = 0);

// See DisplayService::windowMonitor. Any thread.
uintptr_t windowMonitor(const void* window);

// See DisplayService::cursorPos. Any thread.
std::optional<Point> cursorPos();

// See DisplayService::activeWindowRect. Any thread.
std::optional<Rect> activeWindowRect();

} // namespace Sys
