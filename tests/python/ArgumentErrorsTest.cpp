// Wrong arguments to the plugin API are told in Python's words: the function
// as Python calls it, the parameter, the type it takes and the one it got.
#include <boost/python.hpp>

#include "core/Logger.h"
#include "python/ApiFunction.h"
#include "python/GilLock.h"
#include "python/PluginWrap.h"
#include "tests/python/ApiFakes.h"
#include "tests/python/PythonTestSupport.h"
#include "tests/support/LogRecords.h"

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

TEST_F(ArgumentErrors, NameTheFunctionTheParameterAndWhatIsWrong) {
    struct Case {
        const char* call;
        const char* error;
    } cases[] = {
        // Types.
        {"api.hash_string(5)", "TypeError: hash_string() argument 'text' must be str, not int"},
        {"api.cmdline_quote(('a',), False)",
         "TypeError: cmdline_quote() argument 'args' must be list of str, not tuple"},
        {"api.cmdline_quote(['a', 3], False)",
         "TypeError: cmdline_quote() argument 'args' must be list of str, not list with int at "
         "index 1"},
        {"api.settings_get(1, 5, 'key')",
         "TypeError: settings_get() argument 'section' must be str or None, not int"},
        {"api.load_icon(['@/x.png'], False, b'pack')",
         "TypeError: load_icon() argument 'package' must be str or None, not bytes"},
        {"api.CatalogItem(finder, '30', 'L', '', 't', 0, False, 0, 0, '')",
         "TypeError: CatalogItem() argument 'category' must be int, not str"},
        {"api.CatalogItem(None, 30, 'L', '', 't', 0, False, 0, 0, '')",
         "TypeError: CatalogItem() argument 'plugin' must be Plugin, not None"},
        {"api.CatalogAction(finder.id(), 'go', 'Go', '', None)",
         "TypeError: CatalogAction() argument 'data_bag' must be str, not None"},
        {"finder.set_catalog((it,))",
         "TypeError: Plugin.set_catalog() argument 'items' must be list of CatalogItem, not "
         "tuple"},
        {"finder.set_catalog([it, 'text'])",
         "TypeError: Plugin.set_catalog() argument 'items' must be list of CatalogItem, not list "
         "with str at index 1"},
        {"finder.set_actions('30', [])",
         "TypeError: Plugin.set_actions() argument 'category' must be int, not str"},
        {"api.Plugin.full_name('mypack')",
         "TypeError: Plugin.full_name() argument 'self' must be Plugin, not str"},
        {"it.set_label(5)", "TypeError: CatalogItem.set_label() argument 'label' must be str, not "
                            "int"},
        {"api.CatalogAction(0, 'go', 'Go', '', '').valid()",
         "TypeError: CatalogAction.valid() argument 'self' must be CatalogAction, not an empty "
         "CatalogAction"},
        // Too few and too many, keywords and defaults.
        {"api.log('', 0, 1, 'x', 'y')", "TypeError: log() takes 4 positional arguments but 5 "
                                        "were given"},
        {"api.fuzzy_score('a')", "TypeError: fuzzy_score() missing 2 required positional "
                                 "arguments: 'candidate' and 'case_sensitive'"},
        {"api.CatalogItem(finder, 30, 'L')",
         "TypeError: CatalogItem() missing 7 required positional arguments: 'short_desc', "
         "'target', 'args_hint', 'loop_on_suggest', 'hit_hint', 'icon_handle', and 'data_bag'"},
        {"api.CatalogAction(1, 'go', 'Go', '', '', 'more')",
         "TypeError: CatalogAction() takes 5 positional arguments but 6 were given"},
        {"finder.set_suggestions([it], 0)",
         "TypeError: Plugin.set_suggestions() missing 1 required positional argument: "
         "'sort_method'"},
        {"api.Plugin.full_name()",
         "TypeError: Plugin.full_name() missing 1 required positional argument: 'self'"},
        {"finder.full_name(1)",
         "TypeError: Plugin.full_name() takes 0 positional arguments but 1 was given"},
        {"it.set_args()",
         "TypeError: CatalogItem.set_args() missing 1 required positional argument: 'raw_args'"},
        {"it.set_args('a', 'b', 'c')",
         "TypeError: CatalogItem.set_args() takes from 1 to 2 positional arguments but 3 were "
         "given"},
        {"api.log(source='', line=0, level=1, message='x')",
         "TypeError: log() got some positional-only arguments passed as keyword arguments: "
         "'source, line, level, message'"},
        {"it.set_args('a', displayed='b')",
         "TypeError: CatalogItem.set_args() got an unexpected keyword argument 'displayed'"},
        // Integers out of range, texts that cannot be encoded.
        {"finder.clear_actions(-1)",
         "OverflowError: Plugin.clear_actions() argument 'category' must be an int from 0 to "
         "4294967295, not -1"},
        {"api.free_icon(2 ** 64)",
         "OverflowError: free_icon() argument 'handle' must be an int from 0 to "
         "18446744073709551615, not 18446744073709551616"},
        {"api.log('', 2 ** 31, 1, 'm')",
         "OverflowError: log() argument 'line' must be an int from -2147483648 to 2147483647, "
         "not 2147483648"},
        {"api.CatalogItem(finder, -30, 'L', '', 't', 0, False, 0, 0, '')",
         "OverflowError: CatalogItem() argument 'category' must be an int from 0 to 4294967295, "
         "not -30"},
        {"api.hash_string('a\\ud800')",
         "ValueError: hash_string() argument 'text' cannot be encoded: lone surrogate U+D800 at "
         "index 1"},
        {"api.cmdline_quote(['a', '\\udc80'], False)",
         "ValueError: cmdline_quote() argument 'args' cannot be encoded: lone surrogate U+DC80 at "
         "index 0 of the str at index 1"},
        {"it.set_label('\\udfff')",
         "ValueError: CatalogItem.set_label() argument 'label' cannot be encoded: lone surrogate "
         "U+DFFF at index 0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.call), c.error) << c.call;
}

// Right calls are not touched: their results, their defaults and their own
// errors pass.
TEST_F(ArgumentErrors, RightCallsAndTheirOwnErrorsPass) {
    space_ = runPython(std::string(setup) + R"(
it.set_args('one')
result = [api.cmdline_quote(['a b', 'c'], False), it.label(), api.settings_get(1, None, 'x'),
          it.raw_args(), it.displayed_args(), it == it, it == 'text',
          error_of(lambda: api.shell_known_folder_path('nonsense')),
          error_of(lambda: it < 'text'), error_of(lambda: __import__('copy').copy(it))]
)");
    EXPECT_EQ(str(space_["result"]),
              "['\"a b\" c', 'Label', None, 'one', 'one', True, False, "
              "'ValueError: invalid GUID value', "
              "\"TypeError: '<' not supported between instances of 'CatalogItem' and 'str'\", "
              "\"TypeError: cannot pickle 'CatalogItem' object\"]");
}

// A function of the binding library that is not the program's (an extension
// a plugin imports) keeps its keywords, its defaults and its own errors.
int foreign(int a, int b) {
    return a + b;
}

TEST_F(ArgumentErrors, OtherBindingFunctionsAreLeftAlone) {
    bp::dict names;
    names["foreign"] =
        bp::make_function(&foreign, bp::default_call_policies(), (bp::arg("a"), bp::arg("b") = 1));
    space_ = runPython(std::string(setup) + R"(
result = [foreign(2), foreign(2, b=3), foreign(b=4, a=1)]
try:
    foreign('x')
except TypeError as e:
    refused = (type(e).__module__, type(e).__name__, str(e).splitlines()[0])
)",
                       names);
    EXPECT_EQ(str(space_["result"]), "[3, 5, 5]");
    EXPECT_EQ(str(space_["refused"]),
              "('Boost.Python', 'ArgumentError', 'Python argument types in')");
}

// Levels other than 1 to 4 log as info, whatever the int.
TEST_F(ArgumentErrors, LogTakesAnyLevel) {
    qvtest::LogRecords records;
    space_ = runPython(std::string(setup) + R"(
for level in (-1, 0, 2, 3, 5, 2 ** 70, -2 ** 70):
    api.log('', 0, level, 'level %d' % level)
result = error_of(lambda: api.log('', 0, '2', 'text'))
)");
    EXPECT_EQ(str(space_["result"]), "TypeError: log() argument 'level' must be int, not str");
    std::vector<std::string> levels;
    for (const auto& item : records.all()) {
        if (item->message.starts_with(L"level "))
            levels.push_back(std::string(1, char(Logger::levelLetter(item->level))) + " " +
                             wstr::toUtf8(item->message));
    }
    EXPECT_EQ(levels, (std::vector<std::string>{"i level -1", "i level 0", "W level 2", "E level 3",
                                                "i level 5", "i level 1180591620717411303424",
                                                "i level -1180591620717411303424"}));
}

// Every function, constructor and method of the API explains its argument
// errors, and every type of its parameters has a Python name, so that no
// argument error falls back to C++ words.
TEST_F(ArgumentErrors, EveryParameterTypeOfTheApiHasAPythonName) {
    space_ = runPython(std::string(setup) + R"(
import inspect
functions = []
for name, obj in vars(api).items():
    if name.startswith('__'):
        continue
    if inspect.isclass(obj):
        functions += [(name + '.' + n, f) for n, f in vars(obj).items() if callable(f)
                      and n not in ('__new__', '__getattr__', '__class__')]
    elif callable(obj):
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
