// Wrong arguments to the plugin API are told in Python's words: the function
// as Python calls it, the parameter, the type it takes and the one it got.
#include <boost/python.hpp>

#include "python/ArgumentErrors.h"
#include "python/GilLock.h"
#include "python/PluginWrap.h"
#include "tests/python/ApiFakes.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bp = boost::python;
using qvtest::runPython;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}

// A plugin of a package, an item of it, and each call's error: its exact
// type and text.
constexpr const char* setup = R"(
import quorvalent_api as api
class Finder(api.Plugin):
    pass
Finder.__module__ = 'mypack.finder'
finder = Finder()
it = api.CatalogItem(finder, 30, 'Label', '', 'target', 1, False, 0, 0, '')

def error_of(call):
    try:
        call()
    except Exception as e:
        return '%s: %s' % (type(e).__name__, e)
    return 'no error'
)";

class ArgumentErrors : public ::testing::Test {
protected:
    void TearDown() override {
        if (space_.has_key("finder"))
            bp::extract<PythonBuiltins::detail::PluginWrap&>(space_["finder"])()
                .releaseScriptObject();
    }

    std::string errorOf(const std::string& call) {
        space_ = runPython(std::string(setup) + "result = error_of(lambda: " + call + ")\n");
        return str(space_["result"]);
    }

    qvtest::BarePackageHostScope host_;
    GilLock gil_;
    bp::dict space_;
};

TEST_F(ArgumentErrors, NameTheFunctionTheParameterAndBothTypes) {
    struct Case {
        const char* call;
        const char* error;
    } cases[] = {
        // Module functions.
        {"api.hash_string(5)", "hash_string() argument 'text' must be str, not int"},
        {"api.cmdline_quote(('a',), False)",
         "cmdline_quote() argument 'args' must be list of str, not tuple"},
        {"api.cmdline_quote(['a', 3], False)",
         "cmdline_quote() argument 'args' must be list of str, not list with int at index 1"},
        {"api.settings_get(1, 5, 'key')",
         "settings_get() argument 'section' must be str or None, not int"},
        {"api.load_icon(['@/x.png'], False, b'pack')",
         "load_icon() argument 'package' must be str or None, not bytes"},
        {"api.log('', 0, 1, 'x', 'y')", "log() takes 4 positional arguments but 5 were given"},
        {"api.log(source='', line=0, level=1, message='x')", "log() takes no keyword arguments"},
        // Class constructors.
        {"api.CatalogItem(finder, '30', 'L', '', 't', 0, False, 0, 0, '')",
         "CatalogItem() argument 'category' must be int, not str"},
        {"api.CatalogItem(None, 30, 'L', '', 't', 0, False, 0, 0, '')",
         "CatalogItem() argument 'plugin' must be Plugin, not None"},
        {"api.CatalogItem(finder, 30, 'L')",
         "CatalogItem() takes 10 positional arguments but 3 were given"},
        {"api.CatalogAction(finder.id(), 'go', 'Go', '', None)",
         "CatalogAction() argument 'data_bag' must be str, not None"},
        // Methods of Plugin, CatalogItem and CatalogAction.
        {"finder.set_catalog((it,))",
         "Plugin.set_catalog() argument 'items' must be list of CatalogItem, not tuple"},
        {"finder.set_catalog([it, 'text'])",
         "Plugin.set_catalog() argument 'items' must be list of CatalogItem, not list with str "
         "at index 1"},
        {"finder.set_actions('30', [])",
         "Plugin.set_actions() argument 'category' must be int, not str"},
        {"finder.set_suggestions([it], 0)",
         "Plugin.set_suggestions() takes 3 positional arguments but 2 were given"},
        {"api.Plugin.full_name('mypack')",
         "Plugin.full_name() argument 'self' must be Plugin, not str"},
        {"it.set_label(5)", "CatalogItem.set_label() argument 'label' must be str, not int"},
        {"it.set_args()",
         "CatalogItem.set_args() takes from 1 to 2 positional arguments but 0 were given"},
        {"api.CatalogAction(0, 'go', 'Go', '', '').valid()",
         "CatalogAction.valid() argument 'self' must be CatalogAction, not an empty "
         "CatalogAction"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.call), std::string("TypeError: ") + c.error) << c.call;
}

// Right calls are not touched: their results and their own errors pass.
TEST_F(ArgumentErrors, RightCallsAndTheirOwnErrorsPass) {
    space_ = runPython(std::string(setup) + R"(
result = [api.cmdline_quote(['a b', 'c'], False), it.label(), api.settings_get(1, None, 'x'),
          error_of(lambda: api.shell_known_folder_path('nonsense'))]
)");
    EXPECT_EQ(str(space_["result"]),
              "['\"a b\" c', 'Label', None, 'ValueError: invalid GUID value']");
}

// Every parameter of every function, constructor and method of the API has
// a Python type name, so that no argument error falls back to C++ words.
TEST_F(ArgumentErrors, EveryParameterTypeOfTheApiHasAPythonName) {
    space_ = runPython(std::string(setup) + R"(
import inspect
functions = []
for name, obj in vars(api).items():
    if inspect.isclass(obj):
        functions += [(name + '.' + n, f) for n, f in vars(obj).items()
                      if type(f).__name__ == 'function' and type(f).__module__ == 'Boost.Python']
    elif type(obj).__name__ == 'function' and type(obj).__module__ == 'Boost.Python':
        functions.append((name, obj))
)");
    bp::list functions(space_["functions"]);
    ASSERT_GT(bp::len(functions), 60);
    for (long i = 0; i < bp::len(functions); ++i) {
        const std::string name = bp::extract<std::string>(functions[i][0]);
        EXPECT_EQ(Python::unnamedArgumentTypes(functions[i][1]), "") << name;
    }
}

} // namespace
