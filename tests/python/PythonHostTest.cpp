#include <boost/python.hpp>

#include "python/GilLock.h"
#include "python/Python.h"
#include "tests/core/ScopedEnv.h"
#include "tests/python/PythonTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace bp = boost::python;
using qvtest::runPython;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {

std::string str(const bp::object& value) {
    return bp::extract<std::string>(bp::str(value));
}
std::string utf8(const wstr& text) {
    return wstr::toUtf8(text);
}

TEST(PythonHost, StartingThreadDoesNotHoldTheGil) {
    EXPECT_FALSE(PyGILState_Check());
}

TEST(PythonHost, InterpreterIsIsolatedWithTheGivenPath) {
    GilLock gil;
    bp::dict space = runPython(R"(
import signal, sys
settings = [sys.flags.isolated, sys.flags.ignore_environment, sys.flags.no_user_site,
            sys.flags.optimize, sys.dont_write_bytecode, 'site' in sys.modules,
            signal.getsignal(signal.SIGINT) is not signal.default_int_handler]
path = sys.path
)");
    EXPECT_EQ(str(space["settings"]), "[1, 1, 1, 1, True, False, True]");
    const wstr packages = wstr::fromUtf8(qvtest::pythonFolders().packages.str().c_str());
    const wstr expected = Python::searchPath(wstr::fromUtf8(QV_BUILD_DIR "/python"), packages);
    EXPECT_EQ(str(space["path"]), str(bp::object(wstr::split(expected, L";", true, false))));
}

// As the first plugin script finds them.
TEST(PythonHost, ModulesForPluginsAreLoaded) {
    GilLock gil;
    bp::dict space = runPython(R"(
import sys
import quorvalent_api, quorvalent_private
override = quorvalent_private.override_path
quorvalent_private.load_plugin_modules()
loaded = [m for m in ['ctypes', 'ssl', 'zipfile', 'urllib.request', 'chardet', 'natsort', 'socks',
                      'sockshandler'] if m in sys.modules]
)");
    EXPECT_EQ(str(space["override"]), qvtest::pythonFolders().packages.str());
    EXPECT_EQ(bp::len(space["loaded"]), 8) << str(space["loaded"]);
    EXPECT_EQ(str(Python::mainNamespace()["__name__"]), "__main__");
}

TEST(PythonHost, ModuleNames) {
    EXPECT_EQ(utf8(Python::apiModuleName()), "quorvalent_api");
    EXPECT_EQ(utf8(Python::privateModuleName()), "quorvalent_private");
    EXPECT_EQ(utf8(Python::utilModuleName()), "quorvalent_util");
}

struct ErrorCase {
    const char* name;
    std::function<void()> raise;
    const char* text;
};

TEST(PythonHost, ErrorTexts) {
    GilLock gil;
    const ErrorCase cases[] = {
        {"no error", [] {}, "Unfetchable Python error"},
        {"plain string", [] { PyErr_SetString(PyExc_ValueError, "plain"); }, "ValueError: plain"},
        // As Python prints them: a KeyError shows its key as repr().
        {"key error", [] { PyErr_SetString(PyExc_KeyError, "plain"); }, "KeyError: 'plain'"},
        {"arguments only, as a dict lookup sets them",
         [] {
             bp::handle<> key(Py_BuildValue("(s)", "missing"));
             PyErr_SetObject(PyExc_KeyError, key.get());
         },
         "KeyError: 'missing'"},
        {"type only", [] { PyErr_SetNone(PyExc_StopIteration); }, "StopIteration"},
        {"class of a module",
         [] { runPython("import configparser\nraise configparser.Error('x')"); },
         "configparser.Error: x"},
        {"str() fails",
         [] {
             runPython("class Bad(Exception):\n  def __str__(self): raise OSError()\nraise Bad()");
         },
         "Bad: <exception str() failed>"},
    };
    for (const ErrorCase& c : cases) {
        try {
            c.raise();
        } catch (const bp::error_already_set&) {
        }
        const std::string text = Python::formatError();
        EXPECT_EQ(text.substr(0, text.find("\nTraceback")), c.text) << c.name;
        EXPECT_FALSE(PyErr_Occurred()) << c.name;
    }
}

TEST(PythonHost, ErrorTextCarriesTheTraceback) {
    GilLock gil;
    EXPECT_THROW(runPython("def inner():\n    return {}['missing']\ninner()\n"),
                 bp::error_already_set);
    std::string text = Python::formatError();
    EXPECT_THAT(text, StartsWith("KeyError: 'missing'\nTraceback (most recent call last):\n"));
    EXPECT_THAT(text, HasSubstr("line 2, in inner"));
}

// A script that fails while it is imported: its own frames and the error's
// place, none of importlib's or of the program's importer.
TEST(PythonHost, ErrorTextLeavesOutTheImportMachinery) {
    qvtest::TempDir folder;
    folder.write("qv_failing_import.py", "import os\n\nos.nothing_here()\n");
    folder.write("qv_bad_syntax.py", "x = 1\ndef f(:\n    pass\n");
    GilLock gil;
    bp::dict names;
    names["folder"] = folder.str();
    for (const char* module : {"qv_failing_import", "qv_bad_syntax"}) {
        names["module"] = module;
        EXPECT_THROW(runPython("import sys, quorvalent_private\n"
                               "sys.path.insert(0, folder)\n"
                               "try:\n"
                               "    quorvalent_private.reload_module(module, 'qv')\n"
                               "finally:\n"
                               "    sys.path.remove(folder)\n",
                               names),
                     bp::error_already_set);
        const std::string text = Python::formatError();
        const std::string file = "File \"" + folder.str() + "/" + module + ".py\", line ";
        if (std::string(module) == "qv_bad_syntax") {
            EXPECT_THAT(text, StartsWith(file + "2\n"));
            EXPECT_THAT(text, HasSubstr("\nSyntaxError: "));
        } else {
            EXPECT_THAT(text, StartsWith("AttributeError: module 'os' has no attribute "
                                         "'nothing_here'\nTraceback (most recent call last):\n"));
            EXPECT_THAT(text, HasSubstr("\n  " + file + "3, in <module>\n    os.nothing_here()"));
        }
        for (const char* machinery : {"importlib", "quorvalent_private"})
            EXPECT_THAT(text, Not(HasSubstr(machinery))) << text;
    }
}

TEST(PythonHost, ThrowErrorPrefixesTheText) {
    for (const char* prefix : {"", "Failed."}) {
        {
            GilLock gil;
            PyErr_SetString(PyExc_KeyError, "plain");
        }
        try {
            Python::throwError(prefix);
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), std::string(prefix) + (*prefix ? " " : "") +
                                    "Python exception: KeyError: 'plain'");
        }
    }
}

TEST(PythonHost, ImportModuleFailureNamesTheModule) {
    EXPECT_TRUE(!Python::importModule("json").is_none());
    try {
        Python::importModule("qv_no_such_module");
        ADD_FAILURE() << "imported";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to import \"qv_no_such_module\". Python exception: "
                               "ModuleNotFoundError: No module named 'qv_no_such_module'");
    }
}

TEST(PythonHost, QualifiedClassName) {
    GilLock gil;
    bp::dict names;
    names["__name__"] = "plugins.demo";
    bp::dict space = runPython("class Demo: pass\ndemo = Demo()\nclass Odd: __module__ = None\n"
                               "odd = Odd()",
                               names);
    EXPECT_EQ(utf8(Python::qualifiedClassName(space["demo"])), "plugins.demo.Demo");
    EXPECT_EQ(utf8(Python::qualifiedClassName(space["odd"])), "");
    EXPECT_FALSE(PyErr_Occurred());
}

// syncEnviron replaces the process environment: the test puts it back.
class SyncEnvironTest : public ::testing::Test {
protected:
    void SetUp() override {
        GilLock gil;
        saved_ = runPython("import os\nsaved = dict(os.environ)")["saved"];
    }
    void TearDown() override {
        GilLock gil;
        bp::dict names;
        names["saved"] = saved_;
        runPython("import os\nos.environ.clear()\nos.environ.update(saved)", names);
        saved_ = bp::object();
    }

    bp::object saved_;
};

TEST_F(SyncEnvironTest, RebuildsOsEnvironAndLogsWhatPythonRefuses) {
    qvtest::LogRecords log;
    // Values are expanded against the program's environment, which the
    // reload has replaced before.
    qvtest::ScopedEnv env;
    env.set("QV_A", "one");
    Python::syncEnviron({{L"QV_A", L"one"}, {L"QV=BAD", L"x"}, {L"QV_B", L"%QV_A%-two"}});
    GilLock gil;
    EXPECT_EQ(str(runPython("import os\nenv = sorted(os.environ.items())")["env"]),
              "[('QV_A', 'one'), ('QV_B', 'one-two')]");
    EXPECT_THAT(qvtest::messages(log, Logger::Error),
                ElementsAre(StartsWith("Failed to update os.environ. Python exception: "
                                       "ValueError: illegal environment variable name")));
}

} // namespace
