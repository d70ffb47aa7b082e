#pragma once

#include <boost/python.hpp>

#include "python/ApiFunction.h"
#include "python/GuardedFunction.h"

#include <boost/function.hpp>

#include <string>
#include <utility>

// How the builtin module's parts define its functions, constructors and
// methods: each with the Python signature and text of its docstring (see
// apiDocstrings), through Python::defineApiFunction. Called while the module
// is defined, with the GIL held.
namespace PythonBuiltins {

// The docstring of "name" or "Class.method"; null when there is none.
const char* apiDocstring(const std::string& name);

// `function` (a function, a member function, or a captureless lambda given
// with +) as `name` in `scope`: the module (bp::scope()) or the class named
// before the dot. `docstring` stands in for the table's (the operators).
template <class F>
void defineFunction(const boost::python::object& scope, const std::string& name, F function,
                    const char* docstring = nullptr) {
    Python::defineApiFunction(scope, name, boost::python::make_function(function),
                              Python::parametersOf(function),
                              docstring ? docstring : apiDocstring(name));
}

// The same for a function whose body runs without the GIL (see
// Python::makeGuardedFunction).
template <class Sig, class F>
void defineGuarded(const boost::python::object& scope, const std::string& name, F&& function) {
    Python::defineApiFunction(
        scope, name,
        Python::makeGuardedFunction<Sig>(boost::function<Sig>(std::forward<F>(function))),
        Python::SignatureParameters<Sig>::get(), apiDocstring(name));
}

// A class's constructor from a factory of its held pointer.
template <class F>
void defineConstructor(const boost::python::object& cls, const std::string& name, F factory) {
    std::vector<Python::ParameterType> parameters = Python::parametersOf(factory);
    parameters.insert(parameters.begin(), Python::parameterType<boost::python::object>());
    Python::defineApiFunction(cls, name, boost::python::make_constructor(factory),
                              std::move(parameters), apiDocstring(name));
}

} // namespace PythonBuiltins
