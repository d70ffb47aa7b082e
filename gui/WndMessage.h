#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>

class QPainter;

namespace Gui {

// The messages a window object receives. Qt events are turned into these by
// the window event filter, and code sends them directly, so window logic can
// be driven without a display. The numbers follow the program's Windows
// heritage so that private message numbers (User and above) stay as they
// were.
enum Msg : uint32_t {
    Create = 0x0001,
    Destroy = 0x0002,
    Move = 0x0003,     // a top-level window moved; lParam: packPoint(frame's top-left)
    Size = 0x0005,     // lParam: packSize(client size)
    Activate = 0x0006, // wParam: ActivateInactive, ActivateActive or ActivateClick
    Paint = 0x000F,    // wParam: QPainter* or 0; lParam: const QRect* update rectangle or 0
    Close = 0x0010,
    SetCursor = 0x0020,
    GetMinMaxInfo = 0x0024, // lParam: MinMaxInfo*
    DrawItem = 0x002B,      // lParam: DrawItemInfo*
    MeasureItem = 0x002C,   // lParam: MeasureItemInfo*
    NcCreate = 0x0081,      // lParam: the Wnd* being created
    NcDestroy = 0x0082,
    KeyDown = 0x0100,    // wParam: virtual-key code; lParam: Modifier flags
    KeyUp = 0x0101,      // as KeyDown
    Char = 0x0102,       // wParam: the character; lParam: Modifier flags
    InitDialog = 0x0110, // lParam: the Wnd* of the dialog being created
    Command = 0x0111,    // wParam: notification << 16 | identifier; lParam: sender's Wnd*
    Timer = 0x0113,      // wParam: the timer id
    MouseMove = 0x0200,  // mouse messages: wParam Modifier flags; lParam packPoint(client point)
    LButtonDown = 0x0201,
    LButtonUp = 0x0202,
    LButtonDblClk = 0x0203,
    RButtonDown = 0x0204,
    RButtonUp = 0x0205,
    MButtonDown = 0x0207,
    MButtonUp = 0x0208,
    MouseWheel = 0x020A,     // wParam: signed delta, 120 per notch; lParam: packPoint(client point)
    Sizing = 0x0214,         // wParam: sizing edge; lParam: QRect* proposed frame rectangle
    CaptureChanged = 0x0215, // lParam: the QWidget* that now has the capture, or 0
    EnterSizeMove = 0x0231,
    ExitSizeMove = 0x0232,
    Drop = 0x0233, // lParam: const QDropEvent*
    MouseLeave = 0x02A3,
    Notify = 0x004E, // lParam: a notification structure of the sender
    Paste = 0x0302,
    PrintClient = 0x0318,   // wParam: QPainter*; lParam: PrintFlags
    DpiChanged = 0x02E0,    // wParam: dpiY << 16 | dpiX; lParam: const QRect* suggested frame
    DisplayChange = 0x007E, // wParam: bits per pixel; lParam: height << 16 | width
    User = 0x0400,          // private messages of the program's windows from here on
};

// wParam of Activate.
enum ActivateState : uintptr_t { ActivateInactive = 0, ActivateActive = 1, ActivateClick = 2 };

// Keyboard state that comes with key, character and mouse messages.
enum Modifier : uintptr_t {
    ModShift = 0x1,
    ModCtrl = 0x2,
    ModAlt = 0x4,
    ModMeta = 0x8,
    ButtonLeft = 0x10,
    ButtonRight = 0x20,
    ButtonMiddle = 0x40,
};

// lParam of PrintClient: only paint when the window is visible.
constexpr intptr_t PrintCheckVisible = 0x1;

// List notification sent with Command when the selection changed.
constexpr uint32_t ListSelChange = 1;

// Minimum and maximum tracking size, filled by the window (GetMinMaxInfo).
struct MinMaxInfo {
    QSize minTrack;
    QSize maxTrack;
};

// An owner-drawn item to measure: the owner sets the height.
struct MeasureItemInfo {
    int index = -1;
    int width = 0;
    int height = 0;
};

// An owner-drawn item to draw with the painter into rect.
struct DrawItemInfo {
    QPainter* painter = nullptr;
    int index = -1;
    QRect rect;
    bool selected = false;
    bool focused = false;
};

// Points and sizes travel in lParam as two signed 32-bit halves.
inline intptr_t packPoint(QPoint p) {
    return static_cast<intptr_t>((static_cast<uint64_t>(static_cast<uint32_t>(p.y())) << 32) |
                                 static_cast<uint32_t>(p.x()));
}
inline QPoint unpackPoint(intptr_t value) {
    auto bits = static_cast<uint64_t>(value);
    return {static_cast<int32_t>(bits & 0xFFFFFFFFu), static_cast<int32_t>(bits >> 32)};
}
inline intptr_t packSize(QSize s) {
    return packPoint({s.width(), s.height()});
}
inline QSize unpackSize(intptr_t value) {
    QPoint p = unpackPoint(value);
    return {p.x(), p.y()};
}

} // namespace Gui
