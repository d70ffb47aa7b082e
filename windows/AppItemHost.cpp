#include "windows/AppItemHost.h"

#include "app/App.h"
#include "gui/Wnd.h"
#include "packages/PackageManager.h"
#include "windows/ModalBox.h"

AppItemHost::AppItemHost(Gui::Wnd& owner, std::function<void()> showConsole)
    : owner_(owner), showConsole_(std::move(showConsole)) {}

std::shared_ptr<Catalog> AppItemHost::catalog() {
    std::shared_ptr<App> app = App::instance();
    if (!app)
        return nullptr;
    Catalog& catalog = app->catalog();
    return std::shared_ptr<Catalog>(std::move(app), &catalog);
}

wstr AppItemHost::pluginFullName(uint64_t pluginId) {
    return PackageManager::pluginFullNameOf(pluginId);
}

wstr AppItemHost::packageName(uint32_t packageId) {
    return PackageManager::packageNameOf(packageId);
}

void AppItemHost::showConsole() {
    if (showConsole_)
        showConsole_();
}

int AppItemHost::messageBox(const wstr& text, uint32_t style) {
    return ModalBox::show(owner_.exists() ? &owner_ : nullptr, text, style);
}
