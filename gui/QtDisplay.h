#pragma once

#include <memory>

#include "core/SysDisplay.h"
#include "gui/UiCall.h"

namespace Gui {

// The screens as Qt sees them: one monitor per QScreen (its handle is the
// screen's address), the work area its available geometry, the DPI its
// logical DPI, the pointer position from QCursor and the active window from
// the X server. Asked on the
// user-interface thread; callers on other threads wait for it (bounded).
class QtDisplay : public Sys::DisplayService {
public:
    explicit QtDisplay(std::shared_ptr<UiCall> ui) : ui_(std::move(ui)) {}

    // Any thread.
    std::vector<std::shared_ptr<Sys::MonitorInfo>> monitors() override;
    // window is a QWidget or null. Any thread.
    Sys::Dpi windowDpi(const void* window, uintptr_t monitor) override;
    // window is a QWidget or null. Any thread.
    uintptr_t windowMonitor(const void* window) override;
    // Any thread.
    std::optional<Sys::Point> cursorPos() override;
    // The window the X window manager names active (_NET_ACTIVE_WINDOW).
    // Any thread.
    std::optional<Sys::Rect> activeWindowRect() override;

private:
    std::shared_ptr<UiCall> ui_;
};

} // namespace Gui
