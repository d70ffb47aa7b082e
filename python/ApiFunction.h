#pragma once

#include <boost/python.hpp>

#include <limits>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

// The functions, constructors and methods of the program's Python API, with
// their argument errors in Python's words. Each is a Python built-in function
// over the binding library's function: it checks the arguments against the
// Python signature that starts its docstring ("set_args(raw_args,
// displayed_args='')"), fills in the defaults, calls the binding library's
// function, and when that refuses an argument raises instead an error naming
// the Python function, the parameter, what it takes and what it got:
//   Plugin.set_catalog() argument 'items' must be list of CatalogItem, not tuple
//   CatalogItem() missing 1 required positional argument: 'data_bag'
//   Plugin.clear_actions() argument 'category' must be an int from 0 to 4294967295, not -1
//   hash_string() argument 'text' cannot be encoded: lone surrogate U+D800 at index 0
// Only the functions defined here are wrapped: other functions of the
// binding library (an extension a plugin imports) keep their own errors.
namespace Python {

// A C++ parameter as argument errors describe it.
struct ParameterType {
    const std::type_info* type = nullptr; // without const, reference or pointer
    bool pointer = false;                 // a pointer to a class: an instance, never None
    bool integer = false;                 // an integral type other than bool, in this range:
    long long lowest = 0;
    unsigned long long highest = 0;
};

template <class T> ParameterType parameterType() {
    using Bare = std::remove_cvref_t<T>;
    using Value = std::remove_cv_t<std::remove_pointer_t<Bare>>;
    ParameterType type;
    type.type = &typeid(Value);
    type.pointer = std::is_pointer_v<Bare> && std::is_class_v<Value>;
    if constexpr (std::is_integral_v<Value> && !std::is_same_v<Value, bool>) {
        type.integer = true;
        type.lowest = static_cast<long long>(std::numeric_limits<Value>::lowest());
        type.highest = static_cast<unsigned long long>(std::numeric_limits<Value>::max());
    }
    return type;
}

template <class... Args> std::vector<ParameterType> parameterTypes() {
    return {parameterType<Args>()...};
}

// The parameters of a function, of a member function (its object first) or
// of a signature R(Args...).
template <class R, class... A> std::vector<ParameterType> parametersOf(R (*)(A...)) {
    return parameterTypes<A...>();
}
template <class R, class C, class... A> std::vector<ParameterType> parametersOf(R (C::*)(A...)) {
    return parameterTypes<C&, A...>();
}
template <class R, class C, class... A>
std::vector<ParameterType> parametersOf(R (C::*)(A...) const) {
    return parameterTypes<const C&, A...>();
}
template <class Sig> struct SignatureParameters;
template <class R, class... A> struct SignatureParameters<R(A...)> {
    static std::vector<ParameterType> get() { return parameterTypes<A...>(); }
};

// How argument errors name a C++ parameter type to Python ("str", "list of
// CatalogItem"). `Element` is the type of a list's elements, whose conversion
// tells which element is wrong (void: none). Called where the type's
// conversion is registered, once, before the API is used (no GIL needed; the
// names are only read afterwards).
namespace detail {
void nameArgumentType(const std::type_info& type, const char* pythonName,
                      const boost::python::converter::registration& registration,
                      const boost::python::converter::registration* element);
}
template <class T, class Element = void> void nameArgumentType(const char* pythonName) {
    namespace bp = boost::python;
    const bp::converter::registration* element = nullptr;
    if constexpr (!std::is_void_v<Element>)
        element = &bp::converter::registered<Element>::converters;
    detail::nameArgumentType(typeid(T), pythonName, bp::converter::registered<T>::converters,
                             element);
}

// Defines `qualifiedName` ("log", "Plugin.set_catalog", "CatalogItem.__init__")
// in `scope` (the module being defined, or the class named before the dot):
// the Python function over `inner`, a function of the binding library whose
// C++ parameters are `parameters` (a method's object first). `docstring`
// starts with the Python signature, "name(parameters) -> result" (a
// constructor's name is its class's), and then the text help() shows; a
// parameter may have a default written as a Python literal. Throws
// std::logic_error when the docstring gives no signature for every C++
// parameter. Called while the module is defined, with the GIL held.
void defineApiFunction(const boost::python::object& scope, const std::string& qualifiedName,
                       const boost::python::object& inner, std::vector<ParameterType> parameters,
                       const char* docstring);

// Instances of the program's classes hold program objects that cannot be
// pickled nor copied by the copy module: `__reduce__` refuses them in
// Python's words ("cannot pickle 'CatalogItem' object"). Called while the
// module is defined, with the GIL held.
void defineUnpicklable(const boost::python::object& cls, const std::string& className);

// The C++ parameter types of an API function that have no Python name
// ("(not an API function)" for anything else): empty when its argument
// errors are all explained. For tests. The caller holds the GIL.
std::string unnamedArgumentTypes(const boost::python::object& function);

} // namespace Python
