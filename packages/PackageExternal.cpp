#include <boost/python.hpp>

#include "packages/PackageExternal.h"

#include "core/Logger.h"
#include "core/SysFile.h"
#include "files/DataFs.h"
#include "files/ZipArchive.h"
#include "packages/Plugin.h"
#include "python/GilLock.h"
#include "python/PluginWrap.h"
#include "python/Python.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

namespace bp = boost::python;
using PythonBuiltins::detail::PluginWrap;

namespace {

// A case flag: each layer's own rule, or one for all.
constexpr int ownRule = -1;

wstr widen(const std::string& utf8) {
    return wstr::fromUtf8(utf8.c_str());
}

template <typename... Args>
void log(Logger::Level level, ::detail::WideFormatString<Args...> format, Args&&... args) {
    wstr message;
    logMessage(level, wstr::format(message, format, std::forward<Args>(args)...));
}

// The caller holds the GIL.
bp::object privateModule() {
    return bp::import(wstr::toUtf8(Python::privateModuleName()).c_str());
}

// The importer's call that gives a package its archives (none: forget it).
void setPackageLoaders(const wstr& name, const std::vector<wstr>& archives) {
    privateModule().attr("packages_importer").attr("set_package_loaders")(name, false, archives);
}

// True, with a warning, for a name that would leave the package.
bool refused(const wstr& package, const wstr& name) {
    if (VDir::isPackageRelative(name))
        return false;
    log(Logger::Warning,
        L"Refused resource name of package {}: \"{}\" is absolute or climbs out "
        L"with \"..\"",
        package, name);
    return true;
}

// Why an instance holds no plugin: its class's __init__ did not call
// Plugin.__init__, told with the place of that __init__ and the mend.
wstr whyNoPlugin(const bp::object& instance) {
    const bp::object cls = instance.attr("__class__");
    const wstr name = bp::extract<wstr>(cls.attr("__name__"));
    const bp::object code = bp::getattr(cls.attr("__init__"), "__code__", bp::object());
    wstr text;
    if (!code.is_none())
        wstr::format(text, L"File \"{}\", line {}, in __init__: ",
                     bp::extract<wstr>(code.attr("co_filename"))(),
                     bp::extract<long>(code.attr("co_firstlineno"))());
    return wstr::format(text,
                        L"{}.__init__ does not call super().__init__(): add it as the first line "
                        L"of __init__",
                        name);
}

} // namespace

std::shared_ptr<PackageExternal> PackageExternal::create(const wstr& name, uint64_t revision,
                                                         const std::vector<wstr>& places) {
    std::vector<std::shared_ptr<VDir>> layers;
    for (const wstr& place : places) {
        if (std::shared_ptr<VDir> layer = VDir::create(place)) {
            layers.push_back(std::move(layer));
            continue;
        }
        if (Sys::isDirectory(place) == 0)
            log(Logger::Warning, L"Failed to load/read what appears to be a package file: {}",
                place);
    }
    if (layers.empty())
        return nullptr;
    return std::make_shared<PackageExternal>(name, revision, std::move(layers));
}

wstr PackageExternal::moduleName(const wstr& package, const wstr& script) {
    wstr path = script;
    const wstr extension = L"." + DataFs::pyExtension();
    if (path.size() > extension.size() &&
        wstr::equals(std::wstring_view(path).substr(path.size() - extension.size()), extension,
                     false))
        path.erase(path.size() - extension.size());
    std::replace(path.begin(), path.end(), L'/', L'.');
    return package + L"." + path;
}

PackageExternal::PackageExternal(const wstr& name, uint64_t revision,
                                 std::vector<std::shared_ptr<VDir>> layers)
    : Package(name, revision), layers_(std::move(layers)) {}

PackageExternal::~PackageExternal() {
    GilLock::runLimited([name = name()] {
        try {
            setPackageLoaders(name, {});
        } catch (const bp::error_already_set&) {
            PyErr_Clear();
        }
    });
}

int PackageExternal::findLayer(const wstr& name, int caseSensitive, wstr& stored) {
    for (int i = int(layers_.size()) - 1; i >= 0; --i) {
        VDir& layer = *layers_[std::size_t(i)];
        stored =
            caseSensitive == ownRule ? layer.findFile(name) : layer.findFile(name, caseSensitive);
        if (!stored.empty())
            return i;
    }
    return -1;
}

wstr PackageExternal::findResource(const wstr& name, bool caseSensitive) {
    if (refused(this->name(), name))
        return wstr();
    Mutex::Lock lock(layersMutex_);
    wstr stored;
    findLayer(name, caseSensitive, stored);
    return stored;
}

wstr PackageExternal::findResource(const wstr& name) {
    if (refused(this->name(), name))
        return wstr();
    Mutex::Lock lock(layersMutex_);
    wstr stored;
    findLayer(name, ownRule, stored);
    return stored;
}

// A pattern without a folder matches the file names, in the subfolders when
// recursive; one with a folder ("lib/*") matches the whole names below the
// package, in the folders below its own when recursive.
std::vector<wstr> PackageExternal::listResources(const wstr& pattern, bool recursive,
                                                 int caseSensitive) {
    const std::size_t depth = std::count(pattern.begin(), pattern.end(), L'/');
    Mutex::Lock lock(layersMutex_);
    std::vector<wstr> names;
    std::unordered_set<wstr> listed; // lower-cased: a name shadowed in any case is listed once
    for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
        const bool sensitive =
            caseSensitive == ownRule ? (*layer)->isCaseSensitive() : caseSensitive != 0;
        const std::vector<wstr> found = (*layer)->listFiles(
            depth == 0 ? pattern : wstr(L"*"), depth == 0 ? recursive : true, sensitive);
        for (const wstr& each : found) {
            wstr name = ZipArchive::normalizeEntryName(each);
            if (depth > 0 &&
                (!wstr::wildcardMatch(name, pattern, sensitive) ||
                 (!recursive && std::size_t(std::count(name.begin(), name.end(), L'/')) != depth)))
                continue;
            if (listed.insert(wstr::lowerCopy(name)).second)
                names.push_back(std::move(name));
        }
    }
    return names;
}

std::vector<wstr> PackageExternal::findResources(const wstr& pattern, bool recursive,
                                                 bool caseSensitive) {
    return listResources(pattern, recursive, caseSensitive);
}

std::vector<wstr> PackageExternal::findResources(const wstr& pattern, bool recursive) {
    return listResources(pattern, recursive, ownRule);
}

std::vector<VDir::EntryInfo> PackageExternal::resourceInfo(const wstr& name, bool existingOnly) {
    std::vector<VDir::EntryInfo> infos;
    if (refused(this->name(), name) && existingOnly)
        return infos;
    Mutex::Lock lock(layersMutex_);
    for (const std::shared_ptr<VDir>& layer : layers_) {
        VDir::EntryInfo info = layer->stat(name);
        if (info.exists || !existingOnly)
            infos.push_back(std::move(info));
    }
    return infos;
}

VDir::ReadResult PackageExternal::readResource(const wstr& name, uint64_t limit, int layer) {
    if (refused(this->name(), name))
        return {};
    Mutex::Lock lock(layersMutex_);
    wstr stored = name;
    if (layer < 0)
        layer = findLayer(name, ownRule, stored);
    if (layer < 0 || std::size_t(layer) >= layers_.size())
        return {};
    return layers_[std::size_t(layer)]->readFile(stored, limit);
}

// Archives only: folder packages are found on the module search path.
std::vector<wstr> PackageExternal::archivePaths() {
    Mutex::Lock lock(layersMutex_);
    std::vector<wstr> paths;
    for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
        if ((*layer)->type() == VDir::Zip && (*layer)->isOpen())
            paths.push_back((*layer)->path());
    }
    return paths;
}

void PackageExternal::setUpImporter() {
    const std::vector<wstr> archives = archivePaths();
    GilLock gil;
    try {
        setPackageLoaders(name(), archives);
    } catch (const bp::error_already_set&) {
        log(Logger::Error, L"Failed to setup package \"{}\" on the Python side. {}", name(),
            widen(Python::formatError()));
    }
}

bool PackageExternal::load() {
    unloadPlugins();
    loadDefaultIcon();
    setUpImporter();
    std::vector<wstr> scripts = findResources(L"*." + DataFs::pyExtension(), false, false);
    std::sort(scripts.begin(), scripts.end(),
              [](const wstr& a, const wstr& b) { return wstr::compare(a, b, false, -1) < 0; });
    for (const wstr& script : scripts)
        loadScript(script);
    return true;
}

// Each instance becomes a plugin of this load; one that is no plugin, or
// whose class names no plugin, is left out.
void PackageExternal::loadScript(const wstr& script) {
    GilLock gil;
    bp::object instances;
    Py_ssize_t count = 0;
    try {
        instances = privateModule().attr("reload_module")(moduleName(name(), script), name());
        count = bp::len(instances);
    } catch (const bp::error_already_set&) {
        // The script gives no plugin: an error, which the console shows.
        log(Logger::Error, L"Error while loading Python script {}/{}: {}", name(), script,
            widen(Python::formatError()));
        return;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        std::shared_ptr<Plugin> plugin;
        try {
            bp::extract<PluginWrap&> wrap(instances[i]);
            if (!wrap.check()) {
                const wstr className =
                    bp::extract<wstr>(instances[i].attr("__class__").attr("__name__"));
                log(Logger::Error, L"Error while creating plugin {}.{}: {}", name(), className,
                    whyNoPlugin(instances[i]));
                continue;
            }
            plugin = wrap().shared_from_this();
        } catch (const bp::error_already_set&) {
            log(Logger::Warning, L"Error while registering a Python plugin from {}/{}: {}", name(),
                script, widen(Python::formatError()));
            continue;
        }
        plugin->setRevision(revision());
        if (plugin->id() == 0 || plugin->fullName().empty()) {
            // Nothing else will ever release the instance it holds.
            plugin->releaseScriptObject();
            continue;
        }
        addPlugin(plugin);
        log(Logger::Info, L"Plugin loaded: {} (instance #{})", plugin->fullName(), revision());
    }
}
