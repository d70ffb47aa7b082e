#include <boost/python.hpp>

#include "python/Converters.h"
#include "python/GilLock.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace bp = boost::python;
using qvtest::runPython;

namespace {

// The echo functions count their calls: a refused argument must never reach one.
int calls = 0;
template <class T> T echo(const T& value) {
    ++calls;
    return value;
}

class ConvertersTest : public ::testing::Test {
protected:
    void SetUp() override { calls = 0; }

    bp::dict echoes() const {
        bp::dict names;
        names["echo_str"] = bp::make_function(&echo<wstr>);
        names["echo_list"] = bp::make_function(&echo<Python::WstrList>);
        names["echo_map"] = bp::make_function(&echo<Python::WstrMap>);
        names["echo_nested"] = bp::make_function(&echo<Python::WstrMapMap>);
        names["echo_bytes"] = bp::make_function(&echo<Python::Bytes>);
        return names;
    }

    GilLock gil;
};

TEST_F(ConvertersTest, ValuesRoundTrip) {
    bp::dict space = runPython(R"(
import types
class Text(str): pass
class Items(list): pass
cases = [
    (echo_str, ''), (echo_str, 'plain'), (echo_str, 'a\U0001F600b\u00e9'), (echo_str, Text('sub')),
    (echo_list, []), (echo_list, ['a', '', '\U00010348']), (echo_list, Items(['x'])),
    (echo_map, {}), (echo_map, {'k': 'v', 'a': ''}),
    (echo_map, types.MappingProxyType({'p': 'q'})),
    (echo_nested, {}), (echo_nested, {'s': {'k': 'v'}, 't': {}}),
    (echo_bytes, b''), (echo_bytes, b'\x00\xff'),
]
mismatches = [(i, v) for i, (f, v) in enumerate(cases) if f(v) != v]
)",
                               echoes());
    EXPECT_EQ(bp::len(space["mismatches"]), 0)
        << bp::extract<std::string>(bp::str(space["mismatches"]))();
    EXPECT_EQ(calls, bp::len(space["cases"]));
}

TEST_F(ConvertersTest, AstralCharacterIsOneCodePoint) {
    bp::object text = bp::eval("'a\\U0001F600b'");
    wstr converted = bp::extract<wstr>(text);
    EXPECT_EQ(converted, wstr(L"a\U0001F600b"));
    EXPECT_TRUE(bp::object(converted) == text);
}

TEST_F(ConvertersTest, EmptyBytesAndEmptyVector) {
    Python::Bytes empty = bp::extract<Python::Bytes>(bp::eval("b''"));
    EXPECT_TRUE(empty.empty());
    EXPECT_TRUE(bp::object(Python::Bytes()) == bp::eval("b''"));
}

TEST_F(ConvertersTest, RefusedValuesNeverReachTheFunction) {
    bp::dict space = runPython(R"(
def refused(function, value, error):
    try:
        function(value)
    except error:
        return True
    except Exception:
        pass
    return False

cases = [
    (echo_str, b'bytes', TypeError),
    (echo_str, 'lone \udc80 surrogate', UnicodeEncodeError),
    (echo_list, ('a', 'b'), TypeError),
    (echo_list, [None], TypeError),
    (echo_list, ['a', 1], TypeError),
    (echo_map, {'k': 1}, TypeError),
    (echo_map, {1: 'v'}, TypeError),
    (echo_map, 7, TypeError),
    (echo_nested, {'s': 1}, TypeError),
    (echo_nested, {'s': {'k': 2}}, TypeError),
    (echo_bytes, bytearray(b'x'), TypeError),
]
wrong = [(i, v) for i, (f, v, e) in enumerate(cases) if not refused(f, v, e)]
)",
                               echoes());
    EXPECT_EQ(bp::len(space["wrong"]), 0) << bp::extract<std::string>(bp::str(space["wrong"]))();
    EXPECT_EQ(calls, 0);
}

} // namespace
