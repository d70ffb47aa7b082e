#include <boost/python.hpp>

#include "python/Converters.h"
#include "python/GilLock.h"
#include "python/GuardedFunction.h"
#include "python/Python.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <limits>
#include <stdexcept>
#include <string>

namespace bp = boost::python;
using Python::makeGuardedFunction;
using qvtest::runPython;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}

class GuardedFunctionTest : public ::testing::Test {
protected:
    GilLock gil;
};

TEST_F(GuardedFunctionTest, OtherPythonThreadRunsDuringLongBody) {
    std::promise<void> signal;
    std::future<void> signalled = signal.get_future();
    bool heldInBody = true;
    bp::dict names;
    names["wait_for_signal"] = makeGuardedFunction<bool()>([&] {
        heldInBody = PyGILState_Check();
        return signalled.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    });
    names["send_signal"] = makeGuardedFunction<void()>([&] { signal.set_value(); });
    bp::dict space = runPython(R"(
import threading
sender = threading.Thread(target=send_signal)
sender.start()
result = wait_for_signal()
sender.join()
)",
                               names);
    EXPECT_TRUE(bp::extract<bool>(space["result"])());
    EXPECT_FALSE(heldInBody);
    EXPECT_TRUE(PyGILState_Check());
}

TEST_F(GuardedFunctionTest, ThrowingBodySurfacesAsRuntimeErrorWithTheGilHeld) {
    bp::object fail = makeGuardedFunction<void()>([] { throw std::runtime_error("body failed"); });
    try {
        fail();
        ADD_FAILURE() << "no exception";
    } catch (const bp::error_already_set&) {
        EXPECT_TRUE(PyGILState_Check());
        EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_RuntimeError));
        EXPECT_EQ(Python::formatError(), "RuntimeError: body failed");
    }
}

TEST_F(GuardedFunctionTest, ErrorRaisedFromTheBodyKeepsItsTypeAndMessage) {
    bp::dict names;
    names["check"] = makeGuardedFunction<void(unsigned)>([](unsigned value) {
        Python::setError(PyExc_ValueError, L"value {} is out of range", value);
    });
    bp::dict space = runPython(R"(
try:
    check(42)
except ValueError as e:
    message = str(e)
)",
                               names);
    EXPECT_EQ(str(space["message"]), "value 42 is out of range");
}

TEST_F(GuardedFunctionTest, ResultsConvertToPython) {
    bp::dict names;
    names["nothing"] = makeGuardedFunction<void()>([] {});
    names["big"] = makeGuardedFunction<unsigned long long()>(
        [] { return std::numeric_limits<unsigned long long>::max(); });
    names["above_2_63"] = makeGuardedFunction<unsigned long long()>([] { return 1ull << 63; });
    names["ulong"] = makeGuardedFunction<unsigned long()>([] { return 4000000000ul; });
    names["flag"] = makeGuardedFunction<bool()>([] { return true; });
    names["text"] = makeGuardedFunction<wstr(wstr)>([](wstr value) { return value + L"!"; });
    names["items"] = makeGuardedFunction<Python::WstrList(const wstr&)>([](const wstr& value) {
        return Python::WstrList{value, value};
    });
    names["data"] = makeGuardedFunction<Python::Bytes()>([] { return Python::Bytes{0, 1, 255}; });
    bp::dict space = runPython(R"(
results = [nothing() is None, big() == 2**64 - 1, above_2_63() == 2**63, ulong() == 4000000000,
           flag() is True, text('hi') == 'hi!', items('x') == ['x', 'x'], data() == b'\x00\x01\xff']
)",
                               names);
    EXPECT_EQ(str(space["results"]), "[True, True, True, True, True, True, True, True]");
}

TEST_F(GuardedFunctionTest, WrongArgumentsAreRefusedBeforeTheBody) {
    int calls = 0;
    bp::dict names;
    names["add_one"] = makeGuardedFunction<unsigned long long(unsigned)>([&](unsigned value) {
        ++calls;
        return value + 1ull;
    });
    bp::dict space = runPython(R"py(
calls = ['add_one()', 'add_one(1, 2)', 'add_one(value=1)', "add_one('1')", 'add_one(None)']
def refused(call):
    try:
        eval(call)
    except TypeError:
        return True
    return False
refusals = [refused(call) for call in calls]
)py",
                               names);
    EXPECT_EQ(str(space["refusals"]), "[True, True, True, True, True]");
    EXPECT_EQ(calls, 0);
}

TEST_F(GuardedFunctionTest, EmptyFunctionRaisesRuntimeError) {
    boost::function<void()> empty;
    bp::object call = makeGuardedFunction(empty);
    EXPECT_THROW(call(), bp::error_already_set);
    EXPECT_EQ(Python::formatError(), "RuntimeError: call to empty boost::function");
}

TEST_F(GuardedFunctionTest, TakesOverTheGivenFunction) {
    boost::function<int()> function = [] { return 7; };
    bp::object call = makeGuardedFunction(function);
    EXPECT_TRUE(function.empty());
    EXPECT_EQ(bp::extract<int>(call())(), 7);
}

struct Counter {
    int value = 3;
};

TEST_F(GuardedFunctionTest, NoneInstanceIsRefused) {
    bp::scope module(bp::object(bp::handle<>(PyModule_New("guarded_test"))));
    bp::class_<Counter>("Counter");
    bp::dict names;
    names["Counter"] = module.attr("Counter");
    names["value_of"] = makeGuardedFunction<int(const Counter*)>(
        [](const Counter* counter) { return counter->value; });
    bp::dict space = runPython(R"(
value = value_of(Counter())
try:
    value_of(None)
except TypeError as e:
    refused = str(e)
)",
                               names);
    EXPECT_EQ(bp::extract<int>(space["value"])(), 3);
    EXPECT_EQ(str(space["refused"]), "argument 1 must not be None");
}

} // namespace
