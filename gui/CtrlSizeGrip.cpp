#include "gui/CtrlSizeGrip.h"

#include "gui/MulDiv.h"
#include "gui/WndMessage.h"

#include <QPainter>

#include <algorithm>
#include <array>

namespace Gui {
namespace {

struct Dot {
    int column;
    int row;
};
constexpr std::array<Dot, 6> fullDots{{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {0, 2}}};
constexpr std::array<Dot, 3> diagonalDots{{{2, 0}, {1, 1}, {0, 2}}};

// Windows' own limits on a window's size.
constexpr int maxTrack = 32767;

} // namespace

CtrlSizeGrip::CtrlSizeGrip(Wnd& parent, uint64_t flags, QColor dotColour, QColor backColour)
    : Wnd(parent.instance()), flags_(flags), dotColour_(dotColour), backColour_(backColour) {
    auto* widget = new QWidget(parent.hwnd());
    widget->setGeometry(0, 0, 1, 1);
    widget->setCursor(cursorShape());
    attach(widget, false);
    widget->show();
}

Qt::CursorShape CtrlSizeGrip::cursorShape() const {
    const bool horizontal = flags_ & GripHorizontal;
    const bool vertical = flags_ & GripVertical;
    if (horizontal && vertical)
        return Qt::SizeFDiagCursor;
    if (horizontal)
        return Qt::SizeHorCursor;
    return vertical ? Qt::SizeVerCursor : Qt::ForbiddenCursor;
}

intptr_t CtrlSizeGrip::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case LButtonDown:
        beginDrag(hwnd()->mapToGlobal(unpackPoint(lParam)));
        return 0;
    case MouseMove:
        if (dragging_)
            resizeParent(hwnd()->mapToGlobal(unpackPoint(lParam)));
        return 0;
    case LButtonUp:
        endDrag();
        return 0;
    case CaptureChanged:
        dragging_ = reinterpret_cast<QWidget*>(lParam) == hwnd();
        return 0;
    case Paint:
        onPaint(reinterpret_cast<QPainter*>(wParam), reinterpret_cast<const QRect*>(lParam));
        return 0;
    case SetCursor:
        hwnd()->setCursor(cursorShape());
        return 1;
    default:
        return Wnd::wndProc(message, wParam, lParam);
    }
}

void CtrlSizeGrip::setColours(QColor dotColour, QColor backColour) {
    dotColour_ = dotColour;
    backColour_ = backColour;
    if (exists())
        hwnd()->update();
}

void CtrlSizeGrip::beginDrag(QPoint cursor) {
    QWidget* parent = hwnd()->parentWidget();
    if (!parent)
        return;
    dragStart_ = cursor;
    startSize_ = parent->size();
    hwnd()->grabMouse();
    dragging_ = true;
}

// Releasing the capture tells the grip who holds it now, as the system would.
void CtrlSizeGrip::endDrag() {
    if (QWidget::mouseGrabber() == hwnd())
        hwnd()->releaseMouse();
    sendMessage(CaptureChanged, 0, reinterpret_cast<intptr_t>(QWidget::mouseGrabber()));
}

void CtrlSizeGrip::resizeParent(QPoint cursor) {
    QWidget* parentWidget = exists() ? hwnd()->parentWidget() : nullptr;
    Wnd* parent = parentWidget ? fromHandle(parentWidget) : nullptr;
    if (!parent)
        return;
    MinMaxInfo limits{parentWidget->minimumSize(), QSize(maxTrack, maxTrack)};
    parent->sendMessage(GetMinMaxInfo, 0, reinterpret_cast<intptr_t>(&limits));
    const bool horizontal = flags_ & GripHorizontal;
    const bool vertical = flags_ & GripVertical;
    QSize size = parentWidget->size();
    const QPoint travel = cursor - dragStart_;
    if (horizontal)
        size.setWidth(std::clamp(startSize_.width() + travel.x(), limits.minTrack.width(),
                                 std::max(limits.minTrack.width(), limits.maxTrack.width())));
    if (vertical)
        size.setHeight(std::clamp(startSize_.height() + travel.y(), limits.minTrack.height(),
                                  std::max(limits.minTrack.height(), limits.maxTrack.height())));
    const uintptr_t edge = horizontal && vertical ? 8 : horizontal ? 2 : vertical ? 6 : 0;
    QRect proposed(parentWidget->pos(), size);
    parent->sendMessage(EnterSizeMove);
    parent->sendMessage(Sizing, edge, reinterpret_cast<intptr_t>(&proposed));
    parent->sendMessage(ExitSizeMove);
    parentWidget->resize(size);
}

void CtrlSizeGrip::paint(QPainter& painter, const QRect& rect) {
    const Sys::Dpi dpi = Sys::windowDpi(hwnd());
    const int dotX = mulDiv(2, int32_t(dpi.x), 96);
    const int dotY = mulDiv(2, int32_t(dpi.y), 96);
    const int gapX = mulDiv(1, int32_t(dpi.x), 96);
    const int gapY = mulDiv(1, int32_t(dpi.y), 96);
    painter.fillRect(rect, backColour_);
    const QRect client = hwnd()->rect();
    auto draw = [&](const auto& dots) {
        for (Dot dot : dots) {
            const int right = client.x() + client.width() - dotX - dot.column * (dotX + gapX);
            const int bottom = client.y() + client.height() - dotY - dot.row * (dotY + gapY);
            painter.fillRect(QRect(right - dotX, bottom - dotY, dotX, dotY), dotColour_);
        }
    };
    if (flags_ & GripFullDots)
        draw(fullDots);
    else if (flags_ & GripDiagonalDots)
        draw(diagonalDots);
}

} // namespace Gui
