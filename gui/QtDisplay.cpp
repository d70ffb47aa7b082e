#include "gui/QtDisplay.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <climits>

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

} // namespace Gui
