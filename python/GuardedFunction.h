#pragma once

#include <boost/python.hpp>

#include "platform/ForkedChild.h"

#include <boost/function.hpp>
#include <boost/mpl/vector.hpp>

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

namespace Python {

// Gives the GIL away for its lifetime when the calling thread holds it, so
// that other Python threads run while the program works; restores the thread
// state when it goes away, also while an exception passes. Releases nothing
// when the thread does not hold the GIL. Lives on one thread, for one call.
// Every function of the API that reaches the program's state makes one: in a
// process forked from plugin code it raises RuntimeError instead, as that
// state is a copy whose locks other threads (which the child does not have)
// may have held at the fork.
class ReleaseGIL {
public:
    ReleaseGIL() : state_(enter()) {}
    ~ReleaseGIL() {
        if (state_)
            PyEval_RestoreThread(state_);
    }
    ReleaseGIL(const ReleaseGIL&) = delete;
    ReleaseGIL& operator=(const ReleaseGIL&) = delete;

private:
    static PyThreadState* enter() {
        if (Platform::ForkedChild::current()) {
            PyErr_SetString(PyExc_RuntimeError, "the program's functions are not available in a "
                                                "process forked from plugin code");
            boost::python::throw_error_already_set();
        }
        return PyGILState_Check() ? PyEval_SaveThread() : nullptr;
    }

    PyThreadState* state_;
};

namespace detail {

// Types whose copies would copy or destroy a Python object: never handed to
// a body that runs without the GIL.
template <class T>
constexpr bool holdsPythonObject =
    std::is_base_of_v<boost::python::api::object_base, std::remove_cvref_t<T>> ||
    std::is_same_v<std::remove_cvref_t<T>, PyObject*> ||
    std::is_same_v<std::remove_cvref_t<T>, boost::python::handle<>>;

// A pointer to a class argument is an instance; the binding library lets an
// explicit None through as null, which no body can use.
template <class T> void refuseNone(const T& argument, std::size_t index) {
    if constexpr (std::is_pointer_v<T> && std::is_class_v<std::remove_pointer_t<T>>) {
        if (argument)
            return;
        std::string message = "argument " + std::to_string(index + 1) + " must not be None";
        PyErr_SetString(PyExc_TypeError, message.c_str());
        boost::python::throw_error_already_set();
    }
}

template <class Sig, class Policy> class guarded_function;

// The program-side callable behind a Python function: the arguments arrive as
// C++ values converted while the GIL was held, the body runs under one Policy
// object (which lets the GIL go), and the result is converted after the
// policy has taken it back.
template <class R, class... Args, class Policy> class guarded_function<R(Args...), Policy> {
    static_assert(!(holdsPythonObject<Args> || ...),
                  "convert Python objects to C++ values before the GIL is released");
    static_assert(!holdsPythonObject<R>, "a Python result must be made with the GIL held");

public:
    explicit guarded_function(boost::function<R(Args...)> function)
        : function_(std::move(function)) {}

    R operator()(std::remove_cvref_t<Args>... args) const {
        std::size_t index = 0;
        (refuseNone(args, index++), ...);
        Policy policy;
        return function_(args...);
    }

private:
    boost::function<R(Args...)> function_;
};

template <class Sig> struct SignatureOf;
template <class R, class... Args> struct SignatureOf<R(Args...)> {
    using type = boost::mpl::vector<R, Args...>;
};

} // namespace detail

// Makes the Python function for a program-side callable (a plain function, or
// a member function whose object is the first argument): every call converts
// its positional arguments with the GIL held, runs the callable with the GIL
// released, and converts the result with the GIL held again. An exception of
// the callable reaches Python through the binding library's translation (a
// runtime error becomes RuntimeError). No keywords, no defaults. Leaves
// `function` empty. Called with the GIL held.
template <class Sig> boost::python::object makeGuardedFunction(boost::function<Sig>& function) {
    namespace bp = boost::python;
    using Guarded = detail::guarded_function<Sig, ReleaseGIL>;
    using Caller = bp::detail::caller<Guarded, bp::default_call_policies,
                                      typename detail::SignatureOf<Sig>::type>;
    Guarded guarded(std::move(function));
    function.clear();
    return bp::objects::function_object(
        bp::objects::py_function(Caller(std::move(guarded), bp::default_call_policies())));
}

template <class Sig> boost::python::object makeGuardedFunction(boost::function<Sig>&& function) {
    return makeGuardedFunction<Sig>(function);
}

} // namespace Python
