#pragma once

#include <cstdint>

#include "gui/Wnd.h"

class QListView;

namespace Gui {

// The result list: a QListView over a model whose rows are only counted
// (setCount), drawn by the owner (the parent window) through MeasureItem
// and DrawItem messages. With ListNotify, selection changes, the user's and
// the program's, reach the owner as Command with ListSelChange.
// User-interface thread only.
class CtrlList : public Wnd {
public:
    enum Style : uint32_t { ListNotify = 0x1 };

    // A 1 by 1 control on the parent's widget; the owner places it.
    CtrlList(Wnd& parent, ParentListener* listener, uint32_t style);
    ~CtrlList() override;

    // The number of rows; resets the selection and measures again.
    void setCount(int count);
    int count() const;
    // The selected row, -1 when none.
    int currentIndex() const;
    // Selects the row (-1 clears); true without effect when it is already
    // selected and not forced; false for a row that does not exist.
    bool select(int index, bool force);
    bool setTopIndex(int index);
    int topIndex() const;
    // Moves the selection by step rows, stopping on the last (first) row
    // before wrapping around with wrap.
    void moveSelection(bool down, int step, bool wrap);
    void notifySelectionChange();

    // The row moveSelection goes to; current when nothing moves.
    static int moveTarget(int count, int current, bool down, int step, bool wrap);

    // The rows live in the view's viewport, which is what paints them: the
    // list's own widget is only their frame.
    void invalidate(const QRect* rect, bool erase) override;

    // Sends the message to the owner; 0 without one.
    intptr_t sendToOwner(uint32_t message, uintptr_t wParam, intptr_t lParam) const;

private:
    class Model;
    class Delegate;

    QListView* view() const;
    void setCurrent(int index);

    std::unique_ptr<Model> model_;
    std::unique_ptr<Delegate> delegate_;
    bool changingSelection_ = false;
};

} // namespace Gui
