#pragma once

#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>

#include "core/SysDisplay.h"
#include "core/Wstr.h"

class QPainter;

namespace Gui {

// What a window was made by: the program's own module unless a plugin
// library creates windows of its own. Windows classes are registered per
// instance (WndClass.h).
using Instance = const void*;
Instance ownInstance();

// One window or control of the program, bound to one QWidget (its handle).
// Qt events reach the object as the program's messages (WndMessage.h)
// through one event filter and staticWndProc; code and tests send the same
// messages with sendMessage. "Default processing" is the widget's own
// handling of the Qt event the message came from.
//
// User-interface thread only; nothing is locked.
class Wnd {
public:
    // Windows that own controls get their controls' messages first and pass
    // on what they do not handle to the control's wndProc.
    class ParentListener {
    public:
        virtual ~ParentListener() = default;
        virtual intptr_t onChildMessage(Wnd& child, uint32_t message, uintptr_t wParam,
                                        intptr_t lParam) = 0;
    };

    // The two style words a window keeps (window style and extended style).
    enum StyleIndex { StyleWord = 0, ExStyleWord = 1 };

    explicit Wnd(Instance instance = nullptr);
    Wnd(const Wnd&) = delete;
    Wnd& operator=(const Wnd&) = delete;
    // Destroys a still-bound window; a dialog is ended with result 1.
    virtual ~Wnd();

    // Binds the widget (null unbinds); the previous widget is released.
    virtual void attach(QWidget* handle, bool isDialog);
    virtual QWidget* hwnd() const { return handle_; }
    virtual bool isDialog() const { return isDialog_; }
    virtual bool exists() const { return !handle_.isNull(); }
    virtual Instance instance() const { return instance_; }
    // A dialog is ended (QDialog::done) and stays bound; a window is
    // destroyed and unbound.
    virtual void close(intptr_t result);
    virtual void destroy(intptr_t result) { close(result); }
    virtual bool isVisible() const;
    virtual bool isEnabled() const;
    // True when the window was disabled before.
    virtual bool enable(bool on);
    // The widget that had the focus.
    virtual QWidget* setFocus();
    virtual bool hasFocus() const;
    virtual bool setForeground();
    virtual bool setTopmost(bool on);
    // The window text up to its first NUL; empty without a window.
    virtual wstr getText() const;
    virtual int getTextLength() const;
    virtual int getTextLengthExact() const;
    virtual void setText(const wstr& text);
    virtual bool hasStyle(StyleIndex index, uint32_t bits) const;
    // Returns the previous value.
    virtual uint32_t setStyle(StyleIndex index, uint32_t bits, bool on);
    // Sets the window icon from the icon resource; the icon, null without a
    // window or resource.
    virtual QIcon setIcon(int resourceId);
    virtual void setFont(const QFont& font, bool redraw);
    virtual QFont getFont() const;
    virtual bool adjustRect(QRect& rect, bool hasMenu) const;
    // Schedules a repaint of the rectangle, of everything when null.
    virtual void invalidate(const QRect* rect, bool erase);
    // Paints what was invalidated now.
    virtual void update();
    virtual intptr_t sendMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Queues the message for the event loop; false without a window.
    virtual bool postMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // Presses and releases the key count times through the input sink
    // (InputSink.h) with the focus on this window.
    virtual bool sendKey(uint32_t virtualKey, uint32_t count);
    virtual bool isCursorInside(const QRect* rect);
    // The cursor in client coordinates; (0,0) and false without a window.
    virtual bool getCursorPos(QPoint& point);
    // The message handler: the base passes the message on to default
    // processing (a dialog answers 0, "not handled").
    virtual intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // What a handler returns for a handled message: a dialog keeps the result
    // (dialogResult) and answers 1.
    virtual intptr_t messageResult(intptr_t result);
    // Paints the update rectangle (the whole client area when null), with the
    // painter given or, inside a paint event, one on the widget.
    virtual void onPaint(QPainter* painter, const QRect* updateRect);
    virtual void paint(QPainter& painter, const QRect& rect);

    // Routes one message to its object (see the .cpp for the binding rules).
    static intptr_t staticWndProc(QWidget* handle, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam);
    // Binds a new widget to its object the way window creation does, through
    // NcCreate (InitDialog for a dialog) with the object as parameter.
    static void create(Wnd& object, QWidget* widget, bool isDialog = false);
    // The object bound to the widget, null when none.
    static Wnd* fromHandle(const QObject* handle);

    void setParentListener(ParentListener* listener) { parentListener_ = listener; }
    ParentListener* parentListener() const { return parentListener_; }
    // The result a dialog's handler stored with messageResult.
    intptr_t dialogResult() const { return dialogResult_; }

protected:
    // Default processing of the message: the widget's own handling of the Qt
    // event being dispatched (done after the handler returns), or for key and
    // character messages sent by code, a key event delivered to the widget.
    intptr_t defaultProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
    // Delivers a key or character message to the widget now, as the key event
    // it stands for; true when the widget accepted it.
    bool deliverKey(uint32_t message, uintptr_t wParam, intptr_t lParam);

private:
    friend class WndEventFilter;
    void unbind();
    static intptr_t dispatch(Wnd& object, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static void onHandleDestroyed(QObject* handle);

    QPointer<QWidget> handle_;
    const QObject* boundObject_ = nullptr;
    bool isDialog_ = false;
    Instance instance_;
    ParentListener* parentListener_ = nullptr;
    intptr_t dialogResult_ = 0;
    uint32_t styles_[2] = {0, 0};
    int dispatchDepth_ = 0;
};

// Grows a client rectangle to the frame rectangle of the window.
bool adjustWindowRect(const QWidget* handle, QRect& rect, bool hasMenu);

// Shifts the rectangle into the bounds, then cuts what still sticks out;
// true when it changed. moved and resized receive what happened when given.
bool clampRect(Sys::Rect& rect, const Sys::Rect& bounds, bool* moved = nullptr,
               bool* resized = nullptr);

// Clamps the rectangle into the work area of its nearest monitor (the
// primary one when none is near); true when it changed, false leaving it
// alone when there is no monitor.
bool fitRectToMonitor(Sys::Rect& rect, Sys::Rect* workArea = nullptr);

Sys::Rect toSysRect(const QRect& rect);
QRect toQRect(const Sys::Rect& rect);

} // namespace Gui
