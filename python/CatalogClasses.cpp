// The Python classes CatalogAction and CatalogItem: the program's own types,
// held by shared pointer on both sides, and lists of them.
#include <boost/python.hpp>

#include "python/PythonBuiltins.h"

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "python/ApiDefinition.h"
#include "python/ApiFunction.h"
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

bool actionEqual(const CatalogAction& a, const CatalogAction& b) {
    return a.id() == b.id();
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

bool itemEqual(const CatalogItem& a, const CatalogItem& b) {
    return a.id() == b.id();
}

bool itemLess(const CatalogItem& a, const CatalogItem& b) {
    return a.id() < b.id();
}

// The six comparisons of a class from its equality and its order; another
// type of operand is NotImplemented, as Python expects of them.
template <class T>
void defineComparisons(const bp::object& cls, const std::string& name,
                       bool (*equal)(const T&, const T&), bool (*less)(const T&, const T&)) {
    using Compare = std::function<bool(const T&, const T&)>;
    const std::pair<const char*, Compare> comparisons[] = {
        {"__eq__", equal},
        {"__ne__", [equal](const T& a, const T& b) { return !equal(a, b); }},
        {"__lt__", less},
        {"__le__", [equal, less](const T& a, const T& b) { return equal(a, b) || less(a, b); }},
        {"__gt__", [less](const T& a, const T& b) { return less(b, a); }},
        {"__ge__", [equal, less](const T& a, const T& b) { return equal(a, b) || less(b, a); }},
    };
    for (const auto& [method, compare] : comparisons) {
        const std::string doc = std::string(method) + "(other)";
        Python::defineApiFunction(cls, name + "." + method,
                                  bp::make_function(compare, bp::default_call_policies(),
                                                    boost::mpl::vector<bool, const T&, const T&>()),
                                  Python::parameterTypes<const T&, const T&>(), doc.c_str());
    }
}

} // namespace

CatalogItemPtr detail::copyItem(const CatalogItem& item) {
    CatalogItemPtr copy = item.clone();
    copy->setArgs(item.rawArgs(), item.displayArgsField());
    return copy;
}

void defineCatalogAction() {
    using A = CatalogAction;
    bp::class_<A, std::shared_ptr<A>, boost::noncopyable> cls("CatalogAction", bp::no_init);
    defineConstructor(cls, "CatalogAction.__init__", &makeAction);
    Python::defineUnpicklable(cls, "CatalogAction");
    defineFunction(cls, "CatalogAction.__str__", &actionText, "__str__()");
    defineComparisons<A>(cls, "CatalogAction", &actionEqual, &actionLess);
    defineFunction(cls, "CatalogAction.valid", &A::isValid);
    defineFunction(
        cls, "CatalogAction.plugin_id",
        +[](const A& a) -> unsigned long long { return a.pluginId(); });
    defineFunction(cls, "CatalogAction.app_owned", &A::isAppOwned);
    defineFunction(
        cls, "CatalogAction.name", +[](const A& a) { return a.name(); });
    defineFunction(
        cls, "CatalogAction.label", +[](const A& a) { return a.label(); });
    defineFunction(
        cls, "CatalogAction.short_desc", +[](const A& a) { return a.shortDesc(); });
    defineFunction(
        cls, "CatalogAction.data_bag", +[](const A& a) { return a.dataBag(); });
    PointerListConversion<A>::registerBoth("list of CatalogAction");
    Python::nameArgumentType<A>("CatalogAction");
}

void defineCatalogItem() {
    using I = CatalogItem;
    bp::class_<I, std::shared_ptr<I>, boost::noncopyable> cls("CatalogItem", bp::no_init);
    defineConstructor(cls, "CatalogItem.__init__", &makeItem);
    Python::defineUnpicklable(cls, "CatalogItem");
    defineFunction(cls, "CatalogItem.__str__", &itemText, "__str__()");
    defineComparisons<I>(cls, "CatalogItem", &itemEqual, &itemLess);
    defineFunction(
        cls, "CatalogItem.__hash__", +[](const I& item) -> unsigned long long { return item.id(); },
        "__hash__()");
    defineFunction(cls, "CatalogItem.valid", &I::isValid);
    defineFunction(
        cls, "CatalogItem.id", +[](const I& item) -> unsigned long long { return item.id(); });
    defineFunction(cls, "CatalogItem.category", &I::category);
    defineFunction(cls, "CatalogItem.label", &label);
    defineFunction(cls, "CatalogItem.set_label", &setLabel);
    defineFunction(cls, "CatalogItem.short_desc", &shortDesc);
    defineFunction(cls, "CatalogItem.set_short_desc", &I::setShortDesc);
    defineFunction(cls, "CatalogItem.target", &target);
    defineFunction(cls, "CatalogItem.hit_hint", &I::hitHint);
    defineFunction(cls, "CatalogItem.args_hint", &I::argsHint);
    defineFunction(cls, "CatalogItem.accepts_args", &I::acceptsArgs);
    defineFunction(cls, "CatalogItem.requires_args", &I::requiresArgs);
    defineFunction(cls, "CatalogItem.loop_on_suggest", &I::loopOnSuggest);
    defineFunction(cls, "CatalogItem.set_loop_on_suggest", &I::setLoopOnSuggest);
    defineFunction(cls, "CatalogItem.data_bag", &dataBag);
    defineFunction(cls, "CatalogItem.set_data_bag", &I::setDataBag);
    defineFunction(cls, "CatalogItem.raw_args", &rawArgs);
    defineFunction(cls, "CatalogItem.displayed_args", &displayedArgs);
    defineFunction(cls, "CatalogItem.set_args", &setArgs);
    defineFunction(cls, "CatalogItem.clone", &detail::copyItem);
    PointerListConversion<I>::registerBoth("list of CatalogItem");
    Python::nameArgumentType<I>("CatalogItem");
}

} // namespace PythonBuiltins
