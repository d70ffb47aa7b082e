#include "windows/WndSatellite.h"

#include "gui/Theme.h"
#include "gui/WndClass.h"
#include "gui/WndMessage.h"
#include "windows/MainMenus.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <stdexcept>

using namespace Gui;

// Keeps the satellite beside the parent whenever the parent moves or changes
// size, whoever moved it.
class WndSatellite::ParentWatch : public QObject {
public:
    explicit ParentWatch(WndSatellite& owner) : owner_(owner) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            owner_.followParent();
        return QObject::eventFilter(watched, event);
    }

private:
    WndSatellite& owner_;
};

WndSatellite::WndSatellite(Instance instance, std::shared_ptr<Theme> theme, Wnd& parent,
                           MainMenus* menus)
    : WndThemed(instance, std::move(theme)), parent_(parent), menus_(menus) {
    if (!parent.exists())
        throw std::runtime_error("Failed to create the satellite window (error 1400)");
    // A tool window of the LaunchBox: it stays above it, never takes the
    // focus and goes away with it.
    auto* widget = new QWidget(parent.hwnd(),
                               Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    widget->setAttribute(Qt::WA_ShowWithoutActivating);
    createWindowClass(instance, L"quorvalent_wndcls_satellite")->createWindow(*this, widget);
    setTransparency(PerPixelAlpha, 255);
    watch_ = std::make_unique<ParentWatch>(*this);
    parent.hwnd()->installEventFilter(watch_.get());
}

WndSatellite::~WndSatellite() = default;

void WndSatellite::setPlacement(uint32_t flags, QPoint offset) {
    placement_ = flags;
    offset_ = offset;
    followParent();
}

QPoint WndSatellite::placeBeside(uint32_t flags, QPoint offset, const QRect& parentFrame,
                                 QPoint clientOffset, QSize size) {
    if (flags & PlaceFromClientArea)
        offset += clientOffset;
    const QPoint corner = parentFrame.topLeft();
    if (flags & PlaceCentreAbove)
        return {corner.x() + (parentFrame.width() - size.width()) / 2,
                corner.y() + offset.y() - size.height()};
    if (flags & PlaceBottomRightAt)
        return corner + offset - QPoint(size.width(), size.height());
    return corner + offset;
}

Bitmap WndSatellite::fitImage(const Bitmap& image, QSize limit) {
    if (!image)
        return nullptr;
    if (image->width() <= limit.width() && image->height() <= limit.height())
        return image;
    const QSize fitted = image->size().scaled(limit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return scaleBitmap(image, fitted.width(), fitted.height());
}

QImage WndSatellite::repairAlpha(const QImage& image) {
    QImage fixed = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < fixed.height(); ++y) {
        auto* pixel = reinterpret_cast<uint32_t*>(fixed.scanLine(y));
        for (int x = 0; x < fixed.width(); ++x, ++pixel) {
            const uint32_t alpha = *pixel >> 24;
            if (alpha == 0 && *pixel != 0) {
                *pixel |= 0xFF000000u;
                continue;
            }
            const uint32_t red = (*pixel >> 16) & 0xFF;
            const uint32_t green = (*pixel >> 8) & 0xFF;
            const uint32_t blue = *pixel & 0xFF;
            if (std::max({red, green, blue}) <= alpha)
                continue;
            *pixel = alpha << 24 | (red * alpha / 255) << 16 | (green * alpha / 255) << 8 |
                     blue * alpha / 255;
        }
    }
    return fixed;
}

QSize WndSatellite::windowSizeFor(QSize imageSize) {
    if (perPixel())
        return imageSize.expandedTo(QSize(1, 1));
    return imageSize + QSize(2 * controlMarginX(), 2 * controlMarginY());
}

void WndSatellite::resizeToImage() {
    const QSize wanted = windowSizeFor(shown_ ? shown_->size() : QSize(0, 0));
    if (wanted == hwnd()->size())
        return;
    hwnd()->resize(wanted);
    if (placement_ & (PlaceBottomRightAt | PlaceCentreAbove))
        followParent();
}

void WndSatellite::showImage(Bitmap image) {
    if (!exists() || image == source_)
        return;
    source_ = image;
    const QSize limit(scaleX(maxImageSize_.width()), scaleY(maxImageSize_.height()));
    Bitmap fitted = fitImage(image, limit);
    shown_ = fitted ? std::make_shared<const QImage>(repairAlpha(*fitted)) : nullptr;
    resizeToImage();
    invalidate(nullptr, false);
    mapWhenWanted();
}

// Without an image there is nothing to show: no window, not even an empty
// frame of the theme's background.
void WndSatellite::mapWhenWanted() {
    if (!wanted_ || !shown_) {
        hwnd()->hide();
        return;
    }
    followParent();
    hwnd()->show();
}

bool WndSatellite::followParent(std::optional<QRect> parentFrame) {
    if (!exists() || !parent_.exists())
        return false;
    const QSize size = hwnd()->size();
    if (size.width() < 1 || size.height() < 1)
        return false;
    const QWidget& parent = *parent_.hwnd();
    const QPoint clientOffset = parent.geometry().topLeft() - parent.frameGeometry().topLeft();
    const QPoint at = placeBeside(placement_, offset_, parentFrame.value_or(parent.frameGeometry()),
                                  clientOffset, size);
    if (hwnd()->pos() != at)
        hwnd()->move(at);
    return true;
}

void WndSatellite::show(bool visible) {
    if (!exists())
        return;
    wanted_ = visible;
    if (!visible) {
        hwnd()->hide();
        showImage(nullptr);
        return;
    }
    getDpi(true);
    applyTransparency(transparencyFlags(), transparencyAlpha());
    mapWhenWanted();
}

// The margin exists only outside per-pixel mode, so the size follows the mode.
bool WndSatellite::applyTransparency(uint32_t flags, uint8_t alpha) {
    const bool changed = WndThemed::applyTransparency(flags, alpha);
    if (changed)
        resizeToImage();
    return changed;
}

int WndSatellite::minWidth() {
    return scaleX(systemIconSize + (perPixel() ? 0 : 2 * theme()->controlMargin.x));
}

int WndSatellite::minHeight() {
    return scaleY(systemIconSize + (perPixel() ? 0 : 2 * theme()->controlMargin.y));
}

void WndSatellite::paint(QPainter& painter, const QRect& rect) {
    if (!perPixel()) {
        WndThemed::paint(painter, rect);
        if (shown_)
            alphaBlendBitmap(shown_, painter, controlMarginX(), controlMarginY(), 0, 0, 0);
        return;
    }
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect, Qt::transparent);
    if (!shown_)
        return;
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(theme()->opacity / 255.0);
    painter.drawImage(0, 0, *shown_);
}

bool WndSatellite::onActivate(bool active) {
    if (active && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        activateParent();
    return active;
}

void WndSatellite::activateParent() {
    if (parent_.exists())
        parent_.setForeground();
}

// The whole window is a handle that drags the LaunchBox, which the
// satellite then follows.
void WndSatellite::beginDrag() {
    if (!parent_.exists())
        return;
    dragging_ = true;
    dragCursor_ = QCursor::pos();
    dragParentStart_ = parent_.hwnd()->frameGeometry().topLeft();
}

void WndSatellite::dragTo(QPoint cursor) {
    if (!parent_.exists())
        return;
    parent_.hwnd()->move(dragParentStart_ + (cursor - dragCursor_));
    followParent();
}

intptr_t WndSatellite::toParentPoint(intptr_t lParam) const {
    const QPoint global = hwnd()->mapToGlobal(unpackPoint(lParam));
    return packPoint(parent_.hwnd()->mapFromGlobal(global));
}

intptr_t WndSatellite::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case Paint:
        // Also in per-pixel mode, where the themed window leaves painting alone.
        onPaint(reinterpret_cast<QPainter*>(wParam), reinterpret_cast<const QRect*>(lParam));
        return messageResult(0);
    case LButtonDown:
        beginDrag();
        return messageResult(0);
    case MouseMove:
        if (dragging_ && (wParam & ButtonLeft))
            dragTo(QCursor::pos());
        return messageResult(0);
    case LButtonUp:
        dragging_ = false;
        activateParent();
        return messageResult(0);
    case RButtonDown:
    case MButtonDown:
        activateParent();
        return messageResult(0);
    case RButtonUp:
        activateParent();
        if (menus_ && parent_.exists())
            menus_->showTrayMenu(&parent_);
        return messageResult(0);
    case LButtonDblClk:
        if (parent_.exists())
            parent_.sendMessage(message, wParam, toParentPoint(lParam));
        return messageResult(0);
    case KeyDown:
    case KeyUp:
    case Char:
        if (parent_.exists())
            return messageResult(parent_.sendMessage(message, wParam, lParam));
        return messageResult(0);
    case Destroy:
        source_.reset();
        shown_.reset();
        break;
    default:
        break;
    }
    return WndThemed::wndProc(message, wParam, lParam);
}
