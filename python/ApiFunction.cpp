#include <boost/python.hpp>

#include "python/ApiFunction.h"

#include "platform/Immortal.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <utility>
#include <vector>

namespace bp = boost::python;

namespace Python {
namespace {

// A C++ parameter type as Python callers know it. Without a registration
// any object is taken.
struct ArgumentType {
    std::string pythonName;
    const bp::converter::registration* registration = nullptr;
    const bp::converter::registration* element = nullptr;
};

std::map<std::type_index, ArgumentType>& argumentTypes() {
    static std::map<std::type_index, ArgumentType> types = {
        {typeid(bool), {"bool", &bp::converter::registered<bool>::converters}},
        {typeid(int), {"int", &bp::converter::registered<int>::converters}},
        {typeid(unsigned), {"int", &bp::converter::registered<unsigned>::converters}},
        {typeid(long), {"int", &bp::converter::registered<long>::converters}},
        {typeid(unsigned long), {"int", &bp::converter::registered<unsigned long>::converters}},
        {typeid(long long), {"int", &bp::converter::registered<long long>::converters}},
        {typeid(unsigned long long),
         {"int", &bp::converter::registered<unsigned long long>::converters}},
        {typeid(bp::object), {"object"}},
        {typeid(PyObject), {"object"}},
    };
    return types;
}

const ArgumentType* argumentTypeOf(const ParameterType& parameter) {
    auto found = argumentTypes().find(*parameter.type);
    return found == argumentTypes().end() ? nullptr : &found->second;
}

// One function of the API: its names, its Python parameters (a method's
// self first) with the defaults of the last ones, and the C++ function.
struct ApiFunction {
    std::string shownName;                 // "Plugin.set_catalog()", "CatalogItem()", "log()"
    bool method = false;                   // self is not counted: the caller rarely writes it
    bool comparison = false;               // a wrong other operand is NotImplemented
    std::vector<std::string> parameters;   // Python names
    std::vector<ParameterType> types;      // C++ types, one per parameter
    std::vector<bp::object> defaults;      // of the last parameters
    bp::object inner;                      // the binding library's function
    std::string methodName, documentation; // kept for PyMethodDef
    PyMethodDef definition{};
};

constexpr const char* capsuleName = "quorvalent_api.function";

// The functions live as long as the process: the interpreter holds
// pointers into them.
std::deque<ApiFunction>& apiFunctions() {
    static Platform::Immortal<std::deque<ApiFunction>> functions;
    return functions.get();
}

// --- The Python signature from the docstring ---------------------------------

struct Signature {
    std::vector<std::string> names;
    std::vector<std::string> defaults; // Python literals of the last names
    std::string result;                // after "->", may be empty
    std::string text;                  // the rest of the docstring
};

std::string strip(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last + 1 - first);
}

std::optional<Signature> signatureOf(const std::string& doc, const std::string& name) {
    const std::string head = doc.substr(0, doc.find('\n'));
    const std::size_t close = head.find(')');
    if (!head.starts_with(name + "(") || close == std::string::npos)
        return std::nullopt;
    Signature signature;
    std::string list = head.substr(name.size() + 1, close - name.size() - 1);
    for (std::size_t start = 0; !strip(list).empty() && start <= list.size();) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string parameter = strip(list.substr(start, comma - start));
        const std::size_t equals = parameter.find('=');
        signature.names.push_back(strip(parameter.substr(0, equals)));
        if (equals != std::string::npos)
            signature.defaults.push_back(strip(parameter.substr(equals + 1)));
        start = comma + 1;
    }
    const std::string after = strip(head.substr(close + 1));
    if (after.starts_with("->"))
        signature.result = strip(after.substr(2));
    const std::size_t body = doc.find_first_not_of('\n', head.size());
    signature.text = body == std::string::npos ? std::string() : doc.substr(body);
    return signature;
}

// "name(self, a, b='', /)\n--\n\n" and the text: the form of docstring
// from which Python takes a built-in function's signature for help().
std::string documentationOf(const std::string& methodName, const std::vector<std::string>& names,
                            const std::vector<std::string>& defaultTexts,
                            const Signature& signature) {
    std::string text = methodName + "(";
    const std::size_t firstDefault = names.size() - defaultTexts.size();
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i ? ", " : "") + names[i];
        if (i >= firstDefault)
            text += "=" + defaultTexts[i - firstDefault];
    }
    text += names.empty() ? ")" : ", /)";
    text += "\n--\n\n";
    if (!signature.result.empty())
        text += "Returns " + signature.result + ".\n\n";
    return text + signature.text;
}

// --- Argument errors ---------------------------------------------------------

std::string typeName(PyObject* object) {
    return object == Py_None ? "None" : Py_TYPE(object)->tp_name;
}

bool converts(PyObject* object, const bp::converter::registration& registration) {
    return bp::converter::rvalue_from_python_stage1(object, registration).convertible != nullptr;
}

bool accepts(const ParameterType& parameter, const ArgumentType& type, PyObject* object) {
    if (!type.registration)
        return true;
    if (parameter.pointer)
        return bp::converter::get_lvalue_from_python(object, *type.registration) != nullptr;
    return converts(object, *type.registration);
}

// What is wrong with the argument's type ("must be str, not int"), or nothing.
std::optional<std::string> typeRefusal(const ParameterType& parameter, PyObject* object) {
    const ArgumentType* type = argumentTypeOf(parameter);
    if (!type)
        return std::nullopt;
    const std::string expected = "must be " + type->pythonName + ", not ";
    if (type->element && PyList_Check(object)) {
        for (Py_ssize_t i = 0, n = PyList_GET_SIZE(object); i < n; ++i) {
            PyObject* item = PyList_GET_ITEM(object, i);
            if (!converts(item, *type->element))
                return expected + "list with " + typeName(item) + " at index " + std::to_string(i);
        }
    }
    if (accepts(parameter, *type, object))
        return std::nullopt;
    PyTypeObject* cls = type->registration ? type->registration->m_class_object : nullptr;
    if (cls && PyObject_TypeCheck(object, cls))
        return expected + "an empty " + typeName(object);
    return expected + typeName(object);
}

bool lessThan(PyObject* a, PyObject* b) {
    const int less = PyObject_RichCompareBool(a, b, Py_LT);
    if (less < 0)
        bp::throw_error_already_set();
    return less == 1;
}

// "must be an int from 0 to 4294967295, not -1", or nothing.
std::optional<std::string> rangeRefusal(const ParameterType& parameter, PyObject* object) {
    if (!parameter.integer || !PyLong_Check(object))
        return std::nullopt;
    bp::handle<> lowest(PyLong_FromLongLong(parameter.lowest));
    bp::handle<> highest(PyLong_FromUnsignedLongLong(parameter.highest));
    if (!lessThan(object, lowest.get()) && !lessThan(highest.get(), object))
        return std::nullopt;
    bp::handle<> shown(PyObject_Str(object));
    return "must be an int from " + std::to_string(parameter.lowest) + " to " +
           std::to_string(parameter.highest) + ", not " + bp::extract<std::string>(shown.get())();
}

// "lone surrogate U+D800 at index 3" when the text cannot be encoded.
std::optional<std::string> surrogateIn(PyObject* text) {
    if (!PyUnicode_Check(text))
        return std::nullopt;
    for (Py_ssize_t i = 0, n = PyUnicode_GET_LENGTH(text); i < n; ++i) {
        const Py_UCS4 c = PyUnicode_READ_CHAR(text, i);
        if (c >= 0xD800 && c <= 0xDFFF) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
            return std::string("lone surrogate ") + code + " at index " + std::to_string(i);
        }
    }
    return std::nullopt;
}

// "cannot be encoded: ..." for a text, or a list of texts, that holds a lone
// surrogate (which no text of the program can hold), or nothing.
std::optional<std::string> encodingRefusal(PyObject* object) {
    if (auto where = surrogateIn(object))
        return "cannot be encoded: " + *where;
    if (!PyList_Check(object))
        return std::nullopt;
    for (Py_ssize_t i = 0, n = PyList_GET_SIZE(object); i < n; ++i) {
        if (auto where = surrogateIn(PyList_GET_ITEM(object, i)))
            return "cannot be encoded: " + *where + " of the str at index " + std::to_string(i);
    }
    return std::nullopt;
}

std::string argumentLabel(const ApiFunction& function, std::size_t index) {
    return function.shownName + " argument '" + function.parameters[index] + "' ";
}

// The error an argument of the full call deserves, set; false when all the
// arguments are right (the error is then the function's own).
bool explain(const ApiFunction& function, PyObject* args) {
    for (std::size_t i = 0; i < function.types.size(); ++i) {
        PyObject* argument = PyTuple_GET_ITEM(args, Py_ssize_t(i));
        const ParameterType& parameter = function.types[i];
        if (auto why = typeRefusal(parameter, argument)) {
            if (function.comparison)
                return true;
            PyErr_SetString(PyExc_TypeError, (argumentLabel(function, i) + *why).c_str());
            return true;
        }
        if (auto why = rangeRefusal(parameter, argument)) {
            PyErr_SetString(PyExc_OverflowError, (argumentLabel(function, i) + *why).c_str());
            return true;
        }
        if (auto why = encodingRefusal(argument)) {
            PyErr_SetString(PyExc_ValueError, (argumentLabel(function, i) + *why).c_str());
            return true;
        }
    }
    return false;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as Python lists missing names.
std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += names.size() == 2 ? " and " : i + 1 == names.size() ? ", and " : ", ";
        text += "'" + names[i] + "'";
    }
    return text;
}

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// Python's words for keywords given to positional-only parameters, or for
// keywords the function does not know.
bool refuseKeywords(const ApiFunction& function, PyObject* keywords) {
    if (!keywords || PyDict_GET_SIZE(keywords) == 0)
        return false;
    std::vector<std::string> positional, unknown;
    PyObject *key = nullptr, *value = nullptr;
    for (Py_ssize_t position = 0; PyDict_Next(keywords, &position, &key, &value);) {
        const std::string name = bp::extract<std::string>(key);
        const bool known = std::find(function.parameters.begin(), function.parameters.end(),
                                     name) != function.parameters.end();
        (known ? positional : unknown).push_back(name);
    }
    std::string message = function.shownName;
    if (!unknown.empty()) {
        message += " got an unexpected keyword argument '" + unknown.front() + "'";
    } else {
        std::string names;
        for (const std::string& name : positional)
            names += (names.empty() ? "" : ", ") + name;
        message +=
            " got some positional-only arguments passed as keyword arguments: '" + names + "'";
    }
    PyErr_SetString(PyExc_TypeError, message.c_str());
    return true;
}

// "takes 2 positional arguments but 3 were given", "missing 1 required
// positional argument: 'label'", counted as the caller writes them.
bool refuseCount(const ApiFunction& function, std::size_t given) {
    const std::size_t total = function.parameters.size();
    const std::size_t required = total - function.defaults.size();
    const std::size_t unwritten = function.method ? 1 : 0;
    std::string message = function.shownName;
    if (given < required) {
        std::vector<std::string> missing(function.parameters.begin() + Py_ssize_t(given),
                                         function.parameters.begin() + Py_ssize_t(required));
        message += " missing " + plural(missing.size(), "required positional argument") + ": " +
                   listed(missing);
    } else if (given > total) {
        const std::size_t low = required - unwritten, high = total - unwritten;
        message += " takes " +
                   (low == high ? std::to_string(high)
                                : "from " + std::to_string(low) + " to " + std::to_string(high)) +
                   (high == 1 ? " positional argument" : " positional arguments") + " but " +
                   std::to_string(given - unwritten) + (given - unwritten == 1 ? " was" : " were") +
                   " given";
    } else {
        return false;
    }
    PyErr_SetString(PyExc_TypeError, message.c_str());
    return true;
}

// The arguments with the defaults of those not given.
bp::handle<> completed(const ApiFunction& function, PyObject* args) {
    const std::size_t given = std::size_t(PyTuple_GET_SIZE(args));
    const std::size_t total = function.parameters.size();
    if (given == total)
        return bp::handle<>(bp::borrowed(args));
    bp::handle<> full(PyTuple_New(Py_ssize_t(total)));
    const std::size_t firstDefault = total - function.defaults.size();
    for (std::size_t i = 0; i < total; ++i) {
        PyObject* item = i < given ? PyTuple_GET_ITEM(args, Py_ssize_t(i))
                                   : function.defaults[i - firstDefault].ptr();
        Py_INCREF(item);
        PyTuple_SET_ITEM(full.get(), Py_ssize_t(i), item);
    }
    return full;
}

// Errors of the binding library's argument conversions: its own
// ArgumentError (a TypeError), an integer out of range, a text it cannot
// encode. The function's own errors of these types are kept, as no argument
// is then at fault.
bool mayBeArgumentError() {
    return PyErr_ExceptionMatches(PyExc_TypeError) || PyErr_ExceptionMatches(PyExc_OverflowError) ||
           PyErr_ExceptionMatches(PyExc_UnicodeEncodeError);
}

PyObject* callChecked(const ApiFunction& function, PyObject* args, PyObject* keywords) {
    if (refuseKeywords(function, keywords) ||
        refuseCount(function, std::size_t(PyTuple_GET_SIZE(args))))
        return nullptr;
    bp::handle<> full = completed(function, args);
    PyObject* result = PyObject_Call(function.inner.ptr(), full.get(), nullptr);
    if (result || !mayBeArgumentError())
        return result;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!explain(function, full.get())) {
        PyErr_Restore(type, value, traceback);
        return nullptr;
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    if (!function.comparison || PyErr_Occurred())
        return nullptr;
    Py_RETURN_NOTIMPLEMENTED;
}

// The function behind a built-in function's self (see defineApiFunction),
// or null.
const ApiFunction* functionOfSelf(PyObject* self) {
    if (!self || !PyModule_Check(self))
        return nullptr;
    PyObject* capsule = PyDict_GetItemString(PyModule_GetDict(self), capsuleName);
    if (!capsule || !PyCapsule_IsValid(capsule, capsuleName))
        return nullptr;
    return static_cast<const ApiFunction*>(PyCapsule_GetPointer(capsule, capsuleName));
}

PyObject* call(PyObject* self, PyObject* args, PyObject* keywords) {
    const ApiFunction* function = functionOfSelf(self);
    if (!function) {
        PyErr_SetString(PyExc_SystemError, "an API function without its definition");
        return nullptr;
    }
    try {
        return callChecked(*function, args, keywords);
    } catch (const bp::error_already_set&) {
        return nullptr;
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        return nullptr;
    }
}

bool isComparison(const std::string& name) {
    for (const char* each : {"__eq__", "__ne__", "__lt__", "__le__", "__gt__", "__ge__"}) {
        if (name == each)
            return true;
    }
    return false;
}

// A default of the program's own docstrings ('', 0, None): evaluated
// without builtins, which spares every start the import of ast.
bp::object literal(const std::string& text) {
    bp::dict globals;
    globals["__builtins__"] = bp::dict();
    return bp::eval(bp::str(text), globals, globals);
}

// The function's names and parameters from its qualified name and docstring.
ApiFunction describedFunction(const std::string& qualifiedName, const char* docstring,
                              std::vector<ParameterType> types) {
    const std::size_t dot = qualifiedName.find('.');
    const bool method = dot != std::string::npos;
    const std::string owner = method ? qualifiedName.substr(0, dot) : std::string();
    ApiFunction function;
    function.methodName = method ? qualifiedName.substr(dot + 1) : qualifiedName;
    const bool constructor = function.methodName == "__init__";
    function.method = method;
    function.comparison = isComparison(function.methodName);
    function.shownName = (constructor ? owner : qualifiedName) + "()";
    const std::optional<Signature> signature =
        signatureOf(docstring ? docstring : "", constructor ? owner : function.methodName);
    if (!signature || signature->names.size() + (method ? 1 : 0) != types.size())
        throw std::logic_error("The docstring of " + qualifiedName +
                               " gives no signature for each of its parameters");
    if (method)
        function.parameters.push_back("self");
    function.parameters.insert(function.parameters.end(), signature->names.begin(),
                               signature->names.end());
    for (const std::string& text : signature->defaults)
        function.defaults.push_back(literal(text));
    function.types = std::move(types);
    function.documentation =
        documentationOf(function.methodName, function.parameters, signature->defaults, *signature);
    return function;
}

const ApiFunction* apiFunctionOf(PyObject* object) {
    if (PyInstanceMethod_Check(object))
        object = PyInstanceMethod_GET_FUNCTION(object);
    return PyCFunction_Check(object) ? functionOfSelf(PyCFunction_GET_SELF(object)) : nullptr;
}

} // namespace

void detail::nameArgumentType(const std::type_info& type, const char* pythonName,
                              const bp::converter::registration& registration,
                              const bp::converter::registration* element) {
    argumentTypes()[type] = ArgumentType{pythonName, &registration, element};
}

void defineApiFunction(const bp::object& scope, const std::string& qualifiedName,
                       const bp::object& inner, std::vector<ParameterType> parameters,
                       const char* docstring) {
    ApiFunction& function = apiFunctions().emplace_back(
        describedFunction(qualifiedName, docstring, std::move(parameters)));
    function.inner = inner;
    function.definition = {function.methodName.c_str(),
                           reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call)),
                           METH_VARARGS | METH_KEYWORDS, function.documentation.c_str()};
    // The built-in function's self holds the definition. help() names the
    // class of a self other than a module ("method of PyCapsule instance"),
    // so the self is a small module of the API's name.
    const bool method = !PyModule_Check(scope.ptr());
    bp::object module = method ? scope.attr("__module__") : scope.attr("__name__");
    bp::handle<> self(PyModule_NewObject(module.ptr()));
    bp::handle<> capsule(PyCapsule_New(&function, capsuleName, nullptr));
    if (PyModule_AddObjectRef(self.get(), capsuleName, capsule.get()) < 0)
        bp::throw_error_already_set();
    bp::handle<> callable(PyCFunction_NewEx(&function.definition, self.get(), module.ptr()));
    // A method binds its instance as the first argument.
    bp::handle<> attribute(method ? PyInstanceMethod_New(callable.get()) : callable.release());
    if (PyObject_SetAttrString(scope.ptr(), function.methodName.c_str(), attribute.get()) < 0)
        bp::throw_error_already_set();
}

namespace {

bp::object refusePickling(const bp::object& self) {
    const std::string name = Py_TYPE(self.ptr())->tp_name;
    PyErr_SetString(PyExc_TypeError, ("cannot pickle '" + name + "' object").c_str());
    bp::throw_error_already_set();
    return bp::object();
}

} // namespace

void defineUnpicklable(const bp::object& cls, const std::string& className) {
    defineApiFunction(cls, className + ".__reduce__", bp::make_function(&refusePickling),
                      parameterTypes<bp::object>(), "__reduce__()");
}

std::string unnamedArgumentTypes(const bp::object& object) {
    const ApiFunction* function = apiFunctionOf(object.ptr());
    if (!function)
        return "(not an API function)";
    std::string unnamed;
    for (const ParameterType& parameter : function->types) {
        if (!argumentTypeOf(parameter))
            unnamed += std::string(unnamed.empty() ? "" : ", ") + parameter.type->name();
    }
    return unnamed;
}

} // namespace Python
