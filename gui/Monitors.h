#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/SysDisplay.h"
#include "core/Wstr.h"

class QWidget;

// The current set of display monitors and the text that describes the whole
// set: "monitors(" followed by "left,top,width,height,<dpi>dpi" per monitor in
// enumeration order, joined by "|", and ")". The state file keys window
// geometry by that text. User-interface thread only; the static functions
// work on texts alone and may be called from any thread.
class Monitors {
public:
    // One monitor of the set. Objects handed out stay valid while held, also
    // after the set is rebuilt.
    class Monitor {
    public:
        Monitor(std::shared_ptr<const Sys::MonitorInfo> info, std::size_t index)
            : info(std::move(info)), index(index) {}

        // "left,top,width,height,<dpi>dpi", built on first use.
        const wstr& describe();

        const std::shared_ptr<const Sys::MonitorInfo> info;
        const std::size_t index;

    private:
        wstr description_;
    };
    using MonitorPtr = std::shared_ptr<Monitor>;

    // A monitor read back from a description.
    struct Record {
        int32_t left = 0;
        int32_t top = 0;
        int32_t right = 0;
        int32_t bottom = 0;
        uint32_t dpi = 0;

        bool operator==(const Record&) const = default;
    };

    // Enumerates the monitors again (Sys::enumMonitors) and rebuilds the
    // description.
    void describe();

    const wstr& description() const { return description_; }
    const std::vector<MonitorPtr>& monitors() const { return monitors_; }

    // The first monitor flagged primary, else the first, else null.
    MonitorPtr primary() const;
    // The system's monitor nearest to the rectangle, as an entry of this set;
    // when the set lacks it, the set is described again and searched once
    // more, then the primary monitor stands in. Null only when the system
    // has no monitor.
    MonitorPtr fromRect(const Sys::Rect& rect);
    // The same for the monitor that shows the window (null: the primary
    // monitor of the system).
    MonitorPtr fromWindow(const QWidget* window);

    // Moves the rectangle into the work area of its nearest monitor and cuts
    // it to that area; false, leaving the rectangle alone, when there is no
    // monitor.
    static bool fitRectToWorkArea(Sys::Rect& rect);

    // The system monitor nearest to the rectangle: the one it overlaps most,
    // else the one at the shortest distance; null for an empty list.
    static std::shared_ptr<Sys::MonitorInfo>
    nearest(const std::vector<std::shared_ptr<Sys::MonitorInfo>>& monitors, const Sys::Rect& rect);

    // Parsing never throws: a malformed text gives false (records possibly
    // partial) or -1.
    static bool parseMonitor(std::wstring_view text, Record& record);
    static bool parseDescription(std::wstring_view text, std::vector<Record>& records);
    // 1 for the same monitors in the same order, 0 for different sets, -1
    // when either text does not parse.
    static int compareDescriptions(std::wstring_view a, std::wstring_view b);
    // The index of the described monitor that the rectangle overlaps most
    // (the area counted with one pixel less each way; the first wins a tie),
    // -1 when the text does not parse or nothing overlaps.
    static int64_t indexByLargestOverlap(std::wstring_view description, const Sys::Rect& rect);

private:
    MonitorPtr findByHandle(uintptr_t handle) const;
    // The entry of the system monitor, describing the set again once when
    // it lacks it; null for no system monitor (handle 0).
    MonitorPtr fromHandle(uintptr_t handle);

    wstr description_;
    std::vector<MonitorPtr> monitors_;
};
