#include <boost/python.hpp>

#include "python/Converters.h"

#include "python/ApiFunction.h"
#include "python/Python.h"

#include <cstring>
#include <new>
#include <utility>

namespace bp = boost::python;

namespace Python {
namespace {

static_assert(sizeof(wchar_t) == 4, "a wchar_t holds one code point");

// --- To Python: each returns a new reference or throws error_already_set. ---

PyObject* newStr(const wstr& text) {
    return bp::expect_non_null(PyUnicode_FromWideChar(text.data(), Py_ssize_t(text.size())));
}

PyObject* newList(const WstrList& items) {
    bp::handle<> list(PyList_New(Py_ssize_t(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyList_SET_ITEM(list.get(), Py_ssize_t(i), newStr(items[i]));
    return list.release();
}

template <class Map, class NewValue> PyObject* newDictOf(const Map& map, NewValue newValue) {
    bp::handle<> dict(PyDict_New());
    for (const auto& [key, value] : map) {
        bp::handle<> pyKey(newStr(key)), pyValue(newValue(value));
        if (PyDict_SetItem(dict.get(), pyKey.get(), pyValue.get()) < 0)
            bp::throw_error_already_set();
    }
    return dict.release();
}

PyObject* newDict(const WstrMap& map) {
    return newDictOf(map, newStr);
}

PyObject* newDictOfDicts(const WstrMapMap& map) {
    return newDictOf(map, [](const WstrMap& inner) { return newDict(inner); });
}

PyObject* newBytes(const Bytes& bytes) {
    return bp::expect_non_null(PyBytes_FromStringAndSize(
        reinterpret_cast<const char*>(bytes.data()), Py_ssize_t(bytes.size())));
}

// --- From Python: each throws error_already_set with the Python error set. ---

// A lone surrogate has no place in the program's text (nor in UTF-8): the
// strict UTF-32 encoder refuses it with UnicodeEncodeError.
wstr toWstr(PyObject* object) {
    bp::handle<> utf32(PyUnicode_AsUTF32String(object));
    constexpr std::size_t bom = sizeof(wchar_t);
    std::size_t bytes = std::size_t(PyBytes_GET_SIZE(utf32.get())) - bom;
    wstr text(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), PyBytes_AS_STRING(utf32.get()) + bom, bytes);
    return text;
}

WstrList toList(PyObject* object) {
    bp::list items(borrowed(object));
    WstrList result(bp::len(items));
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = bp::extract<wstr>(items[i]);
    return result;
}

template <class Value> std::map<wstr, Value> toMap(PyObject* object) {
    bp::dict dict(borrowed(object));
    bp::list keys = dict.keys();
    std::map<wstr, Value> result;
    for (long i = 0, n = bp::len(keys); i < n; ++i)
        result.emplace(bp::extract<wstr>(keys[i]), bp::extract<Value>(dict[keys[i]]));
    return result;
}

Bytes toBytes(PyObject* object) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(object, &data, &size) < 0)
        bp::throw_error_already_set();
    return Bytes(data, data + size);
}

bool isStr(PyObject* object) {
    return PyUnicode_Check(object);
}
// Every element a str: a list that holds anything else is refused as a
// whole, so that the caller learns which argument and element it was.
bool isList(PyObject* object) {
    if (!PyList_Check(object))
        return false;
    for (Py_ssize_t i = 0, n = PyList_GET_SIZE(object); i < n; ++i) {
        if (!PyUnicode_Check(PyList_GET_ITEM(object, i)))
            return false;
    }
    return true;
}
bool isMapping(PyObject* object) {
    return PyMapping_Check(object);
}
bool isBytes(PyObject* object) {
    return PyBytes_Check(object);
}

// One type's conversions: `New` makes the Python object, `Accepts` is the
// convertibility test and `Convert` builds the value (a failure raises, so
// the bound function never runs with a half-made value).
template <class T, PyObject* (*New)(const T&), bool (*Accepts)(PyObject*), T (*Convert)(PyObject*)>
struct Conversion {
    static PyObject* convert(const T& value) { return New(value); }

    static void* convertible(PyObject* object) { return Accepts(object) ? object : nullptr; }

    static void construct(PyObject* object, bp::converter::rvalue_from_python_stage1_data* data) {
        T value = Convert(object);
        void* storage =
            reinterpret_cast<bp::converter::rvalue_from_python_storage<T>*>(data)->storage.bytes;
        new (storage) T(std::move(value));
        data->convertible = storage;
    }

    static void add() {
        bp::to_python_converter<T, Conversion>();
        bp::converter::registry::push_back(&convertible, &construct, bp::type_id<T>());
    }
};

bool isStrOrNone(PyObject* object) {
    return object == Py_None || PyUnicode_Check(object);
}

OptionalStr toOptionalStr(PyObject* object) {
    return object == Py_None ? std::nullopt : OptionalStr(toWstr(object));
}

void addOptionalStr() {
    using C = Conversion<OptionalStr, nullptr, isStrOrNone, toOptionalStr>;
    bp::converter::registry::push_back(&C::convertible, &C::construct, bp::type_id<OptionalStr>());
}

} // namespace

void registerConverters() {
    Conversion<wstr, newStr, isStr, toWstr>::add();
    Conversion<WstrList, newList, isList, toList>::add();
    Conversion<WstrMap, newDict, isMapping, toMap<wstr>>::add();
    Conversion<WstrMapMap, newDictOfDicts, isMapping, toMap<WstrMap>>::add();
    Conversion<Bytes, newBytes, isBytes, toBytes>::add();
    addOptionalStr();
    nameArgumentType<wstr>("str");
    nameArgumentType<OptionalStr>("str or None");
    nameArgumentType<WstrList, wstr>("list of str");
    nameArgumentType<WstrMap>("dict of str to str");
    nameArgumentType<WstrMapMap>("dict of str to dict of str to str");
    nameArgumentType<Bytes>("bytes");
}

} // namespace Python
