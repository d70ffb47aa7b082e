#pragma once

#include <QRect>
#include <QSize>

#include "gui/CtrlEdit.h"

namespace Gui {

// A single-line edit whose text line is centred vertically with padding
// left and right; the padding shows the control's base colour, which the
// owner sets to its edit background. User-interface thread only.
class CtrlEditPadded : public CtrlEdit {
public:
    CtrlEditPadded(Wnd& parent, ParentListener* listener, uint32_t style, int padLeft,
                   int padRight);

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    void setPadding(int padLeft, int padRight);
    // The text area within the window, empty when no padding applies or not
    // yet measured.
    const QRect& paddedRect() const { return paddedRect_; }
    bool notMeasured() const { return notMeasured_; }

    // The text area of a window of that size for a line of that height: the
    // room above and below the line split (the top half rounded down), the
    // sides moved in when four times the padding is less than the width.
    // Empty when nothing would be reduced or the line height is not positive.
    static QRect measure(QSize window, int lineHeight, int padLeft, int padRight);

private:
    void remeasure();

    int padLeft_ = 0;
    int padRight_ = 0;
    QRect paddedRect_;
    bool notMeasured_ = true;
};

} // namespace Gui
