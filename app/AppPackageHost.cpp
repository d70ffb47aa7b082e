#include "app/AppPackageHost.h"

#include "app/App.h"
#include "gui/ImageManager.h"
#include "packages/PackageManager.h"

void AppPackageHost::setTimer(uint32_t id, uint32_t delayMs) {
    if (auto app = app_.lock())
        app->setTimer(id, delayMs);
}

std::shared_ptr<PackageManager> AppPackageHost::packageManager() {
    auto app = app_.lock();
    return app ? app->packageManager() : nullptr;
}

std::shared_ptr<Catalog> AppPackageHost::catalog() {
    auto app = app_.lock();
    // Shares the application's ownership: the catalog lives inside it.
    return app ? std::shared_ptr<Catalog>(app, &app->catalog()) : nullptr;
}

DataFs::Folders AppPackageHost::folders() {
    auto app = app_.lock();
    return app ? app->folders() : DataFs::Folders();
}

bool AppPackageHost::isPackageIgnored(const wstr& name) {
    auto app = app_.lock();
    auto config = app ? app->config() : nullptr;
    return config && config->isPackageIgnored(name);
}

SettingsStore::KeyMap AppPackageHost::configVariables() {
    auto app = app_.lock();
    auto config = app ? app->config() : nullptr;
    return config ? config->settingsStore.varSection() : SettingsStore::KeyMap();
}

void AppPackageHost::addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) {
    if (auto app = app_.lock())
        app->addPackagesListener(std::move(listener));
}

void AppPackageHost::removePackagesListener(const DataFs::PackagesListener* listener) {
    if (auto app = app_.lock())
        app->removePackagesListener(listener);
}

bool AppPackageHost::postMainWindowCommand(uint32_t commandId) {
    auto app = app_.lock();
    return app && app->postMainWindowCommand(commandId);
}

bool AppPackageHost::hasMainWindow() {
    auto app = app_.lock();
    return app && app->hasMainWindow();
}

wstr AppPackageHost::commandProblem(uint32_t commandId) {
    auto app = app_.lock();
    return app ? app->commandProblem(commandId) : wstr();
}

void AppPackageHost::editPackageConfig(const wstr& packageName) {
    auto app = app_.lock();
    if (auto edit = app ? app->configEdit() : nullptr)
        edit->editPackage(packageName);
}

void AppPackageHost::forgetPackageIcons(uint32_t packageId) {
    auto app = app_.lock();
    if (auto images = app ? app->imageManager() : nullptr)
        images->forgetPackage(packageId);
}

void AppPackageHost::forgetPackageIcon(uint64_t iconHandle) {
    auto app = app_.lock();
    if (auto images = app ? app->imageManager() : nullptr)
        images->forgetPackageIcon(iconHandle);
}
