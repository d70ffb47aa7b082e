#include "gui/Compositor.h"

#include <QGuiApplication>

#include <string>

// Xlib's macros (None, Bool, ...) clash with Qt's names: it comes last.
#include <X11/Xlib.h>

namespace Gui {
namespace {

bool x11CompositorRunning() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != None;
}

} // namespace

bool compositorRunning() {
    if (!qGuiApp)
        return false;
    const QString platform = QGuiApplication::platformName();
    if (platform == "xcb")
        return x11CompositorRunning();
    return platform.startsWith("wayland");
}

} // namespace Gui
