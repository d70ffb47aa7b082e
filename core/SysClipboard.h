#pragma once

#include <memory>

#include "core/Wstr.h"

namespace Sys {

// Where clipboard text lives. The user interface installs the desktop's
// clipboard; until then (and in tests) a clipboard private to the process
// stands in. Implementations may be called from any thread.
class ClipboardService {
public:
    virtual ~ClipboardService() = default;
    // The clipboard's text; empty when it holds none.
    virtual wstr text() = 0;
    // True when the clipboard now holds the text.
    virtual bool setText(const wstr& text) = 0;
};

// Installs the service; null brings back the process-local clipboard.
// Any thread.
void setClipboardService(std::shared_ptr<ClipboardService> service);

// The clipboard's text up to its first NUL, read within the text's own size;
// empty when the clipboard holds no text or a text longer than 8 Mi
// characters. Any thread.
wstr getClipboardText();

// True when the clipboard now holds the text. Any thread.
bool setClipboardText(const wstr& text);

} // namespace Sys
