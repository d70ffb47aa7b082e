#pragma once

#include "gui/ImageManager.h"
#include "gui/UserIconTheme.h"

#include <memory>

class App;

// The image manager's view of the running application: its timers, the web
// browser setting, the package manager's icons and the desktop's icon
// theme. It holds the application weakly; once it is gone, nothing is
// found and no timer is armed. Any thread unless a function says otherwise.
class AppImageHost : public ImageManager::Host {
public:
    explicit AppImageHost(std::weak_ptr<App> app) : app_(std::move(app)) {}

    void setTimer(uint32_t id, uint32_t delayMs) override;
    wstr webBrowser() override;
    bool isRemote(const wstr& path) override;
    // The icon under the handle in the handle's package, else the default
    // icon of the plugin in the plugin's package.
    std::shared_ptr<Gui::IconSource> itemPackageIcon(uint64_t pluginId,
                                                     uint64_t iconHandle) override;
    std::shared_ptr<Gui::IconSource> findPackageIcon(uint64_t iconId) override;
    // The user's icon theme (Gui::UserIconTheme), logged with where it was
    // found whenever it is not the one logged last, and the primary
    // monitor's scale. User-interface thread.
    ImageManager::IconSetup iconSetup() override;

private:
    std::weak_ptr<App> app_;
    Gui::UserIconTheme::Choice loggedTheme_;
};
