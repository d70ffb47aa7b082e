#pragma once

#include "catalog/CatalogItem.h"

#include <QPoint>
#include <optional>

namespace Gui {
class Wnd;
}

// What the LaunchBox and the satellite window ask of the main window: the
// tray menu and the item context menu, both owned by the main window, which
// also runs their commands. Tests give a fake. User-interface thread.
class MainMenus {
public:
    virtual ~MainMenus() = default;

    // Pops the tray menu up at the cursor on behalf of owner (null: the main
    // window); returns when the menu is closed.
    virtual void showTrayMenu(Gui::Wnd* owner) = 0;
    // Pops the context menu of item up at the point (none: the cursor) on
    // behalf of owner; returns when the menu is closed.
    virtual void showItemMenu(const CatalogItemPtr& item, Gui::Wnd* owner,
                              std::optional<QPoint> at) = 0;
};
