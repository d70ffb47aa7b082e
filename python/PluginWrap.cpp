#include "python/PluginWrap.h"

#include "core/Logger.h"
#include "packages/PluginMsg.h"
#include "python/Converters.h"
#include "python/GilLock.h"
#include "python/Python.h"

#include <string>
#include <utility>
#include <vector>

namespace bp = boost::python;

namespace PythonBuiltins::detail {
namespace {

wstr widen(const std::string& utf8) {
    return wstr::fromUtf8(utf8.c_str());
}

CatalogItemPtr copyOf(const CatalogItemPtr& item) {
    return item ? copyItem(*item) : nullptr;
}

// The method's arguments for the message: "suggest" the text and the search
// chain, "execute" the item and the action, "events" the flags. The items are
// the catalog's: the plugin gets copies.
bp::object callMethod(const bp::object& method, const PluginMsg& msg) {
    switch (msg.kind()) {
    case PluginMsg::kindSuggest: {
        std::vector<CatalogItemPtr> chain;
        for (const CatalogItemPtr& item : msg.items())
            chain.push_back(copyOf(item));
        return method(msg.text(), chain);
    }
    case PluginMsg::kindExecute:
        return method(msg.items().empty() ? CatalogItemPtr() : copyOf(msg.items().front()),
                      msg.action());
    case PluginMsg::kindEvents:
        return method(msg.flags());
    default:
        return method();
    }
}

} // namespace

PluginWrap::PluginWrap(PyObject* self) : Plugin(fullNameOf(self)), self_(self) {
    Py_INCREF(self_);
}

// The instance holds this object, so a reference still held here is never
// dropped: it would have kept the instance, and so this object, alive.
PluginWrap::~PluginWrap() = default;

wstr PluginWrap::fullNameOf(PyObject* self) {
    const wstr path = Python::qualifiedClassName(Python::borrowed(self));
    const std::vector<wstr> parts = wstr::split(path, L".", true, false);
    wstr joined;
    wstr::join(joined, parts, L".");
    if (parts.size() < 3 || joined != path)
        return {};
    return parts.front() + L"." + parts.back();
}

// Once the interpreter has stopped, the instance is gone with it. At
// shutdown, the GIL is waited for within its limit: past it the instance is
// left as it is.
void PluginWrap::releaseScriptObject() {
    if (!Py_IsInitialized())
        return;
    // Dropping the instance may drop the last other owner of this object.
    GilLock::runLimited(
        [keep = shared_from_this()] { static_cast<PluginWrap&>(*keep).dropInstance(); });
}

// With the GIL held.
void PluginWrap::dropInstance() {
    PyObject* self = std::exchange(self_, nullptr);
    if (!self)
        return;
    Py_DECREF(self);
    if (!PyErr_Occurred())
        return;
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message, L"Failed to delete plugin object \"{}\" properly: {}",
                            fullName(), widen(Python::formatError())));
}

void PluginWrap::dispatchEvent(const PluginMsg& msg) {
    if (msg.pluginId() == 0 || msg.kind() == 0 || msg.kindName().empty())
        return;
    const std::string name = "on_" + msg.kindName();
    GilLock gil;
    if (!self_)
        return;
    try {
        bp::object method = bp::getattr(Python::borrowed(self_), name.c_str(), bp::object());
        if (!method) {
            PyErr_Clear();
            return;
        }
        callMethod(method, msg);
    } catch (const bp::error_already_set&) {
        wstr message;
        logMessage(Logger::Error, wstr::format(message, L"Error from {}.{}: {}", fullName(),
                                               widen(name), widen(Python::formatError())));
    }
}

} // namespace PythonBuiltins::detail
