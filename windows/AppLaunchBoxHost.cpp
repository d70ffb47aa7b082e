#include "windows/AppLaunchBoxHost.h"

#include "app/App.h"
#include "core/Mutex.h"
#include "core/SysClipboard.h"
#include "packages/PackageManager.h"
#include "windows/MainMenus.h"

AppLaunchBoxHost::AppLaunchBoxHost(App& app, MainMenus* menus) : app_(app), menus_(menus) {}

std::shared_ptr<const AppConfig> AppLaunchBoxHost::config() {
    return app_.config();
}

bool AppLaunchBoxHost::hasPackageManager() {
    return app_.packageManager() != nullptr;
}

void AppLaunchBoxHost::search(const std::shared_ptr<CatalogResults>& results, const wstr& text,
                              const CatalogItemPtr& chainItem, std::size_t orderedCount) {
    app_.catalog().search(results, text, chainItem, orderedCount);
}

std::size_t AppLaunchBoxHost::historyResults(CatalogResults& results) {
    Mutex::Lock lock(app_.catalog().mutex());
    app_.catalog().history().toResults(results);
    return results.size();
}

std::size_t AppLaunchBoxHost::countItemActions(const CatalogItemPtr& item) {
    return app_.catalog().countItemActions(item);
}

std::size_t AppLaunchBoxHost::getItemActions(const CatalogItemPtr& item,
                                             std::vector<CatalogActionPtr>& actions) {
    return app_.catalog().getItemActions(item, actions);
}

bool AppLaunchBoxHost::recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action) {
    return app_.catalog().recordHit(item, action);
}

void AppLaunchBoxHost::addSearchTerms(const wstr& text, const CatalogItemPtr& item) {
    app_.catalog().addSearchTerms(text, item);
}

wstr AppLaunchBoxHost::historyTerms(const CatalogItemPtr& item) {
    return app_.catalog().getHistoryTerms(item);
}

bool AppLaunchBoxHost::eraseFromHistory(const CatalogItemPtr& item, Gui::Wnd& owner) {
    return hooks_.eraseFromHistory && hooks_.eraseFromHistory(item, owner);
}

void AppLaunchBoxHost::clearSuggestions() {
    app_.catalog().clearSuggestions();
}

std::size_t AppLaunchBoxHost::catalogItemCount() {
    return app_.catalog().itemCount();
}

bool AppLaunchBoxHost::sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data) {
    auto manager = app_.packageManager();
    return manager && manager->sendMessage(pluginId, kind, data);
}

void AppLaunchBoxHost::broadcastMessage(uint32_t kind, const PluginMsg::Data& data) {
    if (auto manager = app_.packageManager())
        manager->broadcastMessage(kind, data);
}

void AppLaunchBoxHost::cancelMessages(uint32_t kind) {
    if (auto manager = app_.packageManager())
        manager->cancelMessages(kind);
}

uint64_t AppLaunchBoxHost::activeTasks() {
    auto manager = app_.packageManager();
    if (!manager)
        return 0;
    const auto counts = manager->getTaskCounts();
    return counts.running + counts.pending;
}

std::size_t AppLaunchBoxHost::packageCount() {
    auto manager = app_.packageManager();
    return manager ? manager->getTaskCounts().packages : 0;
}

wstr AppLaunchBoxHost::packageName(uint32_t packageId) {
    auto manager = app_.packageManager();
    return manager ? manager->packageName(packageId) : PackageManager::packageNameOf(packageId);
}

wstr AppLaunchBoxHost::clipboardText() {
    return Sys::getClipboardText();
}

std::optional<Sys::Rect> AppLaunchBoxHost::storedGeometry() {
    if (app_.state().runStates.empty())
        return std::nullopt;
    return app_.state().applyRunGeometry(0);
}

void AppLaunchBoxHost::captureGeometry(const Sys::Rect& rect) {
    app_.state().captureRunGeometry(rect);
}

void AppLaunchBoxHost::postMainCommand(uint32_t id) {
    if (hooks_.postMainCommand)
        hooks_.postMainCommand(id);
}

void AppLaunchBoxHost::showAbout() {
    if (hooks_.showAbout)
        hooks_.showAbout();
}

void AppLaunchBoxHost::showTrayMenu(Gui::Wnd& owner) {
    if (menus_)
        menus_->showTrayMenu(&owner);
}

void AppLaunchBoxHost::showItemMenu(const CatalogItemPtr& item, Gui::Wnd& owner, QPoint at) {
    if (menus_)
        menus_->showItemMenu(item, &owner, at);
}

void AppLaunchBoxHost::showItemProperties(const CatalogItemPtr& item) {
    if (hooks_.showItemProperties)
        hooks_.showItemProperties(item);
}
