#include "gui/Wnd.h"

#include "gui/InputSink.h"
#include "gui/Monitors.h"
#include "gui/QtText.h"
#include "gui/VirtualKey.h"
#include "gui/WndEventFilter.h"
#include "gui/WndMessage.h"
#include "gui/WndPostedEvent.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QKeyEvent>
#include <QPainter>

#include <unordered_map>

namespace Gui {
namespace {

// The object bound to each widget (the window's user data).
std::unordered_map<const QObject*, Wnd*>& bindings() {
    static std::unordered_map<const QObject*, Wnd*> map;
    return map;
}

bool deliverKeyEvent(QWidget* widget, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const auto modifiers = qtModifiers(static_cast<uintptr_t>(lParam));
    if (message == Char) {
        const auto ch = static_cast<char32_t>(wParam);
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, QString::fromUcs4(&ch, 1));
        static_cast<QObject*>(widget)->event(&event);
        return event.isAccepted();
    }
    QKeyEvent event(message == KeyDown ? QEvent::KeyPress : QEvent::KeyRelease,
                    qtKeyFromVirtualKey(static_cast<uint32_t>(wParam)), modifiers);
    static_cast<QObject*>(widget)->event(&event);
    return event.isAccepted();
}

} // namespace

Instance ownInstance() {
    static const char marker = 0;
    return &marker;
}

Wnd::Wnd(Instance instance) : instance_(instance ? instance : ownInstance()) {}

Wnd::~Wnd() {
    QWidget* widget = handle_;
    if (!widget)
        return;
    if (auto* dialog = isDialog_ ? qobject_cast<QDialog*>(widget) : nullptr)
        dialog->done(1);
    unbind();
    delete widget;
}

void Wnd::attach(QWidget* handle, bool isDialog) {
    unbind();
    handle_ = handle;
    isDialog_ = isDialog;
    if (!handle)
        return;
    boundObject_ = handle;
    bindings()[handle] = this;
    handle->installEventFilter(&WndEventFilter::instance());
    QObject::connect(handle, &QObject::destroyed, &WndEventFilter::instance(),
                     &Wnd::onHandleDestroyed);
}

void Wnd::unbind() {
    if (!boundObject_)
        return;
    auto found = bindings().find(boundObject_);
    if (found != bindings().end() && found->second == this)
        bindings().erase(found);
    if (handle_) {
        handle_->removeEventFilter(&WndEventFilter::instance());
        QObject::disconnect(handle_, &QObject::destroyed, &WndEventFilter::instance(), nullptr);
    }
    handle_ = nullptr;
    boundObject_ = nullptr;
}

// A widget destroyed by Qt (its parent went away): the object learns of it
// through NcDestroy and lives on unbound.
void Wnd::onHandleDestroyed(QObject* handle) {
    auto found = bindings().find(handle);
    if (found == bindings().end())
        return;
    Wnd& object = *found->second;
    dispatch(object, NcDestroy, 0, 0);
    object.unbind();
}

Wnd* Wnd::fromHandle(const QObject* handle) {
    auto found = bindings().find(handle);
    return found == bindings().end() ? nullptr : found->second;
}

void Wnd::create(Wnd& object, QWidget* widget, bool isDialog) {
    staticWndProc(widget, isDialog ? InitDialog : NcCreate, 0, reinterpret_cast<intptr_t>(&object));
}

intptr_t Wnd::staticWndProc(QWidget* handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Wnd* object = fromHandle(handle);
    if (!object && (message == NcCreate || message == InitDialog)) {
        object = reinterpret_cast<Wnd*>(lParam);
        if (!object || !handle)
            return 0;
        object->attach(handle, message == InitDialog);
    }
    if (!object)
        return 0;
    intptr_t result = dispatch(*object, message, wParam, lParam);
    // A dialog answers 0 for what it did not handle: the widget handles it.
    if (object->isDialog_ && result == 0)
        WndEventFilter::passOn(handle, message);
    if (message == NcDestroy)
        object->unbind();
    return result;
}

intptr_t Wnd::dispatch(Wnd& object, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ++object.dispatchDepth_;
    intptr_t result = object.parentListener_
                          ? object.parentListener_->onChildMessage(object, message, wParam, lParam)
                          : object.wndProc(message, wParam, lParam);
    --object.dispatchDepth_;
    return result;
}

intptr_t Wnd::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (isDialog_)
        return 0;
    return defaultProc(message, wParam, lParam);
}

intptr_t Wnd::defaultProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    QWidget* widget = handle_;
    if (!widget || WndEventFilter::passOn(widget, message))
        return 0;
    if (message == KeyDown || message == KeyUp || message == Char)
        return deliverKey(message, wParam, lParam) ? 1 : 0;
    return 0;
}

bool Wnd::deliverKey(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return exists() && deliverKeyEvent(handle_, message, wParam, lParam);
}

intptr_t Wnd::messageResult(intptr_t result) {
    if (!isDialog_)
        return result;
    dialogResult_ = result;
    return 1;
}

void Wnd::close(intptr_t result) {
    QWidget* widget = handle_;
    if (!widget)
        return;
    if (isDialog_) {
        if (auto* dialog = qobject_cast<QDialog*>(widget))
            dialog->done(static_cast<int>(result));
        return;
    }
    widget->hide();
    staticWndProc(widget, Destroy, 0, 0);
    staticWndProc(widget, NcDestroy, 0, 0);
    unbind();
    // The widget may be the one whose event is being handled right now.
    if (dispatchDepth_ > 0)
        widget->deleteLater();
    else
        delete widget;
}

bool Wnd::isVisible() const {
    return exists() && handle_->isVisible() && !handle_->window()->isMinimized();
}

bool Wnd::isEnabled() const {
    return exists() && handle_->isEnabled();
}

bool Wnd::enable(bool on) {
    if (!exists())
        return false;
    const bool wasDisabled = !handle_->isEnabled();
    handle_->setEnabled(on);
    return wasDisabled;
}

QWidget* Wnd::setFocus() {
    QWidget* previous = QApplication::focusWidget();
    if (exists())
        handle_->setFocus(Qt::OtherFocusReason);
    return previous;
}

bool Wnd::hasFocus() const {
    return exists() && QApplication::focusWidget() == handle_;
}

bool Wnd::setForeground() {
    if (!exists())
        return false;
    handle_->window()->raise();
    handle_->window()->activateWindow();
    return true;
}

bool Wnd::setTopmost(bool on) {
    if (!exists())
        return false;
    QWidget* window = handle_->window();
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the flags hides the window.
    if (visible)
        window->show();
    return true;
}

wstr Wnd::getText() const {
    if (!exists())
        return {};
    wstr text = toWstr(handle_->windowTitle());
    text.resize(std::wcslen(text.c_str()));
    return text;
}

// The whole title, also what follows a NUL.
int Wnd::getTextLength() const {
    return exists() ? static_cast<int>(toWstr(handle_->windowTitle()).size()) : 0;
}

int Wnd::getTextLengthExact() const {
    return static_cast<int>(getText().size());
}

void Wnd::setText(const wstr& text) {
    if (exists())
        handle_->setWindowTitle(toQString(text));
}

bool Wnd::hasStyle(StyleIndex index, uint32_t bits) const {
    return (styles_[index] & bits) != 0;
}

uint32_t Wnd::setStyle(StyleIndex index, uint32_t bits, bool on) {
    const uint32_t previous = styles_[index];
    styles_[index] = on ? previous | bits : previous & ~bits;
    return previous;
}

QIcon Wnd::setIcon(int resourceId) {
    if (!exists())
        return {};
    QIcon icon(QString(":/icons/%1.png").arg(resourceId));
    if (!icon.isNull())
        handle_->setWindowIcon(icon);
    return icon;
}

void Wnd::setFont(const QFont& font, bool redraw) {
    if (!exists())
        return;
    handle_->setFont(font);
    if (redraw)
        handle_->update();
}

QFont Wnd::getFont() const {
    return exists() ? handle_->font() : QFont();
}

bool Wnd::adjustRect(QRect& rect, bool hasMenu) const {
    return adjustWindowRect(handle_, rect, hasMenu);
}

void Wnd::invalidate(const QRect* rect, bool) {
    if (!exists())
        return;
    if (rect)
        handle_->update(*rect);
    else
        handle_->update();
}

void Wnd::update() {
    if (exists())
        handle_->repaint();
}

intptr_t Wnd::sendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!exists())
        return 0;
    intptr_t result = staticWndProc(handle_, message, wParam, lParam);
    if (!isDialog_)
        return result;
    return result ? dialogResult_ : 0;
}

bool Wnd::postMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (!exists())
        return false;
    QCoreApplication::postEvent(
        handle_, new WndPostedEvent(WndEventFilter::postedEventType(), message, wParam, lParam));
    return true;
}

bool Wnd::sendKey(uint32_t virtualKey, uint32_t count) {
    if (count == 0)
        return false;
    QPointer<QWidget> previous = hasFocus() ? nullptr : setFocus();
    bool sent = true;
    for (uint32_t i = 0; i < count && sent; ++i) {
        const uintptr_t tag = i + 1 == count ? SyntheticKeyTag : 0;
        sent = inputSink().send({{virtualKey, false, tag}, {virtualKey, true, tag}});
    }
    if (previous)
        previous->setFocus(Qt::OtherFocusReason);
    return sent;
}

bool Wnd::isCursorInside(const QRect* rect) {
    QPoint point;
    getCursorPos(point);
    if (rect)
        return rect->contains(point);
    return exists() && handle_->rect().contains(point);
}

bool Wnd::getCursorPos(QPoint& point) {
    point = {0, 0};
    if (!exists())
        return false;
    point = handle_->mapFromGlobal(QCursor::pos(handle_->screen()));
    return true;
}

void Wnd::onPaint(QPainter* painter, const QRect* updateRect) {
    if (!exists())
        return;
    const QRect* inEvent = WndEventFilter::paintRect(handle_);
    const QRect rect = updateRect ? *updateRect : inEvent ? *inEvent : handle_->rect();
    if (rect.isEmpty())
        return;
    if (painter) {
        paint(*painter, rect);
        return;
    }
    // A painter on the widget itself is only valid inside its paint event.
    if (!inEvent)
        return;
    QPainter own(handle_);
    paint(own, rect);
}

void Wnd::paint(QPainter&, const QRect&) {}

bool adjustWindowRect(const QWidget* handle, QRect& rect, bool) {
    if (!handle)
        return false;
    const QRect frame = handle->frameGeometry();
    const QRect client = handle->geometry();
    rect.adjust(frame.left() - client.left(), frame.top() - client.top(),
                frame.right() - client.right(), frame.bottom() - client.bottom());
    return true;
}

namespace {

// Moves [low, high) into [min, max), then cuts what still sticks out.
void clampSpan(int32_t& low, int32_t& high, int32_t min, int32_t max, bool& moved, bool& resized) {
    const int64_t length = int64_t(high) - low;
    if (low < min) {
        low = min;
        high = static_cast<int32_t>(std::min<int64_t>(int64_t(min) + length, INT32_MAX));
        moved = true;
    } else if (high > max) {
        high = max;
        low = static_cast<int32_t>(std::max<int64_t>(int64_t(max) - length, INT32_MIN));
        moved = true;
    }
    if (low < min) {
        low = min;
        moved = resized = true;
    }
    if (high > max) {
        high = max;
        resized = true;
    }
}

} // namespace

bool clampRect(Sys::Rect& rect, const Sys::Rect& bounds, bool* moved, bool* resized) {
    bool wasMoved = false;
    bool wasResized = false;
    clampSpan(rect.left, rect.right, bounds.left, bounds.right, wasMoved, wasResized);
    clampSpan(rect.top, rect.bottom, bounds.top, bounds.bottom, wasMoved, wasResized);
    if (moved)
        *moved = wasMoved;
    if (resized)
        *resized = wasResized;
    return wasMoved || wasResized;
}

bool fitRectToMonitor(Sys::Rect& rect, Sys::Rect* workArea) {
    std::shared_ptr<Sys::MonitorInfo> monitor = Monitors::nearest(Sys::enumMonitors(), rect);
    if (!monitor)
        return false;
    if (workArea)
        *workArea = monitor->work;
    return clampRect(rect, monitor->work);
}

Sys::Rect toSysRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect toQRect(const Sys::Rect& rect) {
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace Gui
