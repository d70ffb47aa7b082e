// The Python class Plugin, which plugin classes derive from.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "core/Utf.h"
#include "packages/Package.h"
#include "python/ApiDefinition.h"
#include "python/ApiFunction.h"
#include "python/Converters.h"
#include "python/GuardedFunction.h"
#include "python/PluginWrap.h"
#include "python/Python.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace bp = boost::python;
using PythonBuiltins::detail::PluginWrap;

namespace PythonBuiltins {
namespace {

using Items = std::vector<CatalogItemPtr>;
using Actions = std::vector<CatalogActionPtr>;

// A list of items on its way to the catalog: copies taken while the GIL is
// held, so that nothing the plugin later does to its objects (from any of its
// threads) reaches the catalog, which changes its items only under its lock.
struct ItemCopies {
    Items items;

    // As a list of items converts.
    static void* convertible(PyObject* object) {
        return bp::converter::rvalue_from_python_stage1(
                   object, bp::converter::registered<Items>::converters)
                       .convertible
                   ? object
                   : nullptr;
    }

    static void construct(PyObject* object, bp::converter::rvalue_from_python_stage1_data* data) {
        Items items = bp::extract<Items>(object)();
        for (CatalogItemPtr& item : items) {
            if (item)
                item = detail::copyItem(*item);
        }
        void* storage =
            reinterpret_cast<bp::converter::rvalue_from_python_storage<ItemCopies>*>(data)
                ->storage.bytes;
        new (storage) ItemCopies{std::move(items)};
        data->convertible = storage;
    }
};

wstr fullName(const PluginWrap& plugin) {
    return plugin.fullName();
}

wstr packageName(const PluginWrap& plugin) {
    return plugin.packageName();
}

unsigned long long id(const PluginWrap& plugin) {
    return plugin.id();
}

unsigned long long revision(const PluginWrap& plugin) {
    return plugin.revision();
}

unsigned packageId(const PluginWrap& plugin) {
    return plugin.packageId();
}

// The package of this load of the plugin; an obsolete plugin has none.
std::shared_ptr<Package> packageOf(const PluginWrap* plugin) {
    std::shared_ptr<Package> package = plugin->package();
    if (!package)
        Python::setError(PyExc_ZeroDivisionError,
                         L"Obsolete instance of plugin {}, parent Package has been reloaded or "
                         L"unloaded",
                         plugin->fullName());
    return package;
}

// "<package>/<resource>", as messages name a resource.
wstr resourceLabel(const Package& package, const wstr& name) {
    wstr label = package.name() + L"/" + name;
    std::replace(label.begin(), label.end(), L'\\', L'/');
    return label;
}

bool hasResource(const PluginWrap* plugin, const wstr& name) {
    return !packageOf(plugin)->findResource(name, false).empty();
}

Python::WstrList findResources(const PluginWrap* plugin, const wstr& pattern) {
    return packageOf(plugin)->findResources(pattern, true, false);
}

// The resource's content, at most 16 MiB.
Python::Bytes extractResource(Package& package, const wstr& name, const wstr& label) {
    const wstr stored = package.findResource(name, false);
    if (stored.empty())
        Python::setError(PyExc_FileNotFoundError, L"Resource not found: {}", label);
    VDir::ReadResult read = package.readResource(stored, Package::maxResourceSize, -1);
    switch (read.status) {
    case VDir::ReadResult::Done:
        return std::move(read.bytes);
    case VDir::ReadResult::NoSuchFile:
        Python::setError(PyExc_FileNotFoundError, L"Resource not found at extraction: {}", label);
    case VDir::ReadResult::TooLarge:
        Python::setError(PyExc_IOError, L"Resource size exceeds maximum limit of {} bytes: {}",
                         Package::maxResourceSize, label);
    case VDir::ReadResult::NotRegular:
        Python::setError(PyExc_FileNotFoundError, L"Resource is not a regular file: {}", label);
    case VDir::ReadResult::ReadFailed:
        Python::setError(PyExc_OSError, L"Error while accessing resource: {}", label);
    default:
        Python::setError(PyExc_RuntimeError,
                         L"Unknown error occurred while extracting resource: {}", label);
    }
}

Python::Bytes loadBinaryResource(const PluginWrap* plugin, const wstr& name) {
    std::shared_ptr<Package> package = packageOf(plugin);
    return extractResource(*package, name, resourceLabel(*package, name));
}

wstr loadTextResource(const PluginWrap* plugin, const wstr& name) {
    std::shared_ptr<Package> package = packageOf(plugin);
    const wstr label = resourceLabel(*package, name);
    const Python::Bytes bytes = extractResource(*package, name, label);
    wstr text;
    try {
        Utf::decodeText(text, bytes.data(), bytes.size(), label);
    } catch (const std::exception& e) {
        Python::setError(PyExc_ValueError, L"{}", wstr::fromUtf8(e.what()));
    }
    return text;
}

// Checked before anything else, so also for an obsolete plugin, which is
// then ignored. 0 removes the default icon.
void setDefaultIcon(PluginWrap* plugin, unsigned long long handle) {
    if (handle != 0 && static_cast<uint32_t>(handle >> 32) != plugin->packageId())
        Python::setError(PyExc_ValueError, L"invalid IconHandle");
    if (std::shared_ptr<Package> package = plugin->package())
        package->setDefaultIcon(plugin->id(), handle);
}

} // namespace

void definePlugin() {
    using Cls = bp::class_<PluginWrap, std::shared_ptr<PluginWrap>, boost::noncopyable>;
    Cls cls("Plugin", bp::init<>());
    Python::defineApiFunction(cls, "Plugin.__init__", cls.attr("__init__"),
                              Python::parameterTypes<bp::object>(),
                              apiDocstring("Plugin.__init__"));
    Python::defineUnpicklable(cls, "Plugin");
    defineFunction(cls, "Plugin.__str__", &fullName, "__str__()");
    defineFunction(cls, "Plugin.full_name", &fullName);
    defineFunction(cls, "Plugin.id", &id);
    defineFunction(cls, "Plugin.revision", &revision);
    defineFunction(cls, "Plugin.package_id", &packageId);
    defineFunction(cls, "Plugin.package_full_name", &packageName);
    // The module function's answer, and True as well for an instance whose
    // package was reloaded or unloaded.
    defineGuarded<bool(PluginWrap*)>(cls, "Plugin.should_terminate", [](PluginWrap* plugin) {
        return callerShouldTerminate() || plugin->isObsolete();
    });
    defineGuarded<unsigned long long(PluginWrap*, unsigned, const Actions&)>(
        cls, "Plugin.set_actions",
        [](PluginWrap* plugin, unsigned category, const Actions& actions) {
            return plugin->setActions(category, actions);
        });
    defineGuarded<void(PluginWrap*, unsigned)>(
        cls, "Plugin.clear_actions",
        [](PluginWrap* plugin, unsigned category) { plugin->clearActions(category); });
    defineGuarded<void(PluginWrap*)>(cls, "Plugin.clear_all_actions",
                                     [](PluginWrap* plugin) { plugin->clearAllActions(); });
    bp::converter::registry::push_back(&ItemCopies::convertible, &ItemCopies::construct,
                                       bp::type_id<ItemCopies>());
    Python::nameArgumentType<ItemCopies, CatalogItemPtr>("list of CatalogItem");
    Python::nameArgumentType<PluginWrap>("Plugin");
    defineGuarded<void(PluginWrap*, const ItemCopies&)>(
        cls, "Plugin.set_catalog",
        [](PluginWrap* plugin, const ItemCopies& copies) { plugin->setCatalog(copies.items); });
    defineGuarded<void(PluginWrap*, const ItemCopies&)>(
        cls, "Plugin.merge_catalog",
        [](PluginWrap* plugin, const ItemCopies& copies) { plugin->mergeCatalog(copies.items); });
    defineGuarded<void(PluginWrap*, const ItemCopies&, unsigned, unsigned)>(
        cls, "Plugin.set_suggestions",
        [](PluginWrap* plugin, const ItemCopies& copies, unsigned match, unsigned sort) {
            plugin->setSuggestions(copies.items, match, sort);
        });
    defineGuarded<bool(const PluginWrap*, const wstr&)>(cls, "Plugin.has_resource", &hasResource);
    defineGuarded<Python::WstrList(const PluginWrap*, const wstr&)>(cls, "Plugin.find_resources",
                                                                    &findResources);
    defineGuarded<Python::Bytes(const PluginWrap*, const wstr&)>(cls, "Plugin.load_binary_resource",
                                                                 &loadBinaryResource);
    defineGuarded<wstr(const PluginWrap*, const wstr&)>(cls, "Plugin.load_text_resource",
                                                        &loadTextResource);
    defineGuarded<void(PluginWrap*, unsigned long long)>(cls, "Plugin.set_default_icon",
                                                         &setDefaultIcon);
    defineFunction(cls, "Plugin.name", &fullName);
    defineFunction(cls, "Plugin.package_name", &packageName);
}

} // namespace PythonBuiltins
