#include "gui/Monitors.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

constexpr std::wstring_view setPrefix = L"monitors(";
constexpr std::wstring_view setSuffix = L")";
constexpr std::wstring_view dpiSuffix = L"dpi";

int32_t clamp32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

bool isSignedDecimal(const wstr& text) {
    std::size_t digits = !text.empty() && (text[0] == L'-' || text[0] == L'+') ? 1 : 0;
    return text.size() > digits && wstr::isUnsigned(text.c_str() + digits);
}

// A signed decimal strictly inside the 32-bit range.
bool parseCoordinate(const wstr& text, int32_t& value) {
    if (!isSignedDecimal(text))
        return false;
    int64_t number = wstr::toInt64(text, 10);
    if (errno != 0 || number <= INT32_MIN || number >= INT32_MAX)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

// An unsigned decimal below 2147483647.
bool parseExtent(std::wstring_view text, uint32_t& value) {
    wstr digits(text);
    if (digits.empty() || !wstr::isUnsigned(digits))
        return false;
    uint64_t number = wstr::toUInt64(digits);
    if (errno != 0 || number >= INT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

int64_t overlapArea(const Sys::Rect& a, const Sys::Rect& b) {
    int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The squared distance between two rectangles that do not overlap.
uint64_t squaredGap(const Sys::Rect& a, const Sys::Rect& b) {
    int64_t dx = std::max<int64_t>({0, int64_t(b.left) - a.right, int64_t(a.left) - b.right});
    int64_t dy = std::max<int64_t>({0, int64_t(b.top) - a.bottom, int64_t(a.top) - b.bottom});
    return uint64_t(dx) * uint64_t(dx) + uint64_t(dy) * uint64_t(dy);
}

// Shifts the span [low, high) into [min, max), then cuts what still sticks out.
void clampSpan(int32_t& low, int32_t& high, int32_t min, int32_t max) {
    int64_t shift = 0;
    if (low < min)
        shift = int64_t(min) - low;
    else if (high > max)
        shift = int64_t(max) - high;
    low = clamp32(low + shift);
    high = clamp32(high + shift);
    low = std::max(low, min);
    high = std::min(high, max);
}

} // namespace

const wstr& Monitors::Monitor::describe() {
    if (description_.empty()) {
        const Sys::Rect& r = info->monitor;
        wstr::format(description_, L"{},{},{},{},{}dpi", r.left, r.top, int64_t(r.right) - r.left,
                     int64_t(r.bottom) - r.top, info->dpi.x);
    }
    return description_;
}

void Monitors::describe() {
    std::vector<MonitorPtr> monitors;
    for (const auto& info : Sys::enumMonitors())
        monitors.push_back(std::make_shared<Monitor>(info, monitors.size()));
    wstr description(setPrefix);
    for (const MonitorPtr& monitor : monitors) {
        if (monitor->index > 0)
            description += L'|';
        description += monitor->describe();
    }
    description += setSuffix;
    monitors_ = std::move(monitors);
    description_ = std::move(description);
}

Monitors::MonitorPtr Monitors::primary() const {
    for (const MonitorPtr& monitor : monitors_)
        if (monitor->info->primary)
            return monitor;
    return monitors_.empty() ? nullptr : monitors_.front();
}

Monitors::MonitorPtr Monitors::findByHandle(uintptr_t handle) const {
    for (const MonitorPtr& monitor : monitors_)
        if (monitor->info->handle == handle)
            return monitor;
    return nullptr;
}

Monitors::MonitorPtr Monitors::fromHandle(uintptr_t handle) {
    if (handle == 0)
        return nullptr;
    if (MonitorPtr found = findByHandle(handle))
        return found;
    describe();
    MonitorPtr found = findByHandle(handle);
    return found ? found : primary();
}

Monitors::MonitorPtr Monitors::fromRect(const Sys::Rect& rect) {
    std::shared_ptr<Sys::MonitorInfo> system = nearest(Sys::enumMonitors(), rect);
    return system ? fromHandle(system->handle) : nullptr;
}

Monitors::MonitorPtr Monitors::fromWindow(const QWidget* window) {
    return fromHandle(Sys::windowMonitor(window));
}

std::shared_ptr<Sys::MonitorInfo>
Monitors::nearest(const std::vector<std::shared_ptr<Sys::MonitorInfo>>& monitors,
                  const Sys::Rect& rect) {
    std::shared_ptr<Sys::MonitorInfo> best;
    int64_t bestArea = 0;
    for (const auto& monitor : monitors) {
        int64_t area = overlapArea(monitor->monitor, rect);
        if (area > bestArea) {
            best = monitor;
            bestArea = area;
        }
    }
    if (best)
        return best;
    uint64_t bestGap = UINT64_MAX;
    for (const auto& monitor : monitors) {
        uint64_t gap = squaredGap(monitor->monitor, rect);
        if (!best || gap < bestGap) {
            best = monitor;
            bestGap = gap;
        }
    }
    return best;
}

bool Monitors::fitRectToWorkArea(Sys::Rect& rect) {
    std::shared_ptr<Sys::MonitorInfo> monitor = nearest(Sys::enumMonitors(), rect);
    if (!monitor)
        return false;
    const Sys::Rect& work = monitor->work;
    clampSpan(rect.left, rect.right, work.left, work.right);
    clampSpan(rect.top, rect.bottom, work.top, work.bottom);
    return true;
}

bool Monitors::parseMonitor(std::wstring_view text, Record& record) {
    std::vector<wstr> items = wstr::split(text, L",", true, false);
    if (items.size() < 5)
        return false;
    for (wstr& item : items)
        wstr::trimRight(wstr::trimLeft(item));
    uint32_t width = 0;
    uint32_t height = 0;
    if (!parseCoordinate(items[0], record.left) || !parseCoordinate(items[1], record.top) ||
        !parseExtent(items[2], width) || !parseExtent(items[3], height))
        return false;
    // A hand-edited text may place a monitor beyond the coordinate range.
    record.right = clamp32(int64_t(record.left) + width);
    record.bottom = clamp32(int64_t(record.top) + height);
    auto dpiItem = std::find_if(items.begin() + 4, items.end(),
                                [](const wstr& item) { return item.ends_with(dpiSuffix); });
    if (dpiItem == items.end())
        return false;
    std::wstring_view number = std::wstring_view(*dpiItem);
    number.remove_suffix(dpiSuffix.size());
    return parseExtent(number, record.dpi) && record.dpi != 0;
}

bool Monitors::parseDescription(std::wstring_view text, std::vector<Record>& records) {
    records.clear();
    if (text.size() < setPrefix.size() + setSuffix.size() ||
        !wstr::startsWith(text, setPrefix, false) ||
        !wstr::equals(text.substr(text.size() - setSuffix.size()), setSuffix, false))
        return false;
    std::wstring_view inside =
        text.substr(setPrefix.size(), text.size() - setPrefix.size() - setSuffix.size());
    std::vector<wstr> items = wstr::split(inside, L"|", true, false);
    if (items.empty())
        return false;
    for (const wstr& item : items) {
        Record record;
        if (!parseMonitor(item, record))
            return false;
        records.push_back(record);
    }
    return true;
}

int Monitors::compareDescriptions(std::wstring_view a, std::wstring_view b) {
    std::vector<Record> first;
    std::vector<Record> second;
    if (!parseDescription(a, first) || !parseDescription(b, second))
        return -1;
    return first == second ? 1 : 0;
}

int64_t Monitors::indexByLargestOverlap(std::wstring_view description, const Sys::Rect& rect) {
    std::vector<Record> records;
    if (!parseDescription(description, records))
        return -1;
    int64_t best = -1;
    uint64_t bestScore = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        int64_t w = int64_t(std::min(r.right, rect.right)) - std::max(r.left, rect.left);
        int64_t h = int64_t(std::min(r.bottom, rect.bottom)) - std::max(r.top, rect.top);
        uint64_t score = w > 0 && h >= 1 ? uint64_t(w - 1) * uint64_t(h - 1) : 0;
        if (score > bestScore) {
            best = static_cast<int64_t>(i);
            bestScore = score;
        }
    }
    return best;
}
