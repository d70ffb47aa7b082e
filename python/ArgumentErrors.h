#pragma once

#include <boost/python.hpp>

#include <string>
#include <type_traits>
#include <typeinfo>

// Argument errors in Python's words. When a call from Python matches none of
// a bound function's C++ signatures, the binding library raises its
// ArgumentError with the C++ signatures, which mean nothing to a plugin's
// author. Every call of a bound function passes through one hook that, only
// then, replaces it with a TypeError naming the Python function, the
// parameter, the Python type it expects and the one it got:
//   Plugin.set_catalog() argument 'items' must be list of CatalogItem, not tuple
//   CatalogItem() takes 10 positional arguments but 9 were given
// Parameter names come from the first line of the function's docstring
// ("set_catalog(items)"); the expected types from the names given to the C++
// parameter types with nameArgumentType.
namespace Python {

namespace detail {
void nameArgumentType(const char* mangledName, const char* pythonName,
                      const boost::python::converter::registration& registration,
                      const boost::python::converter::registration* element);
}

// How argument errors name a C++ parameter type to Python ("str", "list of
// CatalogItem"). `Element` is the type of a list's elements, whose conversion
// tells which element is wrong (void: none). Called where the type's
// conversion is registered, once, before the API is used (no GIL needed;
// the names are only read afterwards).
template <class T, class Element = void> void nameArgumentType(const char* pythonName) {
    namespace bp = boost::python;
    const bp::converter::registration* element = nullptr;
    if constexpr (!std::is_void_v<Element>)
        element = &bp::converter::registered<Element>::converters;
    detail::nameArgumentType(typeid(T).name(), pythonName, bp::converter::registered<T>::converters,
                             element);
}

// Puts the hook in place (once; later calls do nothing) and names the
// binding library's own argument types (ints, bool, object). Called when the
// builtin module is defined, with the GIL held.
void explainArgumentErrors();

// The C++ parameter types of a bound function (each overload's, in order,
// after the result) that have no Python name: empty when its argument errors
// are all explained. For tests. The caller holds the GIL.
std::string unnamedArgumentTypes(const boost::python::object& function);

} // namespace Python
