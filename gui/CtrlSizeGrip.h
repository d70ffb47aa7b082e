#pragma once

#include <QColor>
#include <QPoint>
#include <QSize>

#include <cstdint>

#include "gui/Wnd.h"

namespace Gui {

// A drawn grip in a corner of a borderless window that resizes the window
// (its parent) while dragged, within the sizes the parent answers to
// GetMinMaxInfo. User-interface thread only.
class CtrlSizeGrip : public Wnd {
public:
    enum Flags : uint64_t {
        GripHorizontal = 1,
        GripVertical = 2,
        GripFullDots = 16,     // the six dots of a triangle
        GripDiagonalDots = 32, // the three dots of its diagonal
    };

    CtrlSizeGrip(Wnd& parent, uint64_t flags, QColor dotColour, QColor backColour);

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void paint(QPainter& painter, const QRect& rect) override;
    // Sizes the parent for the cursor at that screen position.
    virtual void resizeParent(QPoint cursor);
    // New colours (a theme applied again) and a repaint.
    void setColours(QColor dotColour, QColor backColour);

    Qt::CursorShape cursorShape() const;
    bool dragging() const { return dragging_; }

private:
    void beginDrag(QPoint cursor);
    void endDrag();

    uint64_t flags_;
    QColor dotColour_;
    QColor backColour_;
    bool dragging_ = false;
    QPoint dragStart_;
    QSize startSize_;
};

} // namespace Gui
