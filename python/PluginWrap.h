#pragma once

#include <boost/python.hpp>

#include "packages/Plugin.h"

namespace PythonBuiltins::detail {

// A new item equal to the given one in every field Python sees, arguments
// included. Items cross between a plugin and the program only as such copies:
// a plugin may change the objects it holds, the catalog's must not change
// behind its back. Any thread; the caller keeps the source from changing.
CatalogItemPtr copyItem(const CatalogItem& item);

// A plugin written in Python: the program-side object behind an instance of
// quorvalent_api.Plugin. Each message calls the instance's method named "on_"
// and the message's name, when the class has one.
//
// The instance owns this object (its holder keeps the first shared pointer),
// and this object keeps the instance alive until releaseScriptObject, which
// breaks the cycle when the package drops its plugins.
class PluginWrap : public Plugin {
public:
    // Built by the Python class's constructor, with the GIL held; `self` is
    // the new instance, whose class names the plugin.
    explicit PluginWrap(PyObject* self);
    ~PluginWrap() override;

    // The full name of a plugin instance: "<package>.<class>" when its
    // module and class make "<package>.<module path>.<class>", else empty.
    // The caller holds the GIL.
    static wstr fullNameOf(PyObject* self);

    bool isInternal() const override { return false; }
    // Drops the instance. Takes the GIL (within GilLock's limit); any thread.
    void releaseScriptObject() override;
    // Calls the instance's method for the message; a Python exception is
    // logged. Takes the GIL; pool worker.
    void dispatchEvent(const PluginMsg& msg) override;

private:
    void dropInstance();

    PyObject* self_; // a strong reference until released; touched with the GIL held
};

} // namespace PythonBuiltins::detail

// The Python class constructs PluginWrap with its instance.
template <>
struct boost::python::has_back_reference<PythonBuiltins::detail::PluginWrap> : boost::mpl::true_ {};
