#pragma once

#include <QIcon>

#include <cstdint>
#include <memory>

#include "core/Wstr.h"
#include "gui/Wnd.h"

class QWidget;

namespace Gui {

// One registered window class: a name (compared with case) and the icons its
// windows get. Windows ask createWindowClass for their class and make their
// widget through createWindow, which binds the window object during
// creation. Qt has no per-window X11 class: the class name becomes the
// widget's object name, and WM_CLASS stays the application's.
// User-interface thread only; the registry has no lock.
class WndClass {
public:
    // Registers the class; throws std::runtime_error "Failed to register
    // window's class {name} (error 87)" for an empty name.
    WndClass(Instance instance, const wstr& name, int iconResourceId, uint32_t classStyle);
    WndClass(const WndClass&) = delete;
    WndClass& operator=(const WndClass&) = delete;

    // Names the widget after the class, gives it the class icon and binds
    // the object to it (Wnd::create).
    void createWindow(Wnd& object, QWidget* widget, bool isDialog = false) const;

    uint16_t atom() const { return atom_; }
    Instance instance() const { return instance_; }
    const wstr& name() const { return name_; }
    uint32_t classStyle() const { return classStyle_; }
    const QIcon& bigIcon() const { return bigIcon_; }
    const QIcon& smallIcon() const { return smallIcon_; }

private:
    uint16_t atom_ = 0;
    Instance instance_ = nullptr;
    wstr name_;
    uint32_t classStyle_ = 0;
    QIcon bigIcon_;
    QIcon smallIcon_;
};

// The class of that name for the instance (null: the program's own),
// registered on first request with the program icon (resource 101).
std::shared_ptr<WndClass> createWindowClass(Instance instance, const wstr& name);
// The registered class, empty when there is none.
std::shared_ptr<WndClass> findWindowClass(const wstr& name, Instance instance);

// The icon of the resource id at the size, null when there is none.
QIcon loadIcon(int resourceId, int size = 0);

} // namespace Gui
