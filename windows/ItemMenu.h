#pragma once

#include "catalog/CatalogItem.h"
#include "windows/ItemCommands.h"

#include <QMenu>
#include <QPoint>

#include <cstdint>
#include <memory>
#include <optional>

class Catalog;
class TrayMenu;

namespace Gui {
class Wnd;
}

// The context menu of a LaunchBox result: the item's properties, erasing it
// or its package from the history, the shell's menu (which this system does
// not have: always grayed) and the whole tray menu as a submenu, whose
// commands run as from the tray. User-interface thread only.
class ItemMenu {
public:
    ItemMenu(ItemCommands& commands, TrayMenu& trayMenu);

    // Pops the menu of item up at the point (none: the cursor) on behalf of
    // owner and runs the chosen command; returns when the menu is closed.
    // Nothing happens without an item or a running application.
    void show(const CatalogItemPtr& item, Gui::Wnd* owner, std::optional<QPoint> at);

    // The menu of item with the history's state from catalog; the tray menu
    // is its last entry until the menu is released with detach.
    std::unique_ptr<QMenu> build(const CatalogItemPtr& item, Catalog& catalog);
    void detach(QMenu& menu);
    // Runs one of the item's own commands (230 to 232); false for others.
    bool run(uint32_t command, const CatalogItemPtr& item, Gui::Wnd* owner);

private:
    ItemCommands& commands_;
    TrayMenu& trayMenu_;
};
