#include "app/ConfigValues.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

namespace {

using MonitorList = std::vector<std::shared_ptr<Sys::MonitorInfo>>;

wstr trimmedLower(const wstr& text) {
    wstr copy = wstr::trimCopy(text);
    return wstr::toLower(copy);
}

int32_t wordIndex(const wstr& text, std::initializer_list<const wchar_t*> words) {
    wstr word = trimmedLower(text);
    int32_t index = 0;
    for (const wchar_t* candidate : words) {
        if (word == candidate)
            return index;
        ++index;
    }
    return -1;
}

int64_t overlapArea(const Sys::Rect& a, const Sys::Rect& b) {
    int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

std::shared_ptr<Sys::MonitorInfo> primaryOf(const MonitorList& monitors) {
    for (const auto& monitor : monitors)
        if (monitor->primary)
            return monitor;
    return monitors.empty() ? nullptr : monitors.front();
}

// The monitor the window overlaps most, else the primary one.
std::shared_ptr<Sys::MonitorInfo> monitorOfWindow(const MonitorList& monitors,
                                                  const std::optional<Sys::Rect>& window) {
    std::shared_ptr<Sys::MonitorInfo> best;
    int64_t bestArea = 0;
    for (const auto& monitor : monitors) {
        int64_t area = window ? overlapArea(monitor->monitor, *window) : 0;
        if (area > bestArea) {
            best = monitor;
            bestArea = area;
        }
    }
    return best ? best : primaryOf(monitors);
}

// The monitor under the point, else the primary one.
std::shared_ptr<Sys::MonitorInfo> monitorOfPoint(const MonitorList& monitors, ScreenPoint point) {
    for (const auto& monitor : monitors) {
        const Sys::Rect& r = monitor->monitor;
        if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
            return monitor;
    }
    return primaryOf(monitors);
}

} // namespace

int32_t parseFocusLostMode(const wstr& text) {
    switch (wordIndex(text, {L"no", L"immediate", L"delayed", L"yes"})) {
    case 0:
        return FocusLostNo;
    case 1:
        return FocusLostImmediate;
    case 2:
    case 3:
        return FocusLostDelayed;
    default:
        return 3;
    }
}

int32_t parseRetainLastSearch(const wstr& text) {
    int32_t index = wordIndex(text, {L"no", L"selected", L"unselected"});
    if (index >= 0)
        return index;
    int asBool = parseBool(trimmedLower(text));
    return asBool >= 0 ? asBool : 3;
}

int32_t parseFlashOn(const wstr& text) {
    switch (wordIndex(text, {L"never", L"info", L"warn", L"err"})) {
    case 0:
        return FlashNever;
    case 1:
        return FlashInfo;
    case 2:
        return FlashWarn;
    case 3:
        return FlashErr;
    default:
        return 1001;
    }
}

wstr focusLostModeToString(int32_t mode) {
    static const wchar_t* const words[] = {L"no", L"immediate", L"delayed"};
    return mode >= 0 && mode < 3 ? words[mode] : L"";
}

wstr retainLastSearchToString(int32_t mode) {
    static const wchar_t* const words[] = {L"no", L"selected", L"unselected"};
    return mode >= 0 && mode < 3 ? words[mode] : L"";
}

wstr flashOnToString(int32_t flashOn) {
    switch (flashOn) {
    case FlashInfo:
        return L"info";
    case FlashWarn:
        return L"warning";
    case FlashErr:
        return L"error";
    case FlashNever:
        return L"never";
    default:
        return L"";
    }
}

bool parseGeometrySetting(const wstr& text, GeometrySetting& setting) {
    static const std::initializer_list<std::pair<const wchar_t*, int32_t>> words = {
        {L"auto", GeometrySetting::Auto},
        {L"persistent", GeometrySetting::Persistent},
        {L"active_monitor", GeometrySetting::ActiveMonitor},
        {L"mouse_monitor", GeometrySetting::MouseMonitor},
        {L"mouse_pos", GeometrySetting::MousePos},
    };
    setting = {GeometrySetting::Invalid, 0};
    wstr word = trimmedLower(text);
    for (const auto& [candidate, mode] : words) {
        if (word == candidate) {
            setting.mode = mode;
            return true;
        }
    }
    static const std::wstring_view prefix = L"monitor_";
    if (!word.starts_with(prefix) || word.size() == prefix.size() ||
        !wstr::isUnsigned(word.c_str() + prefix.size()))
        return false;
    uint64_t number = wstr::toUInt64(word, prefix.size());
    if (errno != 0 || number > UINT32_MAX)
        return false;
    setting = {GeometrySetting::Auto, static_cast<uint32_t>(number)};
    return true;
}

wstr geometryToString(const GeometrySetting& setting) {
    wstr text;
    switch (setting.mode) {
    case GeometrySetting::Auto:
        return setting.monitor ? wstr::format(text, L"monitor_{}", setting.monitor) : L"auto";
    case GeometrySetting::ActiveMonitor:
        return L"active_monitor";
    case GeometrySetting::MouseMonitor:
        return L"mouse_monitor";
    case GeometrySetting::MousePos:
        return L"mouse_pos";
    case GeometrySetting::Persistent:
        return L"persistent";
    default:
        return L"auto";
    }
}

GeometryWorkArea geometryWorkArea(const GeometrySetting& setting, std::optional<ScreenPoint> cursor,
                                  std::optional<Sys::Rect> foregroundWindow) {
    GeometryWorkArea result;
    MonitorList monitors = Sys::enumMonitors();
    if (cursor && setting.mode != GeometrySetting::Invalid) {
        std::shared_ptr<Sys::MonitorInfo> monitor;
        switch (setting.mode) {
        case GeometrySetting::Auto:
            if (setting.monitor == 0)
                result.mode = GeometrySetting::Auto;
            else if (setting.monitor <= monitors.size())
                return {monitors[setting.monitor - 1]->work, GeometrySetting::Auto, std::nullopt};
            break;
        case GeometrySetting::ActiveMonitor:
            monitor = monitorOfWindow(monitors, foregroundWindow);
            break;
        case GeometrySetting::MouseMonitor:
        case GeometrySetting::MousePos:
            monitor = monitorOfPoint(monitors, *cursor);
            break;
        default:
            result.mode = setting.mode;
            break;
        }
        if (monitor)
            return {monitor->work, setting.mode, std::nullopt};
    }
    std::shared_ptr<Sys::MonitorInfo> primary = primaryOf(monitors);
    result.area = primary ? primary->work : Sys::Rect{0, 0, 800, 600};
    return result;
}

GeometryWorkArea geometryWorkArea(const GeometrySetting& setting) {
    std::optional<ScreenPoint> cursor;
    if (auto point = Sys::cursorPos())
        cursor = ScreenPoint{point->x, point->y};
    std::optional<Sys::Rect> active;
    if (setting.mode == GeometrySetting::ActiveMonitor)
        active = Sys::activeWindowRect();
    GeometryWorkArea result = geometryWorkArea(setting, cursor, active);
    result.cursor = cursor;
    return result;
}
