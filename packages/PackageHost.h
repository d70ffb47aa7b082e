#pragma once

#include "core/SettingsStore.h"
#include "core/Wstr.h"
#include "files/DataFs.h"

#include <cstdint>
#include <memory>

class Catalog;
class PackageManager;

// What the packages and their plugins need of the running application. The
// application implements it and installs one process-wide instance for as
// long as it runs; tests install fakes. While none is installed (start-up,
// shutdown) the packages behave as when the application is gone: no package
// is found, no message is created, no plugin gets an id.
class PackageHost {
public:
    virtual ~PackageHost() = default;

    // App::setTimer: runs App timer `id` on the user-interface thread after
    // delayMs; a pending timer is only ever moved later. Any thread.
    virtual void setTimer(uint32_t id, uint32_t delayMs) = 0;

    // The application's package manager and catalog; empty when there is
    // none. Any thread.
    virtual std::shared_ptr<PackageManager> packageManager() = 0;
    virtual std::shared_ptr<Catalog> catalog() = 0;

    // A copy of the folders of this run: the package roots and the user
    // configuration folder (profileUser). Any thread.
    virtual DataFs::Folders folders() = 0;
    // AppConfig::isPackageIgnored of the settings in force. Any thread.
    virtual bool isPackageIgnored(const wstr& name) = 0;
    // The "var" section of the settings in force (SettingsStore::varSection).
    // Any thread.
    virtual SettingsStore::KeyMap configVariables() = 0;

    // The data monitor's package listeners (DataFs::addPackagesListener and
    // removePackagesListener). Any thread.
    virtual void addPackagesListener(std::weak_ptr<DataFs::PackagesListener> listener) = 0;
    virtual void removePackagesListener(const DataFs::PackagesListener* listener) = 0;

    // Posts a tray-menu command to the main window, carried out later on the
    // user-interface thread; false, and nothing posted, while the main window
    // does not exist. Any thread.
    virtual bool postMainWindowCommand(uint32_t commandId) = 0;
    // The main window exists and takes those commands. Any thread.
    virtual bool hasMainWindow() = 0;
    // Why such a command cannot run now (it opens a file, folder or address
    // that nothing can open), in words a user can act on; empty when it
    // can. Any thread.
    virtual wstr commandProblem(uint32_t /*commandId*/) { return {}; }
    // ConfigEdit::editPackage: opens the package's configuration files in an
    // editor on the editor's thread. Any thread.
    virtual void editPackageConfig(const wstr& packageName) = 0;
    // ImageManager::forgetPackage: drops the icons cached for a package.
    // Any thread.
    virtual void forgetPackageIcons(uint32_t packageId) = 0;
    // ImageManager::forgetPackageIcon: drops the images cached from one
    // package icon. Any thread.
    virtual void forgetPackageIcon(uint64_t iconHandle) = 0;

    // The installed instance, or empty. Any thread.
    static std::shared_ptr<PackageHost> instance();
    // Installs (or with an empty pointer removes) the instance. Any thread.
    static void setInstance(std::shared_ptr<PackageHost> host);
};
