#include "gui/WndThemed.h"

#include "core/SysTime.h"
#include "gui/Compositor.h"
#include "gui/Font.h"
#include "gui/Monitors.h"
#include "gui/MulDiv.h"
#include "gui/Theme.h"
#include "gui/WndMessage.h"

#include <QBitmap>
#include <QPainter>
#include <QWidget>

namespace Gui {
namespace {

constexpr uint32_t blendedFlags = WndThemed::ConstantAlpha | WndThemed::ColourKey;

QColor themeColour(const Theme& theme, uint32_t id) {
    return QColor::fromRgb(theme.colours[id]);
}

// The frame rectangle of a top-level widget; frame and client rectangles
// differ by the window manager's decoration.
Sys::Rect frameOf(const QWidget& widget) {
    return toSysRect(widget.frameGeometry());
}

void setFrame(QWidget& widget, const QRect& frame) {
    const QSize decoration = widget.frameGeometry().size() - widget.size();
    widget.move(frame.topLeft());
    widget.resize(frame.size() - decoration);
}

// Whether any monitor shows part of the window.
bool onAnyMonitor(const QWidget& widget) {
    const QRect frame = widget.frameGeometry();
    for (const auto& monitor : Sys::enumMonitors())
        if (frame.intersects(toQRect(monitor->monitor)))
            return true;
    return false;
}

} // namespace

WndThemed::WndThemed(Instance instance, std::shared_ptr<Theme> theme)
    : Wnd(instance), theme_(std::move(theme)) {}

// The fonts and the theme go before the window (the base destroys it).
WndThemed::~WndThemed() {
    for (auto& font : fonts_)
        font.reset();
    theme_.reset();
}

uint64_t WndThemed::now() const {
    if (clock_)
        return clock_();
    return static_cast<uint64_t>(Sys::perfCounter() * 1000 / Sys::perfFrequency);
}

void WndThemed::attach(QWidget* handle, bool isDialog) {
    Wnd::attach(handle, isDialog);
    dpiX_ = dpiY_ = 96;
    dpiKnown_ = false;
    if (!exists())
        return;
    const Sys::Dpi dpi = Sys::windowDpi(hwnd());
    dpiX_ = dpi.x;
    dpiY_ = dpi.y;
    dpiKnown_ = true;
}

intptr_t WndThemed::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case GetMinMaxInfo:
        reinterpret_cast<MinMaxInfo*>(lParam)->minTrack = QSize(minWidth(), minHeight());
        return messageResult(0);
    case Activate:
        if (wParam == ActivateInactive) {
            lastDeactivation_ = now();
            onActivate(false);
            break;
        }
        lastDeactivation_ = 0;
        if (onActivate(true))
            return messageResult(0);
        break;
    case Paint:
        if (appliedTransparencyFlags_ & PerPixelAlpha)
            break;
        onPaint(reinterpret_cast<QPainter*>(wParam), reinterpret_cast<const QRect*>(lParam));
        return messageResult(0);
    case Close:
        show(false);
        return messageResult(0);
    case DisplayChange:
        onDisplayChange(int(lParam & 0xFFFF), int((lParam >> 16) & 0xFFFF), int(wParam));
        return messageResult(0);
    case DpiChanged:
        dpiX_ = wParam & 0xFFFF;
        dpiY_ = (wParam >> 16) & 0xFFFF;
        dpiKnown_ = true;
        onDpiChanged(*reinterpret_cast<const QRect*>(lParam));
        return messageResult(0);
    case PrintClient:
        onPrintClient(*reinterpret_cast<QPainter*>(wParam), lParam);
        return messageResult(0);
    default:
        break;
    }
    return Wnd::wndProc(message, wParam, lParam);
}

void WndThemed::paint(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, themeColour(*theme_, Theme::Background));
}

bool WndThemed::isRecentlyActive() {
    if (!isVisible())
        return false;
    if (lastDeactivation_ == 0)
        return true;
    return now() - lastDeactivation_ <= recentlyActiveMs;
}

void WndThemed::show(bool visible) {
    if (!exists())
        return;
    if (!visible) {
        hwnd()->hide();
        return;
    }
    getDpi(true);
    applyTransparency(transparencyFlags_, transparencyAlpha_);
    applyMinimumSize();
    hwnd()->showNormal();
    setForeground();
    // Shown in front, the window counts as active until it is deactivated.
    // Qt does not report the activation again when the window comes back
    // before Qt took its focus away, so an earlier deactivation would make
    // the next toggle show the window instead of hiding it.
    lastDeactivation_ = 0;
}

// Qt keeps the minimum size as a property; the window's answer to
// GetMinMaxInfo sets it.
void WndThemed::applyMinimumSize() {
    MinMaxInfo limits{hwnd()->minimumSize(), hwnd()->maximumSize()};
    sendMessage(GetMinMaxInfo, 0, reinterpret_cast<intptr_t>(&limits));
    hwnd()->setMinimumSize(limits.minTrack);
}

void WndThemed::fitToMonitor() {
    if (!exists())
        return;
    Sys::Rect rect = frameOf(*hwnd());
    auto monitor = Monitors::nearest(Sys::enumMonitors(), rect);
    if (!monitor)
        return;
    bool moved = false;
    bool resized = false;
    clampRect(rect, monitor->work, &moved, &resized);
    if (rect.right - rect.left < minWidth()) {
        rect.right = rect.left + minWidth();
        resized = true;
    }
    if (rect.bottom - rect.top < minHeight()) {
        rect.bottom = rect.top + minHeight();
        resized = true;
    }
    const QRect frame = toQRect(rect);
    if (moved && resized)
        setFrame(*hwnd(), frame);
    else if (moved)
        hwnd()->move(frame.topLeft());
    else if (resized)
        setFrame(*hwnd(), QRect(hwnd()->frameGeometry().topLeft(), frame.size()));
}

Sys::Dpi WndThemed::getDpi(bool force) {
    if (dpiKnown_ && !force && exists())
        return {dpiX_, dpiY_};
    if (!exists()) {
        if (dpiKnown_) {
            dpiX_ = dpiY_ = 96;
            dpiKnown_ = false;
            rebuildFonts();
        }
        return {dpiX_, dpiY_};
    }
    const Sys::Dpi old{dpiX_, dpiY_};
    const Sys::Dpi dpi = Sys::windowDpi(hwnd());
    dpiX_ = dpi.x;
    dpiY_ = dpi.y;
    dpiKnown_ = true;
    if (dpi.x == old.x && dpi.y == old.y)
        return dpi;
    // Moved to a monitor of another DPI while nothing told the window.
    Sys::Rect rect = frameOf(*hwnd());
    const int64_t width = int64_t(rect.right) - rect.left;
    const int64_t height = int64_t(rect.bottom) - rect.top;
    rect.right = static_cast<int32_t>(rect.left + (width * dpi.x + old.x - 1) / old.x);
    rect.bottom = static_cast<int32_t>(rect.top + (height * dpi.y + old.y - 1) / old.y);
    if (!onAnyMonitor(*hwnd()))
        fitRectToMonitor(rect);
    onDpiChanged(toQRect(rect));
    return dpi;
}

int WndThemed::scaleX(int value, bool force) {
    return mulDiv(value, static_cast<int32_t>(getDpi(force).x), 96);
}

int WndThemed::scaleY(int value, bool force) {
    return mulDiv(value, static_cast<int32_t>(getDpi(force).y), 96);
}

int WndThemed::controlMarginX() {
    return scaleX(theme_->controlMargin.x);
}
int WndThemed::controlMarginY() {
    return scaleY(theme_->controlMargin.y);
}
int WndThemed::textboxPaddingX() {
    return scaleX(theme_->textboxPadding.x);
}
int WndThemed::textboxPaddingHeight() {
    return scaleY(2 * theme_->textboxPadding.y);
}
int WndThemed::listItemPaddingX() {
    return scaleX(theme_->listItemPadding.x);
}
int WndThemed::listItemPaddingHeight() {
    return scaleY(2 * theme_->listItemPadding.y);
}

void WndThemed::setTransparency(uint32_t flags, uint8_t alpha) {
    if (!(flags & blendedFlags))
        alpha = 255;
    if (flags == transparencyFlags_ && alpha == transparencyAlpha_)
        return;
    transparencyFlags_ = flags;
    transparencyAlpha_ = alpha;
    applyTransparency(flags, alpha);
}

bool WndThemed::applyTransparency(uint32_t flags, uint8_t alpha) {
    const uint8_t effective = flags & blendedFlags ? alpha : 255;
    if (flags == appliedTransparencyFlags_ && effective == appliedTransparencyAlpha_)
        return false;
    if (!exists())
        return false;
    clearTransparency();
    if (flags && !applyToWidget(flags, effective)) {
        // The window stays opaque, and says so.
        clearTransparency();
        appliedTransparencyFlags_ = 0;
        appliedTransparencyAlpha_ = 255;
        return false;
    }
    appliedTransparencyFlags_ = flags;
    appliedTransparencyAlpha_ = effective;
    return true;
}

void WndThemed::clearTransparency() {
    QWidget* widget = hwnd();
    widget->setWindowOpacity(1.0);
    widget->clearMask();
    widget->setAttribute(Qt::WA_TranslucentBackground, false);
}

// Opacity and per-pixel alpha need a compositor; the colour key cuts the
// key colour out of the window's shape and works without one.
bool WndThemed::applyToWidget(uint32_t flags, uint8_t alpha) {
    QWidget* widget = hwnd();
    if ((flags & (ConstantAlpha | PerPixelAlpha)) && !canBlend())
        return false;
    if (flags & PerPixelAlpha) {
        widget->setWindowFlag(Qt::FramelessWindowHint, true);
        widget->setAttribute(Qt::WA_TranslucentBackground, true);
    }
    if (flags & ConstantAlpha)
        widget->setWindowOpacity(alpha / 255.0);
    if (flags & ColourKey) {
        const QImage image = widget->grab().toImage();
        const QColor key = themeColour(*theme_, Theme::ColourKey);
        widget->setMask(QBitmap::fromImage(image.createMaskFromColor(key.rgb(), Qt::MaskOutColor)));
    }
    return true;
}

bool WndThemed::canBlend() const {
    return compositorRunning();
}

std::shared_ptr<Font> WndThemed::createThemeFont(uint32_t index) {
    if (index == ListTitleFont)
        index = theme_->compactResults ? Theme::Small : theme_->listItemTitleFont;
    if (index >= fontSlots)
        return nullptr;
    if (!exists() || fonts_[index])
        return fonts_[index];
    const Theme::FontEntry& entry = theme_->fonts[index];
    auto font = std::make_shared<Font>();
    font->create(dpiY_, entry.face, entry.points, entry.style);
    fonts_[index] = font;
    return font;
}

void WndThemed::rebuildFonts() {
    if (!exists()) {
        for (auto& font : fonts_)
            font.reset();
        return;
    }
    bool rebuilt = false;
    for (uint32_t slot = 0; slot < fontSlots; ++slot) {
        if (!fonts_[slot])
            continue;
        fonts_[slot].reset();
        createThemeFont(slot);
        rebuilt = true;
    }
    if (rebuilt)
        onFontsChanged();
}

void WndThemed::onPrintClient(QPainter& painter, intptr_t flags) {
    if ((flags & PrintCheckVisible) && !isVisible())
        return;
    paint(painter, hwnd()->rect());
}

void WndThemed::onDisplayChange(int, int, int) {
    getDpi(true);
    fitToMonitor();
    invalidate(nullptr, false);
}

bool WndThemed::onActivate(bool active) {
    if (!active)
        return false;
    fitToMonitor();
    return true;
}

// Applied only while the window is on a monitor: one that lies on none is
// brought back by fitToMonitor when it is shown.
void WndThemed::onDpiChanged(const QRect& suggested) {
    rebuildFonts();
    if (exists() && onAnyMonitor(*hwnd()))
        setFrame(*hwnd(), suggested);
    invalidate(nullptr, false);
}

} // namespace Gui
