#pragma once

#include "core/SysDisplay.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace qvtest {

// One monitor as the display service reports it.
inline std::shared_ptr<Sys::MonitorInfo> monitor(uintptr_t handle, Sys::Rect rect, Sys::Rect work,
                                                 uint32_t dpi, bool primary) {
    auto info = std::make_shared<Sys::MonitorInfo>();
    info->handle = handle;
    info->monitor = rect;
    info->work = work;
    info->dpi = {dpi, dpi};
    info->primary = primary;
    return info;
}

// Monitors the test sets up, handed out by the display service (installed
// with Sys::setDisplayService). Every window is at the default DPI.
class Screens : public Sys::DisplayService {
public:
    std::vector<std::shared_ptr<Sys::MonitorInfo>> list;
    std::vector<std::shared_ptr<Sys::MonitorInfo>> monitors() override { return list; }
    Sys::Dpi windowDpi(const void*, uintptr_t) override { return {}; }
};

} // namespace qvtest
