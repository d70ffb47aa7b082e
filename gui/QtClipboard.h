#pragma once

#include <memory>

#include "core/SysClipboard.h"
#include "gui/UiCall.h"

namespace Gui {

// The desktop's clipboard (QClipboard, the CLIPBOARD selection on X11).
// Used on the user-interface thread; callers on other threads wait for it
// (bounded). On X11 the text stays available to other programs while this
// one runs.
class QtClipboard : public Sys::ClipboardService {
public:
    explicit QtClipboard(std::shared_ptr<UiCall> ui) : ui_(std::move(ui)) {}

    // Any thread.
    wstr text() override;
    // Any thread.
    bool setText(const wstr& text) override;

private:
    std::shared_ptr<UiCall> ui_;
};

} // namespace Gui
