#include "app/AppImageHost.h"

#include "app/App.h"
#include "core/Logger.h"
#include "core/SysDisplay.h"
#include "core/SysFile.h"
#include "packages/Package.h"
#include "packages/PackageManager.h"

namespace {

std::shared_ptr<Package> packageOf(const std::weak_ptr<App>& weak, uint64_t id) {
    auto app = weak.lock();
    auto manager = app ? app->packageManager() : nullptr;
    return manager ? manager->findPackage(static_cast<uint32_t>(id >> 32), 0) : nullptr;
}

} // namespace

void AppImageHost::setTimer(uint32_t id, uint32_t delayMs) {
    if (auto app = app_.lock())
        app->setTimer(id, delayMs);
}

wstr AppImageHost::webBrowser() {
    auto app = app_.lock();
    auto config = app ? app->config() : nullptr;
    return config ? config->webBrowser : wstr();
}

bool AppImageHost::isRemote(const wstr& path) {
    return Path::isRemote(path);
}

std::shared_ptr<Gui::IconSource> AppImageHost::itemPackageIcon(uint64_t pluginId,
                                                               uint64_t iconHandle) {
    if (iconHandle != 0) {
        auto package = packageOf(app_, iconHandle);
        if (auto icon = package ? package->findIcon(iconHandle) : nullptr)
            return icon;
    }
    auto package = packageOf(app_, pluginId);
    return package ? package->getIcon(pluginId, false, 0) : nullptr;
}

std::shared_ptr<Gui::IconSource> AppImageHost::findPackageIcon(uint64_t iconId) {
    auto package = packageOf(app_, iconId);
    return package ? package->findIcon(iconId) : nullptr;
}

ImageManager::IconSetup AppImageHost::iconSetup() {
    ImageManager::IconSetup setup;
    const Gui::UserIconTheme::Choice theme =
        Gui::UserIconTheme::choose(Gui::UserIconTheme::ofSession());
    if (theme != loggedTheme_) {
        wstr text;
        logMessage(Logger::Info,
                   wstr::format(text, L"Icon theme: {} ({})", wstr::fromUtf8(theme.name.c_str()),
                                wstr::fromUtf8(theme.source.c_str())));
        loggedTheme_ = theme;
    }
    setup.themeName = theme.name;
    const uint32_t dpi = Sys::windowDpi().x;
    setup.scale = dpi > 0 ? dpi / 96.0 : 1.0;
    setup.dirs = Gui::IconTheme::xdgDirs();
    return setup;
}
