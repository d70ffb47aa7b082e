#pragma once

#include "windows/HotkeyGrabber.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

struct _XDisplay;
struct xcb_connection_t;
struct xcb_key_press_event_t;

// Global hot keys on X11: passive key grabs on the root window, made on
// Qt's own X11 connection, whose key events the grabber picks out of Qt's
// event stream. Each key is grabbed with every combination of Caps Lock and
// Num Lock, so that the locks do not disable it. A key that another client
// grabbed first fails with the X error's code and text. Held keys do not
// repeat. User-interface thread only.
class X11HotkeyGrabber : public HotkeyGrabber, public QAbstractNativeEventFilter {
public:
    // Null when the application does not run on X11.
    static std::unique_ptr<X11HotkeyGrabber> create();

    X11HotkeyGrabber(_XDisplay* display, xcb_connection_t* connection, uint32_t root);
    // Releases every grab.
    ~X11HotkeyGrabber() override;

    std::optional<Failure> grab(int id, uint32_t modifiers, uint32_t virtualKey) override;
    void release(int id) override;
    void setHandler(Handler handler) override { handler_ = std::move(handler); }
    bool fullScreenActive() const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The X modifier mask of Hotkey modifier flags (Win is Mod4).
    static uint16_t modifierMask(uint32_t modifiers);
    // The keysym of a virtual-key code, 0 when there is none.
    static uint32_t keysymOf(uint32_t virtualKey);

private:
    struct Grab {
        uint16_t modifiers = 0;
        uint8_t keycode = 0;
        bool down = false;
        uint32_t releaseTime = 0;
    };

    // A key release; true when it belongs to a grab.
    bool onRelease(const xcb_key_press_event_t& key);
    // Runs the handler for the id from the event loop.
    void post(int id);
    std::vector<uint16_t> lockCombinations() const;
    void ungrab(const Grab& grab);
    uint32_t atom(const char* name) const;
    wstr errorText(uint8_t code) const;

    _XDisplay* display_;
    xcb_connection_t* connection_;
    uint32_t root_;
    Handler handler_;
    std::map<int, Grab> grabs_;
    // Calls posted to the handler go with it.
    std::unique_ptr<QObject> context_;
};
