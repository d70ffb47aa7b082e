#include "gui/CtrlUrl.h"

#include "gui/WndMessage.h"

#include <QPainter>

namespace Gui {

CtrlUrl::CtrlUrl(Wnd& parent, int id, QColor backColour, QColor textColour, QColor thirdColour)
    : Wnd(parent.instance()), id_(id), backColour_(backColour), textColour_(textColour),
      thirdColour_(thirdColour) {
    auto* widget = new QWidget(parent.hwnd());
    widget->setGeometry(0, 0, 1, 1);
    widget->setMouseTracking(true);
    widget->setCursor(Qt::PointingHandCursor);
    attach(widget, false);
    setLinkFont(nullptr);
    widget->show();
}

void CtrlUrl::setLinkFont(const QFont* font) {
    QWidget* widget = hwnd();
    if (!widget)
        return;
    linkFont_ = font                     ? *font
                : widget->parentWidget() ? widget->parentWidget()->font()
                                         : widget->font();
    hoverFont_ = linkFont_;
    hoverFont_.setUnderline(true);
}

intptr_t CtrlUrl::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case Paint:
        onPaint(reinterpret_cast<QPainter*>(wParam), reinterpret_cast<const QRect*>(lParam));
        return 0;
    case SetCursor:
        hwnd()->setCursor(Qt::PointingHandCursor);
        return 1;
    case MouseMove:
        if (!hovering_) {
            hovering_ = true;
            invalidate(nullptr, false);
        }
        return 0;
    case MouseLeave:
        if (hovering_) {
            hovering_ = false;
            invalidate(nullptr, false);
        }
        return 0;
    default:
        return Wnd::wndProc(message, wParam, lParam);
    }
}

void CtrlUrl::paint(QPainter& painter, const QRect& rect) {
    painter.fillRect(rect, backColour_);
    painter.setFont(hovering_ ? hoverFont_ : linkFont_);
    painter.setPen(textColour_);
    Qt::Alignment align = Qt::AlignVCenter;
    align |= hasStyle(StyleWord, UrlRight)    ? Qt::AlignRight
             : hasStyle(StyleWord, UrlCenter) ? Qt::AlignHCenter
                                              : Qt::AlignLeft;
    const QRect client = hwnd()->rect();
    const QString text =
        painter.fontMetrics().elidedText(hwnd()->windowTitle(), Qt::ElideRight, client.width());
    painter.drawText(client, static_cast<int>(align), text);
}

} // namespace Gui
