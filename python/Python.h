#pragma once

#include <boost/python.hpp>

#include "core/Format.h"
#include "core/Wstr.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>

// The embedded interpreter: its start and stop, and the small services that
// every Python-facing part of the program uses. One interpreter per process.
namespace Python {

// The names of the program's own modules.
const wstr& apiModuleName();     // "quorvalent_api", built into the program
const wstr& privateModuleName(); // "quorvalent_private", carried inside the program
const wstr& utilModuleName();    // "quorvalent_util", shipped in the python folder

// The home of the system interpreter the program is built against.
wstr systemHome();
// The module search path for `init` (entries separated by ";"): the system
// interpreter's standard library, its extension modules and Debian's
// dist-packages, then the program's python folder and the profile's packages
// folder (each left out when empty).
wstr searchPath(const wstr& programPythonFolder, const wstr& packagesFolder);

// Starts the interpreter: `home` is Python's home (empty: the interpreter
// finds it itself), `path` the module search path (entries separated by ";"),
// `overridePath` a folder whose sources stand in for the package archives'
// (may be empty), `bytecodeFolder` the tree of optimised bytecode built with
// the program (see bytecodeFolder; may be empty or missing: modules are then
// compiled at each start). Afterwards the calling thread does not hold the
// GIL. Throws std::runtime_error on failure. Called once, on the
// user-interface thread.
void init(const wstr& home, const wstr& path, const wstr& overridePath,
          const wstr& bytecodeFolder = wstr());
// Where the build puts that bytecode, below the program's folder (the build
// tree when it runs from there): "<programFolder>/pycache".
wstr bytecodeFolder(const wstr& programFolder);
// Stops the interpreter. The threads plugins started get threadsMs to end,
// then a SystemExit and interruptedMs more. When any thread other than the
// caller still runs Python code after that (a plugin thread, or a program
// thread that was given up on), the interpreter is left running, with a log
// line, and the result is false: finalizing would end such a thread in the
// middle of the program's own code. Called once, on the thread that called
// init, without the GIL, after the program's threads that run Python were
// stopped.
// Threads that ended their Python function get settleMs to drop their thread
// state. At shutdown each step waits for the GIL within GilLock's limit (see
// GilLock::runLimited); when a thread keeps it past that, nothing more is
// done and the result is false as well.
// The exit handlers that plugins and their modules registered (atexit) run
// in Py_Finalize within exitHandlersMs together; past it they are left.
// When the interpreter is left running, the Python files still open are
// flushed (within flushMs), so that what plugins wrote reaches the disk.
bool finalize(uint32_t threadsMs = 1000, uint32_t interruptedMs = 1000, uint32_t settleMs = 200,
              uint32_t exitHandlersMs = 2000, uint32_t flushMs = 1000);

// The __dict__ of module __main__ while the interpreter runs, None before
// and after. The console runs its statements in it. Read with the GIL held.
boost::python::object& mainNamespace();

// Imports a module by name; takes the GIL itself for the import, while the
// caller keeps and drops the result with the GIL held. Throws
// std::runtime_error "Failed to import "<name>". Python exception: ..." when
// that fails. Any thread.
boost::python::object importModule(const std::string& name);

// In a process forked from plugin code (os.fork), a thread that comes back
// from Python into the program ends the process as Python ends a program:
// with the code of a pending SystemExit, 1 after another exception (printed
// to the process's standard error), else 0; the program's teardown never
// runs there. Returns at once in the program's own process. The caller holds
// the GIL, and has taken it itself.
void leaveIfForkedChild();

// The text of the pending Python exception, which it clears: the exception
// as Python prints it ("KeyError: 'missing'"), then its traceback without
// the frames of the import machinery. Never throws. The caller holds the
// GIL. Any thread.
std::string formatError();

// The same text of an exception object (with its traceback), the rule the
// private module's log records follow too. The caller holds the GIL.
std::string errorText(const boost::python::object& error);

// A new reference to an object the caller borrowed (None for null), so that
// it can be kept as an object. The caller holds the GIL.
boost::python::object borrowed(PyObject* object);

// Throws the pending Python exception as std::runtime_error: `prefix`, a
// blank when the prefix is not empty, "Python exception: " and its text.
// Takes the GIL itself. Any thread.
[[noreturn]] void throwError(const std::string& prefix);

// Sets a Python exception of `type` with the formatted message (a wide
// format) and throws boost::python::error_already_set, so that it reaches the
// Python caller. Takes the GIL itself. Any thread running a call from Python.
namespace detail {
[[noreturn]] void raiseError(PyObject* type, const wstr& message);
}
template <typename... Args>
[[noreturn]] void setError(PyObject* type, ::detail::WideFormatString<Args...> format,
                           Args&&... args) {
    wstr message;
    detail::raiseError(type, wstr::format(message, format, std::forward<Args>(args)...));
}

// "<module>.<class name>" of a Python object; empty when Python fails on the
// way (the error is cleared). Takes the GIL itself. Any thread.
wstr qualifiedClassName(const boost::python::object& object);

// Rebuilds os.environ from the environment (values expanded the system's
// way). A variable Python refuses is logged as an error and skipped; never
// throws a Python error. Takes the GIL itself. User-interface thread.
void syncEnviron(const std::map<wstr, wstr>& environment);

} // namespace Python
