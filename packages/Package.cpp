#include <boost/python.hpp>

#include "packages/Package.h"

#include "catalog/Catalog.h"
#include "core/Logger.h"
#include "core/Path.h"
#include "core/SysFile.h"
#include "core/Utf.h"
#include "files/DataFs.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"
#include "packages/Plugin.h"
#include "python/GilLock.h"
#include "python/Python.h"
#include "python/PythonIni.h"

#include <exception>
#include <utility>

namespace {

void warn(const wstr& message) {
    logMessage(Logger::Warning, message);
}

// The package part of a plugin id or an icon handle.
uint32_t packageIdOf(uint64_t id) {
    return static_cast<uint32_t>(id >> 32);
}

} // namespace

// The settings sources of one load, read before the interpreter is entered.
struct Package::SettingsTexts {
    struct Source {
        wstr name;
        bool isResource;
        std::string text;
    };
    std::vector<Source> sources;
    bool unloaded = false;
};

Package::Package(const wstr& name, uint64_t revision)
    : name_(name), id_(idOf(name)), revision_(revision) {}

Package::~Package() {
    unloadPlugins();
}

std::shared_ptr<PackageIcon> Package::loadIcon(const std::vector<wstr>& sources) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    auto icon = std::make_shared<PackageIcon>(id_, sources, manager);
    if (icon->id() == 0)
        return icon;
    Mutex::Lock lock(mutex_);
    return icons_.try_emplace(icon->id(), icon).first->second;
}

std::shared_ptr<PackageIcon> Package::findIcon(uint64_t handle) const {
    if (handle == 0 || packageIdOf(handle) != id_)
        return nullptr;
    Mutex::Lock lock(mutex_);
    auto found = icons_.find(handle);
    return found == icons_.end() ? nullptr : found->second;
}

std::shared_ptr<PackageIcon> Package::getIcon(uint64_t pluginId, bool useHandle,
                                              uint64_t handle) const {
    if (pluginId != 0 && packageIdOf(pluginId) != id_)
        return nullptr;
    if (pluginId != 0) {
        Mutex::Lock lock(mutex_);
        auto found = defaultIcons_.find(pluginId);
        if (found != defaultIcons_.end()) {
            auto icon = icons_.find(found->second);
            if (icon != icons_.end())
                return icon->second;
        }
    }
    return useHandle ? findIcon(handle) : nullptr;
}

bool Package::freeIcon(uint64_t handle) {
    if (handle == 0 || packageIdOf(handle) != id_)
        return false;
    {
        Mutex::Lock lock(mutex_);
        if (icons_.erase(handle) == 0)
            return false;
    }
    if (std::shared_ptr<PackageHost> host = PackageHost::instance())
        host->forgetPackageIcon(handle);
    return true;
}

void Package::setDefaultIcon(uint64_t pluginId, uint64_t handle) {
    if (packageIdOf(pluginId) != id_)
        return;
    Mutex::Lock lock(mutex_);
    if (handle == 0) {
        defaultIcons_.erase(pluginId);
        return;
    }
    if (packageIdOf(handle) == id_ && icons_.count(handle) != 0)
        defaultIcons_[pluginId] = handle;
}

void Package::loadDefaultIcon() {
    const wstr stored = findResource(name_ + L".ico", false);
    if (!stored.empty())
        loadIcon({L"res://" + name_ + L"/" + stored});
}

uint32_t Package::idOf(const wstr& name) {
    return Plugin::nameHash(wstr::lowerCopy(name));
}

Package::TextResult Package::readTextResource(const wstr& name, uint64_t limit, int layer) {
    TextResult result;
    VDir::ReadResult read = readResource(name, limit, layer);
    result.status = read.status;
    if (read.status != VDir::ReadResult::Done)
        return result;
    wstr label = name_ + L"/" + name;
    wstr::replaceAll(label, L"\\", L"/");
    try {
        Utf::decodeTextToUtf8(result.text, read.bytes.data(), read.bytes.size(), label);
    } catch (const std::exception& e) {
        result.status = TextResult::decodeFailed;
        result.text.clear();
        result.error = wstr::fromUtf8(e.what());
    }
    return result;
}

bool Package::isUnloaded() const {
    Mutex::Lock lock(mutex_);
    return unloaded_;
}

void Package::markUnloaded() {
    Mutex::Lock lock(mutex_);
    unloaded_ = true;
    for (const auto& [id, plugin] : plugins_)
        plugin->markObsolete();
}

bool Package::shouldTerminate(bool aboutCaller) {
    if (isUnloaded())
        return true;
    if (!aboutCaller)
        return false;
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    return manager && manager->callerState() == PackageManager::callerShouldTerminate;
}

std::shared_ptr<Plugin> Package::findPlugin(uint64_t pluginId) const {
    Mutex::Lock lock(mutex_);
    if (unloaded_)
        return nullptr;
    auto found = plugins_.find(pluginId);
    return found == plugins_.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<Plugin>> Package::plugins() const {
    Mutex::Lock lock(mutex_);
    std::vector<std::shared_ptr<Plugin>> copy;
    copy.reserve(plugins_.size());
    for (const auto& [id, plugin] : plugins_)
        copy.push_back(plugin);
    return copy;
}

// A plugin of the same id that it replaces is released like an unloaded one
// (outside the lock: that enters the interpreter).
void Package::addPlugin(const std::shared_ptr<Plugin>& plugin) {
    std::shared_ptr<Plugin> replaced;
    {
        Mutex::Lock lock(mutex_);
        replaced = std::exchange(plugins_[plugin->id()], plugin);
    }
    if (!replaced || replaced == plugin)
        return;
    replaced->markObsolete();
    replaced->releaseScriptObject();
}

void Package::postMessage(uint32_t kind, const PluginMsg::Data& data) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<PackageManager> manager = host ? host->packageManager() : nullptr;
    if (!manager)
        return;
    const std::shared_ptr<Package> self = shared_from_this();
    for (const std::shared_ptr<Plugin>& plugin : plugins()) {
        if (std::shared_ptr<PluginMsg> msg = PluginMsg::create(self, plugin, kind, data))
            manager->queueTask(msg, plugin);
    }
}

// The plugins leave the map under the lock; their script objects are
// released and the catalog is cleaned after it, so that neither the
// interpreter nor the catalog's lock is entered while it is held.
void Package::unloadPlugins() {
    std::map<uint64_t, std::shared_ptr<Plugin>> dropped;
    {
        Mutex::Lock lock(mutex_);
        dropped.swap(plugins_);
    }
    for (const auto& [id, plugin] : dropped) {
        plugin->markObsolete();
        plugin->releaseScriptObject();
    }
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    std::shared_ptr<Catalog> catalog = host ? host->catalog() : nullptr;
    if (!catalog || dropped.empty())
        return;
    std::size_t actions = 0;
    std::size_t items = 0;
    {
        Mutex::Lock lock(catalog->mutex());
        for (const auto& [id, plugin] : dropped) {
            actions += catalog->removePluginActions(id);
            items += catalog->removePluginItems(id);
            catalog->clearPluginSuggestions(id);
        }
    }
    if (actions != 0)
        Catalog::notifyChanged(Catalog::actionsChanged);
    if (items != 0) {
        catalog->markDirty();
        Catalog::notifyChanged(Catalog::searchChanged);
    }
}

bool Package::settingsLoaded() const {
    Mutex::Lock lock(mutex_);
    return settingsLoaded_;
}

void Package::invalidateSettings() {
    Mutex::Lock lock(mutex_);
    settings_.clear();
    settingsLoaded_ = false;
}

Package::SettingsTexts Package::readSettingsTexts() {
    SettingsTexts texts;
    const wstr base = wstr::lowerCopy(name_);
    for (const wstr& file : DataFs::configFileVariants(base, false)) {
        TextResult read = readTextResource(file, maxResourceSize, -1);
        wstr message;
        if (read.status == VDir::ReadResult::Done && !isUnloaded())
            texts.sources.push_back({file, true, std::move(read.text)});
        else if (read.status == VDir::ReadResult::TooLarge)
            warn(wstr::format(message, L"Resource size exceeds maximum limit of {} bytes: {}",
                              maxResourceSize, file));
        else if (read.status == TextResult::decodeFailed)
            warn(wstr::format(message, L"Could not decode resource: {}", file));
        else if (read.status == VDir::ReadResult::ReadFailed)
            warn(wstr::format(message, L"Could not read resource: {}", file));
    }
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    const wstr userFolder = host ? host->folders().profileUser : wstr();
    for (const wstr& file : DataFs::configFileVariants(base, true)) {
        if (userFolder.empty())
            break;
        const wstr spelled = Path::combine(userFolder, file);
        const wstr found = Sys::findFileNoCase(spelled);
        const wstr path = found.empty() ? spelled : found;
        std::string text;
        wstr error;
        try {
            const Utf::ReadResult read = Utf::readTextFile(text, path, maxResourceSize);
            if (read == Utf::ReadResult::TooLarge)
                wstr::format(error, L"the file is larger than {} bytes", maxResourceSize);
            else if (read == Utf::ReadResult::Unreadable && Sys::isDirectory(path) != -1)
                error = L"the file cannot be read";
        } catch (const std::exception& e) {
            error = wstr::fromUtf8(e.what());
        }
        wstr message;
        if (!error.empty())
            warn(wstr::format(message, L"Error while reading config file {}: {}", path, error));
        if (isUnloaded()) {
            texts.unloaded = true;
            break;
        }
        if (error.empty() && !text.empty())
            texts.sources.push_back({path, false, std::move(text)});
    }
    return texts;
}

namespace {

namespace bp = boost::python;

// The parser fed with the configuration's variables; null, with a warning,
// when it cannot be made. Under the GIL.
std::unique_ptr<PythonIni> newIni(const wstr& packageName) {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    const SettingsStore::KeyMap variables =
        host ? host->configVariables() : SettingsStore::KeyMap();
    try {
        // With the environment, as every parser has it: ${env:HOME} must work.
        auto ini = std::make_unique<PythonIni>(true);
        ini->readDict(L"var", std::map<wstr, wstr>(variables.begin(), variables.end()));
        return ini;
    } catch (const bp::error_already_set&) {
        wstr message;
        warn(wstr::format(message, L"Failed to init PythonIni object for package {}. Error: {}",
                          packageName, wstr::fromUtf8(Python::formatError().c_str())));
        return nullptr;
    }
}

void parseSource(PythonIni& ini, const wstr& name, bool isResource, const std::string& text) {
    try {
        ini.readString(text, name);
    } catch (const bp::error_already_set&) {
        const wstr error = PythonIni::takeErrorLine();
        wstr message;
        if (isResource)
            wstr::format(message, L"Error while parsing settings from resource {}. Error: {}", name,
                         error);
        else
            wstr::format(message, L"Error while parsing settings from {}. Error: {}", name, error);
        warn(message);
    }
}

// A value that cannot be read: a reference told in words, with the file that
// holds it; another error as Python tells it.
void warnUnreadValue(const PythonIni& ini, const wstr& packageName, const wstr& section,
                     const wstr& option) {
    wstr problem = PythonIni::takeReferenceError(section, option);
    wstr message;
    if (problem.empty()) {
        warn(wstr::format(message, L"Error while extracting settings from package {}. Error: {}",
                          packageName, PythonIni::takeErrorLine()));
        return;
    }
    warn(wstr::format(message,
                      L"Error while extracting settings from package {}: setting \"{}\" in "
                      L"section [{}] of {} {}; it is left out",
                      packageName, option, section, ini.sourceOf(section, option), problem));
}

// A value whose reference cannot be resolved is left out with a warning; the
// other values still count.
SettingsStore storeOf(const PythonIni& ini, const wstr& packageName) {
    SettingsStore store;
    for (const wstr& section : ini.sections()) {
        SettingsStore::KeyMap keys;
        for (const wstr& option : ini.options(section)) {
            try {
                keys[wstr::lowerCopy(option)] = ini.get(section, option);
            } catch (const bp::error_already_set&) {
                warnUnreadValue(ini, packageName, section, option);
            }
        }
        store.merge(section, keys);
    }
    return store;
}

} // namespace

bool Package::loadSettings(bool force) {
    if (!PackageHost::instance())
        return false;
    {
        Mutex::Lock lock(mutex_);
        if (unloaded_ || (settingsLoaded_ && !force))
            return false;
    }
    SettingsStore store;
    try {
        const SettingsTexts texts = readSettingsTexts();
        if (texts.unloaded)
            return false;
        GilLock gil;
        if (std::unique_ptr<PythonIni> ini = newIni(name_)) {
            for (const SettingsTexts::Source& source : texts.sources)
                parseSource(*ini, source.name, source.isResource, source.text);
            store = storeOf(*ini, name_);
        }
    } catch (const bp::error_already_set&) {
        wstr message;
        GilLock gil;
        warn(wstr::format(message, L"Error while extracting settings from package {}. Error: {}",
                          name_, wstr::fromUtf8(Python::formatError().c_str())));
        return false;
    } catch (const std::exception& e) {
        wstr message;
        warn(wstr::format(message, L"Error while extracting settings from package {}. Error: {}",
                          name_, wstr::fromUtf8(e.what())));
        return false;
    }
    Mutex::Lock lock(mutex_);
    const bool changed = !settingsLoaded_ || !store.equals(settings_);
    if (force || changed)
        settings_ = std::move(store);
    settingsLoaded_ = true;
    return changed;
}

void Package::ensureSettings() {
    {
        Mutex::Lock lock(mutex_);
        if (settingsLoaded_ || unloaded_)
            return;
    }
    loadSettings(false);
}

std::vector<wstr> Package::settingsSections() {
    ensureSettings();
    Mutex::Lock lock(mutex_);
    return settings_.sections();
}

std::vector<wstr> Package::settingsKeys(const wstr& section) {
    ensureSettings();
    Mutex::Lock lock(mutex_);
    return settings_.keys(section);
}

bool Package::settingsGet(const wstr& section, const wstr& key, wstr& value) {
    ensureSettings();
    Mutex::Lock lock(mutex_);
    return settings_.get(section, key, value);
}
