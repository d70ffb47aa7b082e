#include "gui/CtrlEditPadded.h"

#include "gui/WndMessage.h"

#include <QFontMetrics>
#include <QLineEdit>

#include <algorithm>

namespace Gui {

CtrlEditPadded::CtrlEditPadded(Wnd& parent, ParentListener* listener, uint32_t style, int padLeft,
                               int padRight)
    : CtrlEdit(parent, listener, style & ~EditMultiline) {
    if (QLineEdit* edit = lineEdit())
        edit->setFrame(false);
    setPadding(padLeft, padRight);
}

void CtrlEditPadded::setPadding(int padLeft, int padRight) {
    padLeft_ = padLeft;
    padRight_ = padRight;
    remeasure();
}

QRect CtrlEditPadded::measure(QSize window, int lineHeight, int padLeft, int padRight) {
    if (lineHeight <= 0)
        return {};
    const int room = std::max(0, window.height() - lineHeight);
    const int top = room / 2;
    const int bottom = room - top;
    const int sides = padLeft + padRight;
    const bool horizontal = sides > 0 && 4 * sides < window.width();
    if (room == 0 && !horizontal)
        return {};
    QRect rect(QPoint(0, 0), window);
    rect.adjust(horizontal ? padLeft : 0, top, horizontal ? -padRight : 0, -bottom);
    return rect;
}

void CtrlEditPadded::remeasure() {
    QLineEdit* edit = lineEdit();
    if (!edit)
        return;
    const int lineHeight = QFontMetrics(edit->font()).height();
    if (lineHeight <= 0)
        return;
    paddedRect_ = measure(edit->size(), lineHeight, padLeft_, padRight_);
    notMeasured_ = false;
    const QRect inner = paddedRect_.isEmpty() ? edit->rect() : paddedRect_;
    edit->setTextMargins(inner.left(), inner.top(), edit->width() - inner.right() - 1,
                         edit->height() - inner.bottom() - 1);
}

intptr_t CtrlEditPadded::wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == Size)
        remeasure();
    return CtrlEdit::wndProc(message, wParam, lParam);
}

} // namespace Gui
