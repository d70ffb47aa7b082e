// The Python classes CatalogAction and CatalogItem: the program's own types,
// held by shared pointer on both sides, and lists of them.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "python/ArgumentErrors.h"
#include "python/PluginWrap.h"
#include "python/Python.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace bp = boost::python;
using PythonBuiltins::detail::PluginWrap;

namespace PythonBuiltins {
namespace {

// A list of items or actions, both ways: each element an object of the class
// or None (an empty pointer).
template <class T> struct PointerListConversion {
    using List = std::vector<std::shared_ptr<T>>;

    static PyObject* convert(const List& pointers) {
        bp::list list;
        for (const std::shared_ptr<T>& pointer : pointers)
            list.append(pointer);
        return bp::incref(list.ptr());
    }

    // Each element an object of the class or None: a list that holds
    // anything else is refused as a whole, so that the caller learns which
    // argument and element it was.
    static void* convertible(PyObject* object) {
        if (!PyList_Check(object))
            return nullptr;
        const bp::converter::registration& element =
            bp::converter::registered<std::shared_ptr<T>>::converters;
        for (Py_ssize_t i = 0, n = PyList_GET_SIZE(object); i < n; ++i) {
            if (!bp::converter::rvalue_from_python_stage1(PyList_GET_ITEM(object, i), element)
                     .convertible)
                return nullptr;
        }
        return object;
    }

    // Each element's own shared pointer (its holder's), not one that keeps
    // the Python object: the program drops these on threads without the GIL.
    static void construct(PyObject* object, bp::converter::rvalue_from_python_stage1_data* data) {
        bp::list items(bp::handle<>(bp::borrowed(object)));
        List pointers(bp::len(items));
        for (std::size_t i = 0; i < pointers.size(); ++i) {
            bp::object element = items[i];
            if (!element.is_none())
                pointers[i] = bp::extract<std::shared_ptr<T>&>(element)();
        }
        void* storage =
            reinterpret_cast<bp::converter::rvalue_from_python_storage<List>*>(data)->storage.bytes;
        new (storage) List(std::move(pointers));
        data->convertible = storage;
    }

    static void registerBoth(const char* pythonName) {
        bp::to_python_converter<List, PointerListConversion>();
        bp::converter::registry::push_back(&convertible, &construct, bp::type_id<List>());
        Python::nameArgumentType<List, std::shared_ptr<T>>(pythonName);
    }
};

// --- CatalogAction ----------------------------------------------------------

// No Python object holds an action of no plugin or of the application: such
// an object holds nothing, and each of its methods refuses it.
std::shared_ptr<CatalogAction> makeAction(unsigned long long pluginId, const wstr& name,
                                          const wstr& label, const wstr& shortDesc,
                                          const wstr& dataBag) {
    if (pluginId == 0 || pluginId == CatalogAction::appPluginId)
        return nullptr;
    return std::make_shared<CatalogAction>(pluginId, name, label, shortDesc, dataBag);
}

wstr actionText(const CatalogAction& action) {
    wstr text;
    return wstr::format(text, L"{} ({})", action.label(), action.name());
}

bool actionLess(const CatalogAction& a, const CatalogAction& b) {
    return CatalogAction::compare(a, b) < 0;
}

// --- CatalogItem ------------------------------------------------------------

std::shared_ptr<CatalogItem> makeItem(const PluginWrap& plugin, unsigned category,
                                      const wstr& label, const wstr& shortDesc, const wstr& target,
                                      unsigned argsHint, bool loopOnSuggest, unsigned hitHint,
                                      unsigned long long iconHandle, const wstr& dataBag) {
    return std::make_shared<CatalogItem>(plugin.id(), category, label, shortDesc, target, argsHint,
                                         loopOnSuggest, hitHint, iconHandle, dataBag);
}

wstr itemText(const CatalogItem& item) {
    if (item.rawArgs().empty())
        return item.label();
    return item.label() + L" | " + item.displayedArgs();
}

wstr label(const CatalogItem& item) {
    return item.label();
}
wstr shortDesc(const CatalogItem& item) {
    return item.shortDesc();
}
wstr target(const CatalogItem& item) {
    return item.target();
}
wstr dataBag(const CatalogItem& item) {
    return item.dataBag();
}
wstr rawArgs(const CatalogItem& item) {
    return item.rawArgs();
}
wstr displayedArgs(const CatalogItem& item) {
    return item.displayedArgs();
}

void setLabel(CatalogItem& item, const wstr& text) {
    item.setLabel(text, true);
}

void setArgs(CatalogItem& item, const wstr& raw, const wstr& displayed) {
    item.setArgs(raw, displayed);
}

void setRawArgs(CatalogItem& item, const wstr& raw) {
    item.setArgs(raw, wstr());
}

} // namespace

CatalogItemPtr detail::copyItem(const CatalogItem& item) {
    CatalogItemPtr copy = item.clone();
    copy->setArgs(item.rawArgs(), item.displayArgsField());
    return copy;
}

void defineCatalogAction() {
    using A = CatalogAction;
    bp::class_<A, std::shared_ptr<A>, boost::noncopyable>("CatalogAction", bp::no_init)
        .def("__init__", bp::make_constructor(&makeAction))
        .def("__str__", &actionText)
        .def(
            "__eq__", +[](const A& a, const A& b) { return a.id() == b.id(); })
        .def(
            "__ne__", +[](const A& a, const A& b) { return a.id() != b.id(); })
        .def(
            "__lt__", +[](const A& a, const A& b) { return actionLess(a, b); })
        .def(
            "__le__", +[](const A& a, const A& b) { return a.id() == b.id() || actionLess(a, b); })
        .def(
            "__gt__", +[](const A& a, const A& b) { return actionLess(b, a); })
        .def(
            "__ge__", +[](const A& a, const A& b) { return a.id() == b.id() || actionLess(b, a); })
        .def("valid", &A::isValid)
        .def(
            "plugin_id", +[](const A& a) -> unsigned long long { return a.pluginId(); })
        .def("app_owned", &A::isAppOwned)
        .def(
            "name", +[](const A& a) { return a.name(); })
        .def(
            "label", +[](const A& a) { return a.label(); })
        .def(
            "short_desc", +[](const A& a) { return a.shortDesc(); })
        .def(
            "data_bag", +[](const A& a) { return a.dataBag(); });
    PointerListConversion<A>::registerBoth("list of CatalogAction");
    Python::nameArgumentType<A>("CatalogAction");
}

void defineCatalogItem() {
    using I = CatalogItem;
    bp::class_<I, std::shared_ptr<I>, boost::noncopyable>("CatalogItem", bp::no_init)
        .def("__init__", bp::make_constructor(&makeItem))
        .def("__str__", &itemText)
        .def(
            "__eq__", +[](const I& a, const I& b) { return a.id() == b.id(); })
        .def(
            "__ne__", +[](const I& a, const I& b) { return a.id() != b.id(); })
        .def(
            "__lt__", +[](const I& a, const I& b) { return a.id() < b.id(); })
        .def(
            "__le__", +[](const I& a, const I& b) { return a.id() <= b.id(); })
        .def(
            "__gt__", +[](const I& a, const I& b) { return a.id() > b.id(); })
        .def(
            "__ge__", +[](const I& a, const I& b) { return a.id() >= b.id(); })
        .def(
            "__hash__", +[](const I& item) -> unsigned long long { return item.id(); })
        .def("valid", &I::isValid)
        .def(
            "id", +[](const I& item) -> unsigned long long { return item.id(); })
        .def("category", &I::category)
        .def("label", &label)
        .def("set_label", &setLabel)
        .def("short_desc", &shortDesc)
        .def("set_short_desc", &I::setShortDesc)
        .def("target", &target)
        .def("hit_hint", &I::hitHint)
        .def("args_hint", &I::argsHint)
        .def("accepts_args", &I::acceptsArgs)
        .def("requires_args", &I::requiresArgs)
        .def("loop_on_suggest", &I::loopOnSuggest)
        .def("set_loop_on_suggest", &I::setLoopOnSuggest)
        .def("data_bag", &dataBag)
        .def("set_data_bag", &I::setDataBag)
        .def("raw_args", &rawArgs)
        .def("displayed_args", &displayedArgs)
        .def("set_args", &setArgs)
        .def("set_args", &setRawArgs)
        .def("clone", &detail::copyItem);
    PointerListConversion<I>::registerBoth("list of CatalogItem");
    Python::nameArgumentType<I>("CatalogItem");
}

} // namespace PythonBuiltins
