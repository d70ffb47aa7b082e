#pragma once

#include <memory>
#include <vector>

#include "core/MessageBox.h"
#include "gui/UiCall.h"

namespace Gui {

class QtNoticeBoxes;

// Message boxes as QMessageBox dialogs on the user-interface thread. The
// text is shown as plain text. Escape answers Cancel when the box has one.
// Boxes that ask are modal; boxes that only inform are not, and are closed
// with the session.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(std::shared_ptr<UiCall> ui);

    // Any thread: a caller on another thread waits until the box is
    // answered (the default answer when the application goes away first).
    // Never to be called while holding the GIL or a lock the
    // user-interface thread may wait for.
    // A box that the main loop ends (the program is asked to end) answers
    // Cancel when it has that button, else its default.
    int show(const wstr& text, const wstr& caption, uint32_t style) override;
    // Any thread: the box is queued for the user-interface thread and shown
    // once its loop runs, so a caller there (start-up) is not held either.
    void inform(const wstr& text, const wstr& caption, uint32_t style) override;

    // Closes the boxes that inform and shows no more of them. User-interface
    // thread, before the application object goes.
    void closeInformBoxes();

private:
    std::shared_ptr<UiCall> ui_;
    std::shared_ptr<QtNoticeBoxes> notices_;
};

} // namespace Gui
