#include "gui/QtDisplay.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace Gui {
namespace {

Sys::Rect rectOf(const QRect& rect) {
    auto clamp = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    return {rect.x(), rect.y(), clamp(int64_t(rect.x()) + rect.width()),
            clamp(int64_t(rect.y()) + rect.height())};
}

uint32_t dpiOf(qreal dots) {
    return dots > 0 ? static_cast<uint32_t>(qRound(dots)) : 96;
}

Sys::Dpi dpiOf(const QScreen* screen) {
    if (!screen)
        return {};
    return {dpiOf(screen->logicalDotsPerInchX()), dpiOf(screen->logicalDotsPerInchY())};
}

uintptr_t handleOf(const QScreen* screen) {
    return reinterpret_cast<uintptr_t>(screen);
}

QScreen* screenOf(const void* window) {
    if (!window)
        return QGuiApplication::primaryScreen();
    return static_cast<const QWidget*>(window)->screen();
}

QScreen* screenByHandle(uintptr_t handle) {
    for (QScreen* screen : QGuiApplication::screens())
        if (handleOf(screen) == handle)
            return screen;
    return nullptr;
}

std::shared_ptr<Sys::MonitorInfo> describe(QScreen* screen) {
    auto info = std::make_shared<Sys::MonitorInfo>();
    info->handle = handleOf(screen);
    info->monitor = rectOf(screen->geometry());
    info->work = rectOf(screen->availableGeometry());
    info->dpi = dpiOf(screen);
    info->deviceName = screen->name().toStdWString();
    info->primary = screen == QGuiApplication::primaryScreen();
    return info;
}

// An xcb reply, freed with free().
template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> XcbReply<T> own(T* reply) {
    return XcbReply<T>(reply, &std::free);
}

std::optional<xcb_window_t> activeWindow(xcb_connection_t* connection, xcb_window_t root) {
    static const char name[] = "_NET_ACTIVE_WINDOW";
    auto atom = own(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return std::nullopt;
    auto property = own(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!property || xcb_get_property_value_length(property.get()) < 4)
        return std::nullopt;
    const xcb_window_t window = *static_cast<xcb_window_t*>(xcb_get_property_value(property.get()));
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    return window;
}

// The active window's rectangle in the root window's coordinates (the
// desktop's, also with several monitors side by side).
std::optional<Sys::Rect> readActiveWindowRect() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return std::nullopt;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (!setup || xcb_setup_roots_length(setup) < 1)
        return std::nullopt;
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    const std::optional<xcb_window_t> window = activeWindow(connection, root);
    if (!window)
        return std::nullopt;
    // A window that went away meanwhile gives no replies.
    auto geometry =
        own(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, *window), nullptr));
    auto origin = own(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, *window, root, 0, 0), nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    return Sys::Rect{origin->dst_x, origin->dst_y, origin->dst_x + geometry->width,
                     origin->dst_y + geometry->height};
}

} // namespace

std::vector<std::shared_ptr<Sys::MonitorInfo>> QtDisplay::monitors() {
    using List = std::vector<std::shared_ptr<Sys::MonitorInfo>>;
    return ui_->run<List>(
        [] {
            List list;
            for (QScreen* screen : QGuiApplication::screens())
                list.push_back(describe(screen));
            return list;
        },
        {}, UiCall::quickAnswer);
}

Sys::Dpi QtDisplay::windowDpi(const void* window, uintptr_t monitor) {
    return ui_->run<Sys::Dpi>(
        [=] {
            QScreen* screen = monitor ? screenByHandle(monitor) : nullptr;
            return dpiOf(screen ? screen : screenOf(window));
        },
        {}, UiCall::quickAnswer);
}

uintptr_t QtDisplay::windowMonitor(const void* window) {
    return ui_->run<uintptr_t>([=] { return handleOf(screenOf(window)); }, 0, UiCall::quickAnswer);
}

std::optional<Sys::Point> QtDisplay::cursorPos() {
    using Answer = std::optional<Sys::Point>;
    return ui_->run<Answer>(
        [] {
            const QPoint pos = QCursor::pos();
            return Answer(Sys::Point{pos.x(), pos.y()});
        },
        std::nullopt, UiCall::quickAnswer);
}

std::optional<Sys::Rect> QtDisplay::activeWindowRect() {
    using Answer = std::optional<Sys::Rect>;
    return ui_->run<Answer>([] { return readActiveWindowRect(); }, std::nullopt,
                            UiCall::quickAnswer);
}

} // namespace Gui
