#pragma once

#include "catalog/CatalogItem.h"

namespace Gui {
class Wnd;
}

// What the item context menu asks of the window that shows item properties
// and erases items from the history. User-interface thread only.
class ItemCommands {
public:
    // What to erase from the history.
    enum EraseScope { EraseItem, ErasePackage };

    virtual ~ItemCommands() = default;

    // Shows the properties of item in a window owned by owner.
    virtual void showProperties(const CatalogItemPtr& item, Gui::Wnd* owner) = 0;
    // Erases item, or every entry of its package, from the history (after
    // asking the user when that is the habit).
    virtual void eraseFromHistory(const CatalogItemPtr& item, EraseScope scope,
                                  Gui::Wnd* owner) = 0;
};
