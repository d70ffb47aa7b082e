// The settings functions: plugins read the application's settings (handle
// 1) and those of a loaded package (its id) through an integer handle.
//
// A package's settings are read under the package's lock, which may load
// them and so take the GIL; the GIL is therefore always released before a
// package or the application is looked up, the answer is copied, and Python
// objects are made only once it is taken back.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"
#include "python/ApiDefinition.h"
#include "python/Converters.h"
#include "python/GuardedFunction.h"
#include "python/Python.h"
#include "python/PythonHost.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace bp = boost::python;
using Python::ReleaseGIL;

namespace PythonBuiltins {
namespace {

constexpr unsigned appSettingsHandle = 1;

// The application's settings in force, shared with the record that holds
// them.
std::shared_ptr<const SettingsStore> appSettings() {
    std::shared_ptr<PythonHost> app = PythonHost::instance();
    return app ? app->appSettings() : nullptr;
}

std::shared_ptr<PackageManager> packageManager() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host ? host->packageManager() : nullptr;
}

// The loaded package a handle other than 1 designates (any revision).
std::shared_ptr<Package> packageOf(unsigned handle) {
    std::shared_ptr<PackageManager> manager = packageManager();
    return manager ? manager->findPackage(handle, 0) : nullptr;
}

// Run without the GIL.
Python::WstrList sections(unsigned handle) {
    if (handle == appSettingsHandle) {
        std::shared_ptr<const SettingsStore> store = appSettings();
        return store ? store->sections() : Python::WstrList();
    }
    std::shared_ptr<Package> package = packageOf(handle);
    return package ? package->settingsSections() : Python::WstrList();
}

Python::WstrList keys(unsigned handle, const wstr& section) {
    if (handle == appSettingsHandle) {
        std::shared_ptr<const SettingsStore> store = appSettings();
        return store ? store->keys(section) : Python::WstrList();
    }
    std::shared_ptr<Package> package = packageOf(handle);
    return package ? package->settingsKeys(section) : Python::WstrList();
}

std::optional<wstr> value(unsigned handle, const wstr& section, const wstr& key) {
    wstr found;
    bool exists = false;
    if (handle == appSettingsHandle) {
        std::shared_ptr<const SettingsStore> store = appSettings();
        exists = store && store->get(section, key, found);
    } else if (std::shared_ptr<Package> package = packageOf(handle)) {
        exists = package->settingsGet(section, key, found);
    }
    return exists ? std::optional<wstr>(std::move(found)) : std::nullopt;
}

// A section or package name of None is the empty name.
bp::object settingsLoad(const Python::OptionalStr& packageName) {
    const wstr name = packageName.value_or(wstr());
    std::shared_ptr<Package> package;
    {
        ReleaseGIL unlocked;
        std::shared_ptr<PackageManager> manager = packageManager();
        package = manager ? manager->callerPackage(name) : nullptr;
        if (package && !package->settingsLoaded())
            package->loadSettings(false);
    }
    return package ? bp::object(package->id()) : bp::object();
}

Python::WstrList settingsKeys(unsigned handle, const Python::OptionalStr& section) {
    const wstr name = section.value_or(wstr());
    ReleaseGIL unlocked;
    return keys(handle, name);
}

bool settingsHasSection(unsigned handle, const Python::OptionalStr& section) {
    const wstr name = section.value_or(wstr());
    ReleaseGIL unlocked;
    const Python::WstrList all = sections(handle);
    return std::find(all.begin(), all.end(), name) != all.end();
}

bool settingsHas(unsigned handle, const Python::OptionalStr& section, const wstr& key) {
    const wstr name = section.value_or(wstr());
    ReleaseGIL unlocked;
    return value(handle, name, key).has_value();
}

bp::object settingsGet(unsigned handle, const Python::OptionalStr& section, const wstr& key) {
    const wstr name = section.value_or(wstr());
    std::optional<wstr> found;
    {
        ReleaseGIL unlocked;
        found = value(handle, name, key);
    }
    return found ? bp::object(*found) : bp::object();
}

} // namespace

void defineSettings() {
    defineGuarded<unsigned()>(bp::scope(), "app_settings", [] { return appSettingsHandle; });
    defineFunction(bp::scope(), "settings_load", &settingsLoad);
    defineGuarded<Python::WstrList(unsigned)>(bp::scope(), "settings_sections", &sections);
    defineFunction(bp::scope(), "settings_keys", &settingsKeys);
    defineFunction(bp::scope(), "settings_has_section", &settingsHasSection);
    defineFunction(bp::scope(), "settings_has", &settingsHas);
    defineFunction(bp::scope(), "settings_get", &settingsGet);
}

} // namespace PythonBuiltins
