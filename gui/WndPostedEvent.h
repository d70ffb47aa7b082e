#pragma once

#include <QEvent>

#include <cstdint>

namespace Gui {

// A message queued for a window (Wnd::postMessage).
class WndPostedEvent : public QEvent {
public:
    WndPostedEvent(int type, uint32_t message, uintptr_t wParam, intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(type)), message(message), wParam(wParam),
          lParam(lParam) {}

    const uint32_t message;
    const uintptr_t wParam;
    const intptr_t lParam;
};

} // namespace Gui
