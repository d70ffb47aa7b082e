#include "core/SysDisplay.h"

#include <mutex>

namespace Sys {
namespace {

class SingleMonitor : public DisplayService {
public:
    std::vector<std::shared_ptr<MonitorInfo>> monitors() override {
        auto info = std::make_shared<MonitorInfo>();
        info->handle = 1;
        info->monitor = {0, 0, 1920, 1080};
        info->work = info->monitor;
        info->deviceName = L"DISPLAY1";
        info->primary = true;
        return {info};
    }
    Dpi windowDpi(const void*, uintptr_t) override { return Dpi(); }
};

struct Installed {
    std::mutex mutex;
    std::shared_ptr<DisplayService> service = std::make_shared<SingleMonitor>();
};

Installed& installed() {
    static Installed instance;
    return instance;
}

std::shared_ptr<DisplayService> current() {
    std::lock_guard lock(installed().mutex);
    return installed().service;
}

} // namespace

uintptr_t DisplayService::windowMonitor(const void*) {
    for (const auto& monitor : monitors())
        if (monitor->primary)
            return monitor->handle;
    return 0;
}

void setDisplayService(std::shared_ptr<DisplayService> service) {
    if (!service)
        service = std::make_shared<SingleMonitor>();
    std::lock_guard lock(installed().mutex);
    installed().service = std::move(service);
}

std::vector<std::shared_ptr<MonitorInfo>> enumMonitors() {
    return current()->monitors();
}

Dpi windowDpi(const void* window, uintptr_t monitor) {
    return current()->windowDpi(window, monitor);
}

uintptr_t windowMonitor(const void* window) {
    return current()->windowMonitor(window);
}

std::optional<Point> cursorPos() {
    return current()->cursorPos();
}

std::optional<Rect> activeWindowRect() {
    return current()->activeWindowRect();
}

} // namespace Sys
