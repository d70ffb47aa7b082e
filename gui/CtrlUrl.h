#pragma once

#include <QColor>
#include <QFont>

#include <optional>

#include "gui/Wnd.h"

namespace Gui {

// A text drawn as a link, underlined while the mouse is over it. Its text
// is the window text; the alignment follows UrlRight or UrlCenter.
// User-interface thread only.
class CtrlUrl : public Wnd {
public:
    enum Style : uint32_t { UrlCenter = 0x1, UrlRight = 0x2 };

    CtrlUrl(Wnd& parent, int id, QColor backColour, QColor textColour, QColor thirdColour);

    intptr_t wndProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void paint(QPainter& painter, const QRect& rect) override;

    // The font of the link: the one given, else the parent's; the hover font
    // is the same underlined.
    void setLinkFont(const QFont* font);
    int id() const { return id_; }
    bool hovering() const { return hovering_; }
    const QFont& linkFont() const { return linkFont_; }
    const QFont& hoverFont() const { return hoverFont_; }

private:
    int id_;
    QColor backColour_;
    QColor textColour_;
    QColor thirdColour_;
    QFont linkFont_;
    QFont hoverFont_;
    bool hovering_ = false;
};

} // namespace Gui
