#include <boost/python.hpp>

#include "python/ArgumentErrors.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

namespace bp = boost::python;

namespace Python {
namespace {

// The binding library keeps a function's signatures and overloads private
// and offers no hook for its argument errors: these reach them (an explicit
// instantiation may name a private member).
template <auto Member, class Tag> struct Reach {
    friend constexpr auto member(Tag) { return Member; }
};
struct Signatures {
    friend constexpr auto member(Signatures);
};
struct Overloads {
    friend constexpr auto member(Overloads);
};
template struct Reach<&bp::objects::function::m_fn, Signatures>;
template struct Reach<&bp::objects::function::m_overloads, Overloads>;

using Function = bp::objects::function;
using Element = bp::detail::signature_element;

// A C++ parameter type as Python callers know it. Without a registration
// any object is taken.
struct ArgumentType {
    std::string pythonName;
    const bp::converter::registration* registration = nullptr;
    const bp::converter::registration* element = nullptr;
};

// A type's name as signatures give it. The binding library's own
// demangling keeps its names for the whole process (which the leak checker
// reports): ours frees them.
std::string demangled(const char* mangledName) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangledName, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(mangledName);
}

std::map<std::string, ArgumentType>& argumentTypes() {
    static std::map<std::string, ArgumentType> types;
    return types;
}

// A parameter of a signature: its type's Python name, and whether it is a
// pointer (which also takes None).
struct Parameter {
    const ArgumentType* type = nullptr;
    bool pointer = false;
};

Parameter parameterOf(const Element& element) {
    std::string name = element.basename;
    Parameter parameter;
    parameter.pointer = name.ends_with('*');
    if (parameter.pointer)
        name.pop_back();
    if (name.ends_with(" const"))
        name.resize(name.size() - std::strlen(" const"));
    auto found = argumentTypes().find(name);
    if (found != argumentTypes().end())
        parameter.type = &found->second;
    return parameter;
}

std::string typeName(PyObject* object) {
    return object == Py_None ? "None" : Py_TYPE(object)->tp_name;
}

bool converts(PyObject* object, const bp::converter::registration& registration) {
    return bp::converter::rvalue_from_python_stage1(object, registration).convertible != nullptr;
}

bool accepts(const Parameter& parameter, PyObject* object) {
    const bp::converter::registration* registration = parameter.type->registration;
    if (!registration)
        return true;
    if (parameter.pointer)
        return object == Py_None || bp::converter::get_lvalue_from_python(object, *registration);
    return converts(object, *registration);
}

// What is wrong with the argument ("must be str, not int"), or nothing.
std::optional<std::string> refusal(const Parameter& parameter, PyObject* object) {
    const ArgumentType& type = *parameter.type;
    const std::string expected = "must be " + type.pythonName + ", not ";
    if (type.element && PyList_Check(object)) {
        for (Py_ssize_t i = 0, n = PyList_GET_SIZE(object); i < n; ++i) {
            PyObject* item = PyList_GET_ITEM(object, i);
            if (!converts(item, *type.element))
                return expected + "list with " + typeName(item) + " at index " + std::to_string(i);
        }
    }
    if (accepts(parameter, object))
        return std::nullopt;
    PyTypeObject* cls = type.registration ? type.registration->m_class_object : nullptr;
    if (cls && PyObject_TypeCheck(object, cls))
        return expected + "an empty " + typeName(object);
    return expected + typeName(object);
}

// A bound function as Python callers see it.
struct Callee {
    std::string name;                    // "Plugin.set_catalog()", "CatalogItem()", "log()"
    bool method = false;                 // its first argument is self
    std::vector<std::string> parameters; // after self, from the docstring
};

bool namesModule(const bp::object& space) {
    if (PyModule_Check(space.ptr()))
        return true;
    if (!PyUnicode_Check(space.ptr()))
        return false;
    PyObject* module = PyDict_GetItemWithError(PyImport_GetModuleDict(), space.ptr());
    return module && PyModule_Check(module);
}

std::string textOf(const bp::object& object) {
    if (PyUnicode_Check(object.ptr()))
        return bp::extract<std::string>(object);
    bp::object name = bp::getattr(object, "__name__", bp::str());
    return bp::extract<std::string>(name);
}

// "set_args(raw_args[, displayed_args]) -> ..." gives raw_args and
// displayed_args, when the docstring's first line starts with `name(`.
std::vector<std::string> parameterNames(const bp::object& doc, const std::string& name) {
    std::vector<std::string> names;
    if (!PyUnicode_Check(doc.ptr()))
        return names;
    const std::string text = bp::extract<std::string>(doc);
    const std::string head = text.substr(0, text.find('\n'));
    const std::size_t close = head.find(')');
    if (!head.starts_with(name + "(") || close == std::string::npos)
        return names;
    std::string current;
    for (char c : head.substr(name.size() + 1, close - name.size() - 1)) {
        if (c == ',') {
            names.push_back(current);
            current.clear();
        } else if (c != ' ' && c != '[' && c != ']') {
            current += c;
        }
    }
    if (!current.empty())
        names.push_back(current);
    return names;
}

Callee calleeOf(const Function& function) {
    Callee callee;
    const std::string name = textOf(function.name());
    const bp::object space = function.get_namespace();
    callee.method = !space.is_none() && !namesModule(space);
    const std::string owner = callee.method ? textOf(space) : std::string();
    const bool constructor = callee.method && name == "__init__";
    const std::string shown = constructor ? owner : callee.method ? owner + "." + name : name;
    callee.name = shown + "()";
    callee.parameters = parameterNames(function.doc(), constructor ? owner : name);
    return callee;
}

std::string argumentLabel(const Callee& callee, std::size_t index) {
    if (callee.method && index == 0)
        return "argument 'self'";
    const std::size_t position = callee.method ? index - 1 : index;
    if (position < callee.parameters.size())
        return "argument '" + callee.parameters[position] + "'";
    return "argument " + std::to_string(position + 1);
}

std::vector<const Function*> overloadsOf(const Function& function) {
    std::vector<const Function*> all;
    for (const Function* f = &function; f; f = (f->*member(Overloads{})).get())
        all.push_back(f);
    return all;
}

const bp::objects::py_function& implOf(const Function& function) {
    return function.*member(Signatures{});
}

// "takes 10 positional arguments but 9 were given", counted as the caller
// writes them (without self).
std::string arityText(const std::vector<const Function*>& overloads, std::size_t given,
                      bool method) {
    const unsigned self = method ? 1 : 0;
    unsigned low = ~0u, high = 0;
    for (const Function* f : overloads) {
        low = std::min(low, implOf(*f).min_arity() - self);
        high = std::max(high, implOf(*f).max_arity() - self);
    }
    std::string text = "takes ";
    text += low == high ? std::to_string(low)
                        : "from " + std::to_string(low) + " to " + std::to_string(high);
    text += high == 1 ? " positional argument" : " positional arguments";
    text += " but " + std::to_string(given - self) + (given - self == 1 ? " was" : " were");
    return text + " given";
}

// The first argument an overload of the right arity refuses, described.
std::optional<std::string> typeRefusal(const std::vector<const Function*>& overloads,
                                       const Callee& callee, PyObject* args) {
    const std::size_t given = std::size_t(PyTuple_GET_SIZE(args));
    for (const Function* f : overloads) {
        const bp::objects::py_function& impl = implOf(*f);
        if (given < impl.min_arity() || given > impl.max_arity())
            continue;
        const Element* elements = impl.signature();
        for (std::size_t i = 0; i < given && elements[i + 1].basename; ++i) {
            const Parameter parameter = parameterOf(elements[i + 1]);
            if (!parameter.type)
                continue;
            if (auto why = refusal(parameter, PyTuple_GET_ITEM(args, Py_ssize_t(i))))
                return callee.name + " " + argumentLabel(callee, i) + " " + *why;
        }
    }
    return std::nullopt;
}

std::optional<std::string> explanation(const Function& function, PyObject* args,
                                       PyObject* keywords) {
    const Callee callee = calleeOf(function);
    if (keywords && PyDict_Size(keywords) > 0)
        return callee.name + " takes no keyword arguments";
    const std::vector<const Function*> overloads = overloadsOf(function);
    const std::size_t given = std::size_t(PyTuple_GET_SIZE(args));
    bool arityFits = false;
    for (const Function* f : overloads)
        arityFits |= given >= implOf(*f).min_arity() && given <= implOf(*f).max_arity();
    if (!arityFits)
        return callee.name + " " + arityText(overloads, given, callee.method);
    return typeRefusal(overloads, callee, args);
}

// The library's call of a bound function, and the type of its argument
// errors (which it does not export).
ternaryfunc libraryCall = nullptr;
PyObject* argumentErrorType = nullptr;

// The bound functions' call: the library's, and on its argument error the
// explanation instead; any failure to explain keeps the library's error.
PyObject* call(PyObject* callable, PyObject* args, PyObject* keywords) {
    PyObject* result = libraryCall(callable, args, keywords);
    if (result || !PyErr_ExceptionMatches(argumentErrorType))
        return result;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    std::optional<std::string> text;
    try {
        text = explanation(*static_cast<const Function*>(callable), args, keywords);
    } catch (const bp::error_already_set&) {
        PyErr_Clear();
    }
    if (!text) {
        PyErr_Restore(type, value, traceback);
        return nullptr;
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_SetString(PyExc_TypeError, text->c_str());
    return nullptr;
}

void nameAnything(const char* mangledName) {
    argumentTypes()[demangled(mangledName)] = ArgumentType{"object"};
}

} // namespace

void detail::nameArgumentType(const char* mangledName, const char* pythonName,
                              const bp::converter::registration& registration,
                              const bp::converter::registration* element) {
    argumentTypes()[demangled(mangledName)] = ArgumentType{pythonName, &registration, element};
}

void explainArgumentErrors() {
    bp::object probe = bp::make_function(&explainArgumentErrors);
    PyTypeObject* type = Py_TYPE(probe.ptr());
    if (type->tp_call == &call)
        return;
    // A call with an argument too many shows which type the errors have.
    bp::handle<> args(Py_BuildValue("(i)", 0));
    PyObject* result = type->tp_call(probe.ptr(), args.get(), nullptr);
    if (result || !PyErr_Occurred()) {
        Py_XDECREF(result);
        return;
    }
    argumentErrorType = PyErr_Occurred();
    Py_INCREF(argumentErrorType);
    PyErr_Clear();
    libraryCall = type->tp_call;
    type->tp_call = &call;
    nameArgumentType<bool>("bool");
    nameArgumentType<int>("int");
    nameArgumentType<unsigned>("int");
    nameArgumentType<long>("int");
    nameArgumentType<unsigned long>("int");
    nameArgumentType<unsigned long long>("int");
    nameAnything(typeid(bp::object).name());
    nameAnything(typeid(PyObject).name());
}

std::string unnamedArgumentTypes(const bp::object& object) {
    if (Py_TYPE(object.ptr())->tp_call != &call)
        return "(not a bound function)";
    std::string unnamed;
    for (const Function* f : overloadsOf(*static_cast<const Function*>(object.ptr()))) {
        const Element* elements = implOf(*f).signature();
        for (std::size_t i = 1; elements[i].basename; ++i) {
            if (!parameterOf(elements[i]).type)
                unnamed += std::string(unnamed.empty() ? "" : ", ") + elements[i].basename;
        }
    }
    return unnamed;
}

} // namespace Python
