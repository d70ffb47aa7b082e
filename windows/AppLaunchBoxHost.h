#pragma once

#include "windows/LaunchBoxHost.h"

#include <functional>
#include <memory>

class App;
class MainMenus;

// The LaunchBox's host over the running application. The windows that
// other parts of the program own (menus, About box, properties, history
// questions) are reached through the hooks, set by whoever owns
// those windows; an unset hook does nothing. User-interface thread.
class AppLaunchBoxHost : public LaunchBoxHost {
public:
    struct Hooks {
        std::function<void(uint32_t)> postMainCommand;
        std::function<void()> showAbout;
        std::function<void(const CatalogItemPtr&)> showItemProperties;
        std::function<bool(const CatalogItemPtr&, Gui::Wnd&)> eraseFromHistory;
    };

    // The application outlives the host; menus may be null until the main
    // window exists.
    AppLaunchBoxHost(App& app, MainMenus* menus);

    void setMenus(MainMenus* menus) { menus_ = menus; }
    Hooks& hooks() { return hooks_; }

    std::shared_ptr<const AppConfig> config() override;
    bool hasPackageManager() override;
    void search(const std::shared_ptr<CatalogResults>& results, const wstr& text,
                const CatalogItemPtr& chainItem, std::size_t orderedCount) override;
    std::size_t historyResults(CatalogResults& results) override;
    std::size_t countItemActions(const CatalogItemPtr& item) override;
    std::size_t getItemActions(const CatalogItemPtr& item,
                               std::vector<CatalogActionPtr>& actions) override;
    bool recordHit(const CatalogItemPtr& item, const CatalogActionPtr& action) override;
    void addSearchTerms(const wstr& text, const CatalogItemPtr& item) override;
    wstr historyTerms(const CatalogItemPtr& item) override;
    bool eraseFromHistory(const CatalogItemPtr& item, Gui::Wnd& owner) override;
    void clearSuggestions() override;
    std::size_t catalogItemCount() override;
    bool sendMessage(uint64_t pluginId, uint32_t kind, const PluginMsg::Data& data) override;
    void broadcastMessage(uint32_t kind, const PluginMsg::Data& data) override;
    void cancelMessages(uint32_t kind) override;
    uint64_t activeTasks() override;
    std::size_t packageCount() override;
    wstr packageName(uint32_t packageId) override;
    wstr clipboardText() override;
    std::optional<Sys::Rect> storedGeometry() override;
    void captureGeometry(const Sys::Rect& rect) override;
    void postMainCommand(uint32_t id) override;
    void showAbout() override;
    void showTrayMenu(Gui::Wnd& owner) override;
    void showItemMenu(const CatalogItemPtr& item, Gui::Wnd& owner, QPoint at) override;
    void showItemProperties(const CatalogItemPtr& item) override;
    MainMenus* mainMenus() override { return menus_; }

private:
    App& app_;
    MainMenus* menus_;
    Hooks hooks_;
};
