// Every function, class and method that plugins reach through the program's
// Python modules explains itself in help().

#include <boost/python.hpp>
#include <boost/python/docstring_options.hpp>

#include "python/GilLock.h"
#include "python/PythonBuiltins.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bp = boost::python;

namespace {

std::vector<std::string> strings(const bp::object& list) {
    std::vector<std::string> result;
    for (bp::ssize_t i = 0; i < bp::len(list); ++i)
        result.push_back(bp::extract<std::string>(list[i]));
    return result;
}

TEST(Docstrings, EveryFunctionClassAndMethodOfTheModulesHasOne) {
    GilLock gil;
    // The texts the code gives only: the signatures the binding library adds
    // would fill an empty docstring.
    bp::docstring_options userTextsOnly(true, false, false);
    bp::dict space = qvtest::runPython(R"(
import inspect
import quorvalent, quorvalent_api, quorvalent_net, quorvalent_private, quorvalent_util

def documented(obj):
    return bool((getattr(obj, '__doc__', None) or '').strip())

# The constructors of the program's classes take positional arguments that
# only their docstrings name.
def public(name, module):
    return not name.startswith('_') or (name == '__init__' and module is quorvalent_api)

missing = []
for module in (quorvalent_api, quorvalent, quorvalent_util, quorvalent_net, quorvalent_private):
    if not documented(module):
        missing.append(module.__name__)
    for name, obj in vars(module).items():
        if not public(name, module) or inspect.ismodule(obj) or not callable(obj):
            continue
        if not documented(obj):
            missing.append(module.__name__ + '.' + name)
        if inspect.isclass(obj):
            for attribute, member in vars(obj).items():
                if public(attribute, module) and (callable(member) or isinstance(member, property)) \
                        and not documented(member):
                    missing.append(module.__name__ + '.' + name + '.' + attribute)
)");
    EXPECT_EQ(strings(space["missing"]), std::vector<std::string>());

    // And no text is kept for a name the module does not have.
    bp::object api = bp::import("quorvalent_api");
    for (const PythonBuiltins::ApiDocstring& doc : PythonBuiltins::apiDocstrings()) {
        bp::object owner = api;
        std::string name = doc.name;
        if (auto dot = name.find('.'); dot != std::string::npos) {
            ASSERT_TRUE(PyObject_HasAttrString(api.ptr(), name.substr(0, dot).c_str())) << name;
            owner = api.attr(name.substr(0, dot).c_str());
            name = name.substr(dot + 1);
        }
        EXPECT_TRUE(PyObject_HasAttrString(owner.ptr(), name.c_str())) << doc.name;
    }
}

// help() shows each function with its Python signature and nothing of the
// binding library's C++ signatures; help(quorvalent) lists the classes too,
// and help exists in the console's namespace.
TEST(Docstrings, HelpShowsPythonSignatures) {
    GilLock gil;
    bp::dict space = qvtest::runPython(R"py(
import builtins, pydoc, quorvalent
def shown(obj):
    return pydoc.render_doc(obj, renderer=pydoc.plaintext)
module = shown(quorvalent)
pages = module + ''.join(shown(obj) for obj in (quorvalent.Plugin, quorvalent.log))
found = [part for part in (
    'class CatalogAction', 'class CatalogItem', 'class Plugin',
    "set_args(self, raw_args, displayed_args='', /)",
    'log(source, line, level, message, /)\n    Writes a record',
    'set_catalog(self, items, /)\n |      Replaces the plugin',
    '__init__(self, plugin, category, label, short_desc, target, args_hint, loop_on_suggest, '
    'hit_hint, icon_handle, data_bag, /)') if part not in module + pages]
foreign = [part for part in ('C++ signature', 'PyCapsule', 'Boost.Python.function', '<unnamed',
                             'arg1', 'wstr', 'lvalue') if part in pages]
has_help = callable(getattr(builtins, 'help', None))
)py");
    EXPECT_EQ(strings(space["found"]), std::vector<std::string>());
    EXPECT_EQ(strings(space["foreign"]), std::vector<std::string>());
    EXPECT_TRUE(bp::extract<bool>(space["has_help"])());
}

} // namespace
