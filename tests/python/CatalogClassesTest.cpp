#include <boost/python.hpp>

#include "catalog/CatalogAction.h"
#include "catalog/CatalogItem.h"
#include "python/GilLock.h"
#include "python/GuardedFunction.h"
#include "python/PluginWrap.h"
#include "python/PythonBuiltins.h"
#include "tests/python/ApiFakes.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace bp = boost::python;
using qvtest::runPython;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}

// Plugin classes as a package's script would define them.
constexpr const char* plugins = R"(
import quorvalent_api as api
class Finder(api.Plugin):
    pass
Finder.__module__ = 'mypack.finder'
class Loose(api.Plugin):
    pass
Loose.__module__ = 'loose'
finder = Finder()

def item(label, target='cmd', category=30):
    return api.CatalogItem(finder, category, label, 'desc', target, 1, False, 0, 0, 'bag')

def raises(function, *args):
    try:
        function(*args)
    except TypeError:
        return 'TypeError'
    return 'nothing'
)";

class CatalogClasses : public ::testing::Test {
protected:
    // The plugins keep their instances alive until released, as a package
    // would release them.
    void TearDown() override {
        for (const char* name : {"finder", "loose"}) {
            if (space_.has_key(name))
                bp::extract<PythonBuiltins::detail::PluginWrap&>(space_[name])()
                    .releaseScriptObject();
        }
    }

    bp::dict run(const std::string& code) {
        space_ = runPython(std::string(plugins) + code);
        return space_;
    }

    qvtest::BarePackageHostScope host;
    GilLock gil;
    bp::dict space_; // after the GIL: dropped while it is held
};

TEST_F(CatalogClasses, PluginIdentityComesFromItsModuleAndClass) {
    bp::dict space = run("loose = Loose()\n"
                         "result = [str(finder), finder.full_name(), finder.name(),\n"
                         "          finder.package_name(), finder.package_full_name(),\n"
                         "          finder.package_id() == finder.id() >> 32, finder.id() != 0,\n"
                         "          loose.full_name(), loose.id(), finder.should_terminate()]");
    EXPECT_EQ(str(space["result"]),
              "['mypack.Finder', 'mypack.Finder', 'mypack.Finder', 'mypack', 'mypack', True, True, "
              "'', 0, False]");
    auto& plugin = bp::extract<PythonBuiltins::detail::PluginWrap&>(space["finder"])();
    wstr packageName;
    EXPECT_EQ(plugin.id(), Plugin::parseFullName(L"mypack.Finder", packageName));
}

TEST_F(CatalogClasses, ItemsCompareAndHashByTheirIds) {
    bp::dict space = run(R"(
a, b = item('Alpha', 'a'), item('Beta', 'b')
same = item('Alpha', 'a')
low, high = sorted([a, b], key=lambda i: i.id())
result = [a == same, hash(a) == hash(same), a != b, low < high, low <= high, high > low,
          high >= low, not (high < low), a.valid(), a.id() == same.id(), len({a, same, b})]
)");
    EXPECT_EQ(str(space["result"]),
              "[True, True, True, True, True, True, True, True, True, True, 2]");
}

TEST_F(CatalogClasses, ItemArgumentsTextAndClone) {
    bp::dict space = run(R"(
a = item('Notes')
texts = [str(a)]
bare_id = a.id()
a.set_args('raw')
texts += [str(a), a.raw_args(), a.displayed_args()]
a.set_args('raw', 'shown')
texts += [str(a), a.raw_args(), a.displayed_args(), a.id() != bare_id]
copy = a.clone()
texts += [copy is not a, copy == a, copy.raw_args(), copy.displayed_args(), copy.label(),
          copy.data_bag(), copy.category()]
a.set_label('  New\tlabel ')
a.set_data_bag('x')
texts += [a.label(), copy.label(), a.data_bag(), a.accepts_args(), a.requires_args()]
)");
    EXPECT_EQ(str(space["texts"]),
              "['Notes', 'Notes | raw', 'raw', 'raw', 'Notes | shown', 'raw', 'shown', True, True, "
              "True, 'raw', 'shown', 'Notes', 'bag', 30, 'New label', 'Notes', 'x', True, "
              "False]");
}

TEST_F(CatalogClasses, ErrorItemsTakeTheirFixedHints) {
    bp::dict space = run("e = api.CatalogItem(finder, 1, 'Oops', '', '', 2, True, 0, 0, '')\n"
                         "result = [e.target(), e.args_hint(), e.loop_on_suggest(), e.hit_hint()]");
    EXPECT_EQ(str(space["result"]), "['error', 0, False, 1]");
}

TEST_F(CatalogClasses, ActionsOrderByLabelAndCompareById) {
    bp::dict space = run(R"(
pid = finder.id()
edit = api.CatalogAction(pid, 'edit', 'Edit', 'with an editor', '')
open_ = api.CatalogAction(pid, 'open', 'Open', '', 'data')
again = api.CatalogAction(pid, 'open', 'Open it', '', '')
result = [str(edit), edit < open_, open_ > edit, edit <= open_, open_ >= edit, open_ == again,
          open_ != edit, open_ <= again, open_.valid(), open_.plugin_id() == pid,
          open_.app_owned(), open_.name(), open_.label(), open_.data_bag(),
          sorted([open_, edit])[0].name()]
)");
    EXPECT_EQ(str(space["result"]),
              "['Edit (edit)', True, True, True, True, True, True, True, True, True, False, "
              "'open', 'Open', 'data', 'edit']");
}

TEST_F(CatalogClasses, RefusedObjectsRaiseTypeError) {
    bp::dict space = run(R"(
nobody = api.CatalogAction(0, 'open', 'Open', '', '')
app = api.CatalogAction(0x100000001, 'open', 'Open', '', '')
result = [raises(nobody.valid), raises(app.label),
          raises(api.CatalogItem, None, 30, 'L', '', 't', 0, False, 0, 0, ''),
          raises(api.Plugin.set_catalog, None, []),
          raises(api.Plugin.full_name, None),
          raises(finder.set_catalog, (item('A'),)),
          raises(finder.set_catalog, [item('A'), 'text']),
          raises(lambda: item('A') < 'text'), item('A') == 'text',
          raises(finder.set_catalog, [item('A'), None])]
)");
    EXPECT_EQ(str(space["result"]),
              "['TypeError', 'TypeError', 'TypeError', 'TypeError', 'TypeError', 'TypeError', "
              "'TypeError', 'TypeError', False, 'nothing']");
}

// Outside a task of its package the plugin changes nothing, and the package
// of an unloaded (here: never loaded) plugin is gone.
TEST_F(CatalogClasses, PluginWithoutItsPackage) {
    bp::dict space = run(R"(
finder.set_catalog([item('A')])
finder.merge_catalog([item('A')])
finder.set_suggestions([item('A')], 0, 0)
def obsolete(function, *args):
    try:
        function(*args)
    except ZeroDivisionError as e:
        return str(e)
result = [finder.set_actions(30, [api.CatalogAction(finder.id(), 'go', 'Go', '', '')]),
          obsolete(finder.has_resource, 'x'), obsolete(finder.find_resources, '*'),
          obsolete(finder.load_binary_resource, 'x'), obsolete(finder.load_text_resource, 'x')]
)");
    const std::string obsolete =
        "Obsolete instance of plugin mypack.Finder, parent Package has been reloaded or unloaded";
    EXPECT_EQ(str(space["result"]), "[0, '" + obsolete + "', '" + obsolete + "', '" + obsolete +
                                        "', '" + obsolete + "']");
}

// From the start of the shutdown on, both functions answer True on any
// thread, the plugin's method as the module's.
TEST_F(CatalogClasses, ShouldTerminateIsTrueOnceTheProgramShutsDown) {
    const char* ask = "result = [api.should_terminate(), finder.should_terminate()]";
    EXPECT_EQ(str(run(ask)["result"]), "[False, False]");
    PythonBuiltins::setShuttingDown(true);
    const std::string during = str(run(ask)["result"]);
    PythonBuiltins::setShuttingDown(false);
    EXPECT_EQ(during, "[True, True]");
}

// The catalog keeps what plugins hand it and drops it on threads without the
// GIL: the lists it receives hold the program's objects, not Python's.
TEST_F(CatalogClasses, ListsHandTheProgramItsOwnObjects) {
    run("items = [item('A', 'a'), None]\n"
        "actions = [api.CatalogAction(finder.id(), 'go', 'Go', '', '')]\n");
    auto items = bp::extract<std::vector<CatalogItemPtr>>(space_["items"])();
    auto actions = bp::extract<std::vector<CatalogActionPtr>>(space_["actions"])();
    for (const char* name : {"items", "actions"})
        bp::delitem(space_, bp::str(name));
    Python::ReleaseGIL unlocked;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->label(), L"A");
    EXPECT_FALSE(items[1]);
    EXPECT_EQ(actions.at(0)->name(), L"go");
    items.clear();
    actions.clear();
}

// The program's items and actions reach Python as the same objects.
TEST_F(CatalogClasses, ProgramObjectsRoundTrip) {
    bp::dict space = run("a = item('Alpha')\n");
    auto item = bp::extract<std::shared_ptr<CatalogItem>>(space["a"])();
    auto action = std::make_shared<CatalogAction>(item->pluginId(), L"go", L"Go", L"", L"");
    bp::dict names;
    names["items"] = std::vector<CatalogItemPtr>{item, nullptr};
    names["action"] = action;
    names["a"] = space["a"];
    bp::dict back = runPython("result = [items[0] is a, items[1], str(action)]", names);
    EXPECT_EQ(str(back["result"]), "[True, None, 'Go (go)']");
}

} // namespace
