#pragma once

#include "core/Wstr.h"

#include <cstdint>
#include <functional>
#include <optional>

// System-wide hot keys: keys that reach the program whichever window has the
// focus. The main window registers its hot keys through one grabber and is
// told of their presses. User-interface thread only.
class HotkeyGrabber {
public:
    // Why a key could not be grabbed: the system's error code and its text.
    struct Failure {
        uint32_t code = 0;
        wstr text;
    };
    // A grabbed key was pressed (held keys do not repeat).
    using Handler = std::function<void(int id)>;

    virtual ~HotkeyGrabber() = default;

    // Grabs the key (a virtual-key code) with the modifiers (Hotkey::Alt,
    // Ctrl, Shift, Win) as the id; an id grabbed before is released first.
    virtual std::optional<Failure> grab(int id, uint32_t modifiers, uint32_t virtualKey) = 0;
    // Releases the id; nothing happens when it is not grabbed.
    virtual void release(int id) = 0;
    virtual void setHandler(Handler handler) = 0;
    // The active window covers its screen in full-screen mode (a game or a
    // presentation, which keeps its keys).
    virtual bool fullScreenActive() const = 0;
};
