#include "gui/WndEventFilter.h"

#include "gui/VirtualKey.h"
#include "gui/Wnd.h"
#include "gui/WndMessage.h"
#include "gui/WndPostedEvent.h"

#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QVariant>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include "platform/Immortal.h"

namespace Gui {
namespace {

// The Qt event whose message is being dispatched, innermost first.
struct InFlight {
    const QWidget* widget;
    QEvent* event;
    uint32_t message;
    bool passOn;
    InFlight* outer;
};
InFlight* inFlight = nullptr;

InFlight* find(const QWidget* widget, uint32_t message) {
    for (InFlight* f = inFlight; f; f = f->outer)
        if (f->widget == widget && f->message == message)
            return f;
    return nullptr;
}

uintptr_t buttonFlags(Qt::MouseButtons buttons) {
    uintptr_t flags = 0;
    if (buttons & Qt::LeftButton)
        flags |= ButtonLeft;
    if (buttons & Qt::RightButton)
        flags |= ButtonRight;
    if (buttons & Qt::MiddleButton)
        flags |= ButtonMiddle;
    return flags;
}

uint32_t mouseMessage(QEvent::Type type, Qt::MouseButton button) {
    const bool down = type != QEvent::MouseButtonRelease;
    switch (button) {
    case Qt::LeftButton:
        return type == QEvent::MouseButtonDblClick ? LButtonDblClk : down ? LButtonDown : LButtonUp;
    case Qt::RightButton:
        return down ? RButtonDown : RButtonUp;
    case Qt::MiddleButton:
        return down ? MButtonDown : MButtonUp;
    default:
        return 0;
    }
}

uint32_t activateState(QWidget* widget, QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate)
        return ActivateInactive;
    return widget->underMouse() ? ActivateClick : ActivateActive;
}

uintptr_t packDpi(const QScreen* screen) {
    auto x = static_cast<uintptr_t>(screen->logicalDotsPerInchX() + 0.5);
    auto y = static_cast<uintptr_t>(screen->logicalDotsPerInchY() + 0.5);
    return (y << 16) | x;
}

// The frame grown or shrunk from the old DPI to the new one, its top-left
// kept; an unknown old DPI keeps the size.
QRect scaledFrame(const QRect& frame, uintptr_t oldDpi, uintptr_t newDpi) {
    const qint64 oldX = oldDpi & 0xFFFF;
    const qint64 oldY = oldDpi >> 16;
    if (oldX == 0 || oldY == 0)
        return frame;
    const qint64 width = (frame.width() * qint64(newDpi & 0xFFFF) + oldX - 1) / oldX;
    const qint64 height = (frame.height() * qint64(newDpi >> 16) + oldY - 1) / oldY;
    return {frame.topLeft(), QSize(int(width), int(height))};
}

} // namespace

WndEventFilter& WndEventFilter::instance() {
    static Platform::Immortal<WndEventFilter> filter;
    return filter.get();
}

int WndEventFilter::postedEventType() {
    static const int type = QEvent::registerEventType();
    return type;
}

bool WndEventFilter::passOn(const QWidget* widget, uint32_t message) {
    InFlight* f = find(widget, message);
    if (f)
        f->passOn = true;
    return f != nullptr;
}

const QRect* WndEventFilter::paintRect(const QWidget* widget) {
    InFlight* f = find(widget, Paint);
    return f ? &static_cast<QPaintEvent*>(f->event)->rect() : nullptr;
}

bool WndEventFilter::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType() || !Wnd::fromHandle(watched))
        return false;
    return translate(static_cast<QWidget*>(watched), event);
}

bool WndEventFilter::dispatch(QWidget* widget, QEvent* event, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) {
    InFlight frame{widget, event, message, false, inFlight};
    inFlight = &frame;
    Wnd::staticWndProc(widget, message, wParam, lParam);
    inFlight = frame.outer;
    return !frame.passOn;
}

bool WndEventFilter::translate(QWidget* widget, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        return keyPress(widget, static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        return dispatch(widget, event, KeyUp, virtualKeyFromQt(key->key()),
                        static_cast<intptr_t>(modifierFlags(key->modifiers())));
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return mouse(widget, static_cast<QMouseEvent*>(event));
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        return dispatch(widget, event, MouseWheel, static_cast<uintptr_t>(wheel->angleDelta().y()),
                        packPoint(wheel->position().toPoint()));
    }
    case QEvent::Leave:
        return dispatch(widget, event, MouseLeave, 0, 0);
    case QEvent::Enter:
        return dispatch(widget, event, SetCursor, 0, 0);
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        return widget->isWindow() &&
               dispatch(widget, event, Activate, activateState(widget, event), 0);
    case QEvent::Close: {
        bool consumed = dispatch(widget, event, Close, 0, 0);
        if (consumed)
            event->ignore();
        return consumed;
    }
    case QEvent::Paint:
        return dispatch(widget, event, Paint, 0,
                        reinterpret_cast<intptr_t>(&static_cast<QPaintEvent*>(event)->rect()));
    case QEvent::Resize:
        return dispatch(widget, event, Size, 0, packSize(widget->size()));
    case QEvent::Move:
        // The window manager moves windows without resizing them; the
        // widget and its other watchers still see the move.
        if (widget->isWindow())
            dispatch(widget, event, Move, 0, packPoint(widget->frameGeometry().topLeft()));
        return false;
    case QEvent::Timer:
        return dispatch(widget, event, Timer,
                        static_cast<uintptr_t>(static_cast<QTimerEvent*>(event)->timerId()), 0);
    case QEvent::Drop:
        return dispatch(widget, event, Drop, 0, reinterpret_cast<intptr_t>(event));
    case QEvent::Show:
        if (widget->isWindow())
            watchScreens(widget);
        return false;
    default:
        break;
    }
    if (event->type() == postedEventType()) {
        auto* posted = static_cast<WndPostedEvent*>(event);
        Wnd::staticWndProc(widget, posted->message, posted->wParam, posted->lParam);
        return true;
    }
    return false;
}

// A key press is a KeyDown message, then one Char message per character it
// types; the widget sees the key when every one of them was passed on.
bool WndEventFilter::keyPress(QWidget* widget, QKeyEvent* event) {
    const auto modifiers = static_cast<intptr_t>(modifierFlags(event->modifiers()));
    if (dispatch(widget, event, KeyDown, virtualKeyFromQt(event->key()), modifiers))
        return true;
    for (char32_t ch : event->text().toUcs4())
        if (dispatch(widget, event, Char, ch, modifiers))
            return true;
    return false;
}

bool WndEventFilter::mouse(QWidget* widget, QMouseEvent* event) {
    const uintptr_t flags = modifierFlags(event->modifiers()) | buttonFlags(event->buttons());
    const uint32_t message = event->type() == QEvent::MouseMove
                                 ? MouseMove
                                 : mouseMessage(event->type(), event->button());
    if (message == 0)
        return false;
    return dispatch(widget, event, message, flags, packPoint(event->position().toPoint()));
}

// Windows learn of a move to a screen of another DPI and of changed screens.
void WndEventFilter::watchScreens(QWidget* widget) {
    QWindow* window = widget->windowHandle();
    if (!window || window->property("qvScreensWatched").toBool())
        return;
    window->setProperty("qvScreensWatched", true);
    window->setProperty("qvDpi",
                        QVariant::fromValue(window->screen() ? packDpi(window->screen()) : 0));
    QPointer<QWidget> guard(widget);
    QObject::connect(window, &QWindow::screenChanged, widget, [guard, window](QScreen* screen) {
        if (!guard || !screen)
            return;
        const uintptr_t old = window->property("qvDpi").value<uintptr_t>();
        const uintptr_t dpi = packDpi(screen);
        window->setProperty("qvDpi", QVariant::fromValue(dpi));
        if (old == dpi)
            return;
        QRect suggested = scaledFrame(guard->frameGeometry(), old, dpi);
        Wnd::staticWndProc(guard, DpiChanged, dpi, reinterpret_cast<intptr_t>(&suggested));
    });
    auto displayChanged = [guard](QScreen*) {
        if (!guard)
            return;
        QScreen* primary = QGuiApplication::primaryScreen();
        QSize size = primary ? primary->size() : QSize();
        Wnd::staticWndProc(guard, DisplayChange, primary ? primary->depth() : 0,
                           (intptr_t(size.height()) << 16) | size.width());
    };
    QObject::connect(qApp, &QGuiApplication::screenAdded, widget, displayChanged);
    QObject::connect(qApp, &QGuiApplication::screenRemoved, widget, displayChanged);
}

} // namespace Gui
