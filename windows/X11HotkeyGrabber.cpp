#include "windows/X11HotkeyGrabber.h"

#include "app/Hotkey.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

// Keys without a character, by virtual-key code.
const std::map<uint32_t, uint32_t>& namedKeys() {
    static const std::map<uint32_t, uint32_t> keys = {
        {0x08, XK_BackSpace},   {0x09, XK_Tab},        {0x0D, XK_Return},      {0x13, XK_Pause},
        {0x1B, XK_Escape},      {0x20, XK_space},      {0x21, XK_Prior},       {0x22, XK_Next},
        {0x23, XK_End},         {0x24, XK_Home},       {0x25, XK_Left},        {0x26, XK_Up},
        {0x27, XK_Right},       {0x28, XK_Down},       {0x2A, XK_Print},       {0x2C, XK_Print},
        {0x2D, XK_Insert},      {0x2E, XK_Delete},     {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},
        {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},   {0x90, XK_Num_Lock},
        {0x91, XK_Scroll_Lock},
    };
    return keys;
}

} // namespace

std::unique_ptr<X11HotkeyGrabber> X11HotkeyGrabber::create() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display() || !x11->connection())
        return nullptr;
    Display* display = x11->display();
    return std::make_unique<X11HotkeyGrabber>(display, x11->connection(),
                                              uint32_t(DefaultRootWindow(display)));
}

X11HotkeyGrabber::X11HotkeyGrabber(_XDisplay* display, xcb_connection_t* connection, uint32_t root)
    : display_(display), connection_(connection), root_(root),
      context_(std::make_unique<QObject>()) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    for (const auto& [id, grab] : grabs_)
        ungrab(grab);
    xcb_flush(connection_);
}

uint16_t X11HotkeyGrabber::modifierMask(uint32_t modifiers) {
    uint16_t mask = 0;
    if (modifiers & Hotkey::Alt)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Hotkey::Ctrl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Hotkey::Shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Hotkey::Win)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

uint32_t X11HotkeyGrabber::keysymOf(uint32_t virtualKey) {
    if (virtualKey >= 'A' && virtualKey <= 'Z')
        return XK_a + (virtualKey - 'A');
    if (virtualKey >= '0' && virtualKey <= '9')
        return XK_0 + (virtualKey - '0');
    if (virtualKey >= 0x60 && virtualKey <= 0x69)
        return XK_KP_0 + (virtualKey - 0x60);
    if (virtualKey >= 0x70 && virtualKey <= 0x87)
        return XK_F1 + (virtualKey - 0x70);
    auto named = namedKeys().find(virtualKey);
    if (named != namedKeys().end())
        return named->second;
    // Punctuation: the character the key types, whose keysym has the same
    // number in Latin-1.
    const wchar_t ch = charOfVirtualKey(virtualKey);
    return ch > 0x20 && ch < 0x7F ? uint32_t(ch) : 0;
}

// The Num Lock modifier is whichever Mod bit the keyboard map gives it.
std::vector<uint16_t> X11HotkeyGrabber::lockCombinations() const {
    uint16_t numLock = 0;
    const KeyCode numLockKey = XKeysymToKeycode(display_, XK_Num_Lock);
    if (XModifierKeymap* map = XGetModifierMapping(display_)) {
        for (int mod = 0; mod < 8 && numLockKey; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                if (map->modifiermap[mod * map->max_keypermod + k] == numLockKey)
                    numLock = uint16_t(1 << mod);
            }
        }
        XFreeModifiermap(map);
    }
    std::vector<uint16_t> combinations{0, XCB_MOD_MASK_LOCK};
    if (numLock) {
        combinations.push_back(numLock);
        combinations.push_back(uint16_t(numLock | XCB_MOD_MASK_LOCK));
    }
    return combinations;
}

wstr X11HotkeyGrabber::errorText(uint8_t code) const {
    char text[256] = {};
    XGetErrorText(display_, code, text, sizeof(text));
    return wstr::fromUtf8(text);
}

std::optional<HotkeyGrabber::Failure> X11HotkeyGrabber::grab(int id, uint32_t modifiers,
                                                             uint32_t virtualKey) {
    release(id);
    const uint32_t keysym = keysymOf(virtualKey);
    const KeyCode keycode = keysym ? XKeysymToKeycode(display_, keysym) : 0;
    if (!keycode)
        return Failure{0, L"The keyboard has no such key"};
    Grab grab{modifierMask(modifiers), uint8_t(keycode)};
    // Checked requests: an error (BadAccess when another client holds the
    // key) comes back here instead of reaching Qt's error handler. Without
    // owner events every key event of the grab is reported to the root
    // window, also when the hot key has just given the focus to one of our
    // windows: the press never reaches that window as typing, and the
    // release that ends the press is seen here.
    std::vector<xcb_void_cookie_t> cookies;
    for (uint16_t locks : lockCombinations())
        cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, grab.modifiers | locks,
                                               grab.keycode, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC));
    std::optional<Failure> failure;
    for (const auto& cookie : cookies) {
        if (std::unique_ptr<xcb_generic_error_t, FreeDeleter<xcb_generic_error_t>> error{
                xcb_request_check(connection_, cookie)};
            error && !failure)
            failure = Failure{error->error_code, errorText(error->error_code)};
    }
    if (failure) {
        ungrab(grab);
        xcb_flush(connection_);
        return failure;
    }
    grabs_[id] = grab;
    return std::nullopt;
}

void X11HotkeyGrabber::ungrab(const Grab& grab) {
    for (uint16_t locks : lockCombinations())
        xcb_ungrab_key(connection_, grab.keycode, root_, grab.modifiers | locks);
}

void X11HotkeyGrabber::release(int id) {
    auto found = grabs_.find(id);
    if (found == grabs_.end())
        return;
    ungrab(found->second);
    xcb_flush(connection_);
    grabs_.erase(found);
}

uint32_t X11HotkeyGrabber::atom(const char* name) const {
    XcbReply<xcb_intern_atom_reply_t> reply{xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(strlen(name)), name), nullptr)};
    return reply ? reply->atom : uint32_t(XCB_ATOM_NONE);
}

bool X11HotkeyGrabber::fullScreenActive() const {
    const uint32_t activeAtom = atom("_NET_ACTIVE_WINDOW");
    XcbReply<xcb_get_property_reply_t> active{xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root_, activeAtom, XCB_ATOM_WINDOW, 0, 1),
        nullptr)};
    if (!active || xcb_get_property_value_length(active.get()) < 4)
        return false;
    const uint32_t window = *static_cast<uint32_t*>(xcb_get_property_value(active.get()));
    if (!window)
        return false;
    XcbReply<xcb_get_property_reply_t> state{xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr)};
    if (!state)
        return false;
    const uint32_t fullScreen = atom("_NET_WM_STATE_FULLSCREEN");
    const auto* atoms = static_cast<uint32_t*>(xcb_get_property_value(state.get()));
    const int count = xcb_get_property_value_length(state.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == fullScreen)
            return true;
    }
    return false;
}

bool X11HotkeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || grabs_.empty())
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release have the same layout.
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (type == XCB_KEY_RELEASE)
        return onRelease(*key);
    if (key->event != root_)
        return false;
    const uint16_t relevant =
        XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    for (auto& [id, grab] : grabs_) {
        if (grab.keycode != key->detail || grab.modifiers != (key->state & relevant))
            continue;
        // The server's key repeat sends a release and a press of the same
        // time; a press while the key is down is a repeat as well.
        const bool repeat = grab.down || (grab.releaseTime && key->time == grab.releaseTime);
        grab.down = true;
        if (!repeat)
            post(id);
        return true;
    }
    return false;
}

// Qt may take several X events in one go when its thread was busy: the
// handler runs once the events that came before the key (the focus given to
// a window just shown) have reached the windows, so that the Run hot key's
// toggle sees that window active.
void X11HotkeyGrabber::post(int id) {
    QMetaObject::invokeMethod(
        context_.get(),
        [this, id] {
            if (handler_)
                handler_(id);
        },
        Qt::QueuedConnection);
}

// The modifiers may be let go first: the key alone ends the press. A release
// is noted wherever X reports it (another grab, such as an open menu's, may
// take it from the root window), or the next press would pass for a repeat;
// only those reported to the root window are the grab's and taken from Qt.
bool X11HotkeyGrabber::onRelease(const xcb_key_press_event_t& key) {
    const bool atRoot = key.event == root_;
    bool ours = false;
    for (auto& [id, grab] : grabs_) {
        if (grab.keycode != key.detail)
            continue;
        grab.down = false;
        if (atRoot)
            grab.releaseTime = key.time;
        ours = true;
    }
    return ours && atRoot;
}
