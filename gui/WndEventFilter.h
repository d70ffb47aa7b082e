#pragma once

#include <QObject>

#include <cstdint>

class QKeyEvent;
class QMouseEvent;
class QWidget;

namespace Gui {

// The one event filter installed on every bound widget: turns Qt events into
// the program's messages (WndMessage.h) and hands them to
// Wnd::staticWndProc. An event whose messages were passed on to default
// processing continues to the widget. User-interface thread only.
class WndEventFilter : public QObject {
public:
    static WndEventFilter& instance();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Marks the message being dispatched to the widget for default
    // processing; false when no Qt event of that message is in flight.
    static bool passOn(const QWidget* widget, uint32_t message);
    // The paint event's rectangle while a Paint message of the widget is
    // dispatched, null otherwise.
    static const QRect* paintRect(const QWidget* widget);

    // Event type of messages queued by Wnd::postMessage.
    static int postedEventType();

private:
    // True when the handlers consumed the event.
    bool dispatch(QWidget* widget, QEvent* event, uint32_t message, uintptr_t wParam,
                  intptr_t lParam);
    bool keyPress(QWidget* widget, QKeyEvent* event);
    bool mouse(QWidget* widget, QMouseEvent* event);
    bool translate(QWidget* widget, QEvent* event);
    void watchScreens(QWidget* widget);
};

} // namespace Gui
