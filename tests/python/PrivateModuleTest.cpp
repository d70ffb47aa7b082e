// The start-up module's importer, plugin discovery and thread hooks.
#include <boost/python.hpp>

#include "core/Logger.h"
#include "python/GilLock.h"
#include "python/PluginWrap.h"
#include "python/StdStreams.h"
#include "tests/python/ApiFakes.h"
#include "tests/python/PythonTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace bp = boost::python;
using qvtest::messages;
using qvtest::runPython;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}

// Helpers of the tests: archives written with zipfile, and the importer.
constexpr const char* helpers = R"(
import os, sys, zipfile
import quorvalent_private as qp

def make_archive(path, files):
    with zipfile.ZipFile(path, 'w') as archive:
        for name, text in files.items():
            archive.writestr(name, text)
    return path

def names(plugins):
    return [type(p).__module__ + '.' + type(p).__name__ for p in plugins]

def forget(package):
    qp.packages_importer.set_package_loaders(package, False, [])
    for name in [n for n in sys.modules if n == package or n.startswith(package + '.')]:
        del sys.modules[name]
)";

class PrivateModule : public ::testing::Test {
protected:
    PrivateModule() {
        names_["root"] = folder_.str();
        names_["override"] = qvtest::pythonFolders().packages.str();
    }

    // Plugins are released as their package would release them.
    void TearDown() override {
        bp::list plugins(space_.get("plugins", bp::list()));
        for (long i = 0; i < bp::len(plugins); ++i) {
            bp::extract<PythonBuiltins::detail::PluginWrap&> plugin(plugins[i]);
            if (plugin.check())
                plugin().releaseScriptObject();
        }
        StdStreams::instance().flushAll();
    }

    bp::dict run(const std::string& code) {
        space_ = runPython(std::string(helpers) + code, names_);
        return space_;
    }

    qvtest::TempDir folder_;
    qvtest::BarePackageHostScope host_;
    GilLock gil_;
    bp::dict names_;
    bp::dict space_;
};

TEST_F(PrivateModule, ArchivedPackageImportsWithRelativeImportsAndSubpackages) {
    bp::dict space = run(R"(
archive = make_archive(root + '/arcpack.quorvalent-package', {
    'finder.py': 'import quorvalent\nfrom . import helper\n'
                 'class Finder(quorvalent.Plugin):\n    value = helper.VALUE\n'
                 'class _Private(quorvalent.Plugin): pass\n',
    'helper.py': 'VALUE = 7\n',
    'sub/__init__.py': 'NAME = "sub"\n',
    'sub/deep.py': 'from .. import helper\nfrom . import NAME\nVALUE = (helper.VALUE, NAME)\n',
    'readme.txt': 'not a module',
})
qp.packages_importer.set_package_loaders('arcpack', False, [archive])
plugins = qp.reload_module('arcpack.finder', 'arcpack')
import arcpack.sub.deep as deep
result = [names(plugins), plugins[0].value, deep.VALUE, deep.__package__,
          deep.__file__ == archive + '/sub/deep.py', sys.modules['arcpack.sub'].__path__ == [archive]]
forget('arcpack')
)");
    EXPECT_EQ(str(space["result"]),
              "[['arcpack.finder.Finder'], 7, (7, 'sub'), 'arcpack.sub', True, True]");
}

// Start-up leaves the modules plugins may rely on unimported; the first plugin
// script finds them imported, submodules bound to their packages.
TEST_F(PrivateModule, TheFirstPluginScriptFindsTheStandardModulesImported) {
    bp::dict space = run(R"(
archive = make_archive(root + '/stdpack.quorvalent-package', {
    'm.py': 'import sys, urllib, multiprocessing\n'
            'FOUND = [hasattr(urllib, "request"), hasattr(multiprocessing, "dummy"),\n'
            '         "ssl" in sys.modules, "decimal" in sys.modules]\n'})
qp.packages_importer.set_package_loaders('stdpack', False, [archive])
qp.reload_module('stdpack.m', 'stdpack')
result = sys.modules['stdpack.m'].FOUND
forget('stdpack')
)");
    EXPECT_EQ(str(space["result"]), "[True, True, True, True]");
}

// A package named like a standard module does not stand in for it.
TEST_F(PrivateModule, APackageNamedLikeAStandardModuleLeavesItAlone) {
    bp::dict space = run(R"(
archive = make_archive(root + '/shlex.quorvalent-package', {'m.py': 'VALUE = 1\n'})
qp.packages_importer.set_package_loaders('shlex', False, [archive])
import shlex
result = hasattr(shlex, 'split')
qp.packages_importer.set_package_loaders('shlex', False, [])
)");
    EXPECT_EQ(str(space["result"]), "True");
}

// The override folder's sources stand in for the archive's, and modules only
// it holds are found too; withdrawing the archive withdraws the package.
TEST_F(PrivateModule, OverrideFolderStandsInForArchivedSources) {
    bp::dict space = run(R"(
archive = make_archive(root + '/ovpack.quorvalent-package', {
    'one.py': 'SOURCE = "archive"\n', 'two.py': 'SOURCE = "archive"\n'})
os.makedirs(override + '/ovpack', exist_ok=True)
with open(override + '/ovpack/two.py', 'w') as f:
    f.write('SOURCE = "override"\n')
with open(override + '/ovpack/three.py', 'w') as f:
    f.write('SOURCE = "override only"\n')
qp.packages_importer.set_package_loaders('ovpack', False, [archive])
import ovpack.one, ovpack.two, ovpack.three
result = [ovpack.one.SOURCE, ovpack.two.SOURCE, ovpack.three.SOURCE]
forget('ovpack')
try:
    import ovpack.one
    result.append('still importable')
except ImportError:
    result.append('withdrawn')
)");
    EXPECT_EQ(str(space["result"]), "['archive', 'override', 'override only', 'withdrawn']");
}

// A script whose declared size is above the cap is skipped before it is
// inflated: an archive of a few kilobytes must not cost gigabytes.
TEST_F(PrivateModule, OversizedScriptsAreSkippedUnread) {
    qvtest::LogRecords records;
    bp::dict space = run(R"(
path = root + '/bombpack.quorvalent-package'
with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as archive:
    archive.writestr('bomb.py', '#' * (8 * 1024 * 1024))
    archive.writestr('ok.py', 'VALUE = 1\n')
small = os.path.getsize(path) < 100000
qp.packages_importer.set_package_loaders('bombpack', False, [path])
import bombpack.ok
try:
    import bombpack.bomb
    bomb = 'imported'
except ImportError:
    bomb = 'refused'
result = [small, bombpack.ok.VALUE, bomb]
forget('bombpack')
)");
    EXPECT_EQ(str(space["result"]), "[True, 1, 'refused']");
    EXPECT_THAT(messages(records, Logger::Info),
                Contains("Python: Skipped bomb.py from " + folder_.str() +
                         "/bombpack.quorvalent-package (8388608 bytes, above the limit of "
                         "4194304)"));
}

// The later archive given first shadows the earlier; a bad archive is
// reported and skipped.
TEST_F(PrivateModule, FirstGivenArchiveServesThePackage) {
    qvtest::LogRecords records;
    bp::dict space = run(R"(
os.makedirs(root + '/older')
os.makedirs(root + '/newer')
older = make_archive(root + '/older/twopack.quorvalent-package', {'m.py': 'WHERE = "older"\n'})
newer = make_archive(root + '/newer/twopack.quorvalent-package', {'m.py': 'WHERE = "newer"\n'})
broken = root + '/twopack.quorvalent-package'
with open(broken, 'w') as f:
    f.write('no zip')
qp.packages_importer.set_package_loaders('twopack', False, [broken, newer, older])
import twopack.m
result = twopack.m.WHERE
forget('twopack')
)");
    EXPECT_EQ(str(space["result"]), "newer");
    EXPECT_THAT(messages(records, Logger::Info),
                Contains("Python: Error loading " + folder_.str() +
                         "/twopack.quorvalent-package: File is not a zip file"));
}

// A reload follows the package to its new archive and forgets the classes
// the script no longer defines.
TEST_F(PrivateModule, ReloadPicksUpTheNewArchive) {
    bp::dict space = run(R"(
archive = make_archive(root + '/relpack.quorvalent-package', {
    'p.py': 'import quorvalent\nclass First(quorvalent.Plugin): pass\n'})
qp.packages_importer.set_package_loaders('relpack', False, [archive])
first = names(qp.reload_module('relpack.p', 'relpack'))
os.remove(archive)
os.makedirs(root + '/moved')
archive = make_archive(root + '/moved/relpack.quorvalent-package', {
    'p.py': 'import quorvalent\nclass Second(quorvalent.Plugin): pass\n'})
qp.packages_importer.set_package_loaders('relpack', False, [archive])
plugins = qp.reload_module('relpack.p', 'relpack')
result = [first, names(plugins), hasattr(sys.modules['relpack.p'], 'First')]
forget('relpack')
)");
    EXPECT_EQ(str(space["result"]), "[['relpack.p.First'], ['relpack.p.Second'], False]");
}

// A reload reads the archive again only when it was read more than 5 s ago.
TEST_F(PrivateModule, ReloadRescansAnArchiveReadLongEnoughAgo) {
    bp::dict space = run(R"(
import importlib
archive = make_archive(root + '/scanpack.quorvalent-package', {'m.py': 'VERSION = 1\n'})
qp.packages_importer.set_package_loaders('scanpack', False, [archive])
import scanpack.m
make_archive(archive, {'m.py': 'VERSION = 2\n'})
result = [importlib.reload(scanpack.m).VERSION]
qp.packages_importer.loader_of('scanpack').refreshed -= 6
result.append(importlib.reload(scanpack.m).VERSION)
forget('scanpack')
)");
    EXPECT_EQ(str(space["result"]), "[1, 2]");
}

// A manifest names the plugin classes; a bad one refuses the whole module
// with an error record, as does a class that fails to start; a failing
// import reaches the caller, which reports it for the script.
TEST_F(PrivateModule, PluginClassesFromManifestsAndFailures) {
    qvtest::LogRecords records;
    bp::dict space = run(R"(
base = 'import quorvalent\nclass A(quorvalent.Plugin): pass\nclass B(quorvalent.Plugin): pass\n'
archive = make_archive(root + '/manpack.quorvalent-package', {
    'listed.py': base,
    'chosen.py': base + '__quorvalent_plugins__ = [B]\n',
    'called.py': base + 'def __quorvalent_plugins__(package_name):\n    return [A] if package_name == "manpack" else []\n',
    'invalid.py': base + '__quorvalent_plugins__ = [A, int]\n',
    'failing.py': base + 'class C(quorvalent.Plugin):\n    def __init__(self):\n        raise ValueError("no C")\n',
    'broken.py': 'raise RuntimeError("broken on import")\n',
    'lib/base.py': 'import quorvalent\nclass BasePlugin(quorvalent.Plugin): pass\n',
    'imports.py': 'from .lib.base import BasePlugin\nclass Own(BasePlugin): pass\n',
})
qp.packages_importer.set_package_loaders('manpack', False, [archive])
import quorvalent
plugins = []
result = []
for module in ['listed', 'chosen', 'called', 'invalid', 'failing', 'broken', 'imports']:
    try:
        found = qp.reload_module('manpack.' + module, 'manpack')
    except RuntimeError as e:
        found = [e]
    plugins += [p for p in found if isinstance(p, quorvalent.Plugin)]
    result.append([type(p).__name__ for p in found])
forget('manpack')
import quorvalent_api
quorvalent_api.std_flush_all()
)");
    EXPECT_EQ(str(space["result"]),
              "[['A', 'B'], ['B'], ['A'], [], ['A', 'B'], ['RuntimeError'], ['Own']]");
    const auto errors = messages(records, Logger::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "manpack.invalid.__quorvalent_plugins__ contains invalid plugin "
                         "class(es). Skipping module.");
    EXPECT_THAT(errors[1], StartsWith("Error while creating plugin manpack.C: ValueError: no C\n"
                                      "Traceback (most recent call last):\n  File \"" +
                                      folder_.str() +
                                      "/manpack.quorvalent-package/failing.py\", line 6, in "
                                      "__init__"));
    EXPECT_THAT(errors[1], Not(HasSubstr("quorvalent_private")));
    EXPECT_THAT(messages(records, Logger::Info), IsEmpty());
}

// Threads that plugins start are registered with the kernel id of their
// creator; when registering fails the thread still runs, so that its creator
// never waits for good.
TEST_F(PrivateModule, ThreadHooksPassTheCreatorsNativeId) {
    qvtest::LogRecords records;
    bp::dict space = run(R"(
import threading, quorvalent_api
calls = []
real_register = quorvalent_api.register_python_thread
real_unregister = quorvalent_api.unregister_python_thread
def record_register(guard, parent):
    calls.append(('register', hex(guard), parent))
def record_unregister(guard):
    calls.append(('unregister', hex(guard)))
quorvalent_api.register_python_thread = record_register
quorvalent_api.unregister_python_thread = record_unregister
ran = []
try:
    t = threading.Thread(target=lambda: ran.append(threading.get_native_id()))
    t.start()
    t.join()
    def failing_register(guard, parent):
        raise RuntimeError('cannot register')
    quorvalent_api.register_python_thread = failing_register
    t = threading.Thread(target=lambda: ran.append('unregistered'))
    t.start()
    t.join()
finally:
    quorvalent_api.register_python_thread = real_register
    quorvalent_api.unregister_python_thread = real_unregister
result = [calls[0] == ('register', '0x5c2e91a7', threading.get_native_id()),
          calls[1] == ('unregister', '0x3b7d04f6'), ran[0] != threading.get_native_id(),
          ran[1], calls[2] == ('unregister', '0x3b7d04f6'), len(calls)]
quorvalent_api.std_flush_all()
)");
    EXPECT_EQ(str(space["result"]), "[True, True, True, 'unregistered', True, 3]");
    EXPECT_THAT(messages(records, Logger::Info), Contains("Python: RuntimeError: cannot register"));
}

} // namespace
