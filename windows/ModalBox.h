#pragma once

#include "core/Wstr.h"

#include <cstdint>

namespace Gui {
class Wnd;
}

// A modal message box owned by one of the program's windows (a confirmation
// of the tray menu, a question of the LaunchBox): a QMessageBox over the
// owner on a display, the program's message box service (MessageBox::ask)
// without one. While one is open, isOpen() tells the LaunchBox that losing
// the focus to it is no reason to hide. User-interface thread only.
class ModalBox {
public:
    // Shows the text captioned with the product name; style and answer as
    // MessageBox's (MB_OK or MB_OKCANCEL, an icon). owner may be null.
    static int show(Gui::Wnd* owner, const wstr& text, uint32_t style);
    // A box (or another modal window of the program that counts itself in
    // with a Scope) is open.
    static bool isOpen();

    // Counts a modal window as open for its lifetime.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };
};
