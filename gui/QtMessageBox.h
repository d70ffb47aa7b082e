#pragma once

#include <memory>

#include "core/MessageBox.h"
#include "gui/UiCall.h"

namespace Gui {

// Message boxes as QMessageBox dialogs, shown modally on the
// user-interface thread. The text is shown as plain text. Escape answers
// Cancel when the box has one.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(std::shared_ptr<UiCall> ui) : ui_(std::move(ui)) {}

    // Any thread: a caller on another thread waits until the box is
    // answered (the default answer when the application goes away first).
    // Never to be called while holding the GIL or a lock the
    // user-interface thread may wait for.
    int show(const wstr& text, const wstr& caption, uint32_t style) override;

private:
    std::shared_ptr<UiCall> ui_;
};

} // namespace Gui
