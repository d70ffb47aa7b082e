#include "windows/ItemMenu.h"

#include "app/App.h"
#include "gui/QtText.h"
#include "gui/Wnd.h"
#include "windows/TrayMenu.h"

#include <QCursor>

namespace {

constexpr const char* commandProperty = "qv_item_command";

QAction* addCommand(QMenu& menu, uint32_t command, const wchar_t* text, bool enabled) {
    QAction* action = menu.addAction(Gui::toQString(text));
    action->setProperty(commandProperty, command);
    action->setEnabled(enabled);
    return action;
}

} // namespace

ItemMenu::ItemMenu(ItemCommands& commands, TrayMenu& trayMenu)
    : commands_(commands), trayMenu_(trayMenu) {}

std::unique_ptr<QMenu> ItemMenu::build(const CatalogItemPtr& item, Catalog& catalog) {
    auto menu = std::make_unique<QMenu>();
    addCommand(*menu, TrayMenu::ItemProperties, L"Item &Properties", true);
    addCommand(*menu, TrayMenu::RemoveItem, L"&Remove from History", catalog.historyHasItem(item));
    addCommand(*menu, TrayMenu::RemoveParentPackage, L"Remove p&arent package from History",
               catalog.historyHasPackage(item->packageId()));
    // There is no shell context menu for files on this system.
    addCommand(*menu, TrayMenu::Shell, L"&Shell", false);
    menu->addSeparator();
    QMenu* tray = trayMenu_.menu();
    QAction* trayEntry = menu->addMenu(tray);
    trayEntry->setText(Gui::toQString(L"&" + App::appTitle()));
    return menu;
}

// The tray menu outlives every item menu.
void ItemMenu::detach(QMenu& menu) {
    menu.removeAction(trayMenu_.menu()->menuAction());
}

void ItemMenu::show(const CatalogItemPtr& item, Gui::Wnd* owner, std::optional<QPoint> at) {
    auto app = App::instance();
    if (!item || !app)
        return;
    std::unique_ptr<QMenu> menu = build(item, app->catalog());
    if (owner && owner->exists())
        owner->setForeground();
    QAction* chosen = menu->exec(at.value_or(QCursor::pos()));
    detach(*menu);
    // Tray entries ran their command when they were triggered.
    if (chosen && chosen->property(commandProperty).isValid())
        run(chosen->property(commandProperty).toUInt(), item, owner);
}

bool ItemMenu::run(uint32_t command, const CatalogItemPtr& item, Gui::Wnd* owner) {
    if (!item)
        return false;
    switch (command) {
    case TrayMenu::ItemProperties:
        commands_.showProperties(item, owner);
        return true;
    case TrayMenu::RemoveItem:
        commands_.eraseFromHistory(item, ItemCommands::EraseItem, owner);
        return true;
    case TrayMenu::RemoveParentPackage:
        commands_.eraseFromHistory(item, ItemCommands::ErasePackage, owner);
        return true;
    default:
        return false;
    }
}
