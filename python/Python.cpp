#include <boost/python.hpp>

#include "python/Python.h"

#include "core/Logger.h"
#include "core/SysEnv.h"
#include "platform/ForkedChild.h"
#include "python/Converters.h"
#include "python/GilLock.h"
#include "python/PythonBuiltins.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace bp = boost::python;

namespace Python::detail {
// The private module's source, zlib-compressed at build time.
extern const unsigned char privateModuleSource[];
extern const std::size_t privateModuleSourceSize;
} // namespace Python::detail

namespace Python {
namespace {

wstr widen(const std::string& utf8) {
    return wstr::fromUtf8(utf8.c_str());
}

// The interpreter state of the thread that started the interpreter.
PyThreadState* mainThreadState = nullptr;

// The program's modules shipped in its python folder. Until they all ship,
// those that are present are imported, and each of them must import cleanly.
constexpr std::array programModules = {"quorvalent", "quorvalent_util", "quorvalent_wintypes",
                                       "quorvalent_net"};

// Standard modules the plugins may rely on: start-up fails when one of them
// cannot be found. They are imported before the first plugin script runs
// (importPluginModules), not during start-up, which they would make several
// times slower.
// clang-format off
constexpr std::array requiredModules = {
    "_thread", "array", "ast", "codecs", "collections", "collections.abc", "ctypes", "datetime",
    "decimal", "dis", "enum", "fileinput", "fnmatch", "glob", "io", "importlib", "inspect",
    "itertools", "math", "multiprocessing", "multiprocessing.dummy", "opcode", "os", "os.path",
    "pathlib", "random", "re", "shlex", "socket", "ssl", "stat", "string", "struct", "subprocess",
    "sys", "tempfile", "threading", "time", "token", "tokenize", "traceback", "urllib",
    "urllib.parse", "urllib.request", "urllib.response", "zipfile"};
// clang-format on

// Extension modules without which some required modules cannot be imported,
// though their sources are there: checked at start-up with them.
constexpr std::array requiredExtensions = {"_ctypes", "_ssl"};

// Third-party modules the plugins may use when they are installed.
constexpr std::array optionalModules = {"chardet", "natsort", "socks", "sockshandler"};

// Modules the program once imported at start-up itself, so that plugins
// found them as attributes of their package without importing them.
constexpr std::array formerStartUpModules = {"importlib.abc", "importlib.util"};

class Config {
public:
    Config() { PyConfig_InitIsolatedConfig(&config_); }
    ~Config() { PyConfig_Clear(&config_); }
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;
    PyConfig* operator->() { return &config_; }
    PyConfig* get() { return &config_; }

private:
    PyConfig config_;
};

// A failed start-up of the interpreter once aborted the process; its reason
// goes to the log and the user gets the advice to reinstall.
void check(PyStatus status) {
    if (!PyStatus_Exception(status))
        return;
    wstr detail;
    logMessage(Logger::Error, wstr::format(detail, L"Python start-up failed: {} (in {})",
                                           widen(status.err_msg ? status.err_msg : "exit"),
                                           widen(status.func ? status.func : "?")));
    throw std::runtime_error(
        "Initialization aborted, some files might be inaccessible or corrupted. "
        "Please reinstall Quorvalent.");
}

// Isolated from the user's environment and site, no bytecode files written,
// asserts and __debug__ code left out, unbuffered standard streams, and the
// program's own signal handling kept. The search path is exactly `path`.
// Optimised bytecode is read from bytecodeFolder (a pycache_prefix tree)
// where it is there: Debian ships none, and compiling the start-up modules
// from source took most of the start.
void startInterpreter(const wstr& home, const wstr& path, const wstr& bytecodeFolder) {
    Config config;
    config->isolated = 1;
    config->use_environment = 0;
    config->user_site_directory = 0;
    config->site_import = 0;
    config->write_bytecode = 0;
    config->optimization_level = 1;
    config->buffered_stdio = 0;
    config->install_signal_handlers = 0;
    config->pathconfig_warnings = 0;
    config->parse_argv = 0;
    check(PyConfig_SetString(config.get(), &config->program_name, L"quorvalent"));
    if (!home.empty())
        check(PyConfig_SetString(config.get(), &config->home, home.c_str()));
    if (!bytecodeFolder.empty())
        check(PyConfig_SetString(config.get(), &config->pycache_prefix, bytecodeFolder.c_str()));
    config->module_search_paths_set = 1;
    for (const wstr& entry : wstr::split(path, L";", true, false))
        check(PyWideStringList_Append(&config->module_search_paths, entry.c_str()));
    check(Py_InitializeFromConfig(config.get()));
}

// The private module's code was compiled and marshalled at build time.
bp::object runPrivateModule() {
    bp::object zlib = bp::import("zlib");
    bp::object marshal = bp::import("marshal");
    bp::object compressed(bp::handle<>(PyMemoryView_FromMemory(
        reinterpret_cast<char*>(const_cast<unsigned char*>(detail::privateModuleSource)),
        Py_ssize_t(detail::privateModuleSourceSize), PyBUF_READ)));
    bp::object code = marshal.attr("loads")(zlib.attr("decompress")(compressed.attr("tobytes")()));
    std::string name = wstr::toUtf8(privateModuleName());
    return bp::object(bp::handle<>(PyImport_ExecCodeModule(name.c_str(), code.ptr())));
}

void importProgramModules(const bp::object& privateModule) {
    bp::object hasModule = privateModule.attr("has_module");
    for (const char* name : programModules) {
        if (hasModule(name))
            bp::import(name);
    }
}

// Imports the modules; a failure is logged at the level, and the next
// module follows.
template <std::size_t N>
void importModules(const std::array<const char*, N>& names, Logger::Level failureLevel) {
    for (const char* name : names) {
        try {
            bp::import(name);
        } catch (const bp::error_already_set&) {
            wstr message;
            logMessage(failureLevel,
                       wstr::format(message, L"Failed to load Python module {}. Error: {}",
                                    widen(name), widen(formatError())));
        }
    }
}

// Called by the private module's load_plugin_modules, with the GIL held. A
// required module was found at start-up; should it fail now, the plugins
// that import it fail, the program does not.
void importPluginModules() {
    importModules(requiredModules, Logger::Error);
    importModules(formerStartUpModules, Logger::Error);
    importModules(optionalModules, Logger::Warning);
}

// Importing "_signal" puts Python's SIGINT handler in place (a
// KeyboardInterrupt instead of the program's end) even when the interpreter
// was told to install no handlers; where it did, the default is put back.
void keepInterruptDisposition() {
    bp::object signal = bp::import("_signal");
    bp::object interrupt = signal.attr("SIGINT"), defaultAction = signal.attr("SIG_DFL");
    if (signal.attr("getsignal")(interrupt) == signal.attr("default_int_handler"))
        signal.attr("signal")(interrupt, defaultAction);
}

// The modules the program and the plugins need, in the interpreter started
// on this thread; the caller holds the GIL.
void prepareEnvironment(const wstr& overridePath) {
    mainNamespace() = bp::import("__main__").attr("__dict__");
    bp::object privateModule = runPrivateModule();
    if (!overridePath.empty())
        privateModule.attr("override_path") = overridePath;
    importProgramModules(privateModule);
    bp::list required;
    for (const char* name : requiredModules)
        required.append(name);
    for (const char* name : requiredExtensions)
        required.append(name);
    privateModule.attr("require_modules")(required);
    privateModule.attr("_import_plugin_modules") = bp::make_function(&importPluginModules);
    privateModule.attr("_error_text") = bp::make_function(&errorText);
    keepInterruptDisposition();
}

// The text of a Python str as UTF-8, or nothing when it is not valid text.
std::optional<std::string> utf8Of(const bp::object& text) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (!utf8) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string(utf8, std::size_t(size));
}

// Frames of the import machinery, importlib's and the private module's (its
// package importer, reload_module): they say nothing about the code that
// failed, and Python leaves importlib's out of its own import errors too.
bool isImportMachinery(const std::string& file) {
    static const std::string privateFile = "<" + wstr::toUtf8(privateModuleName()) + ">";
    return file == privateFile || file.starts_with("<frozen importlib.") ||
           file.ends_with("/importlib/__init__.py");
}

// "Traceback (most recent call last):" and the frames of the code that
// raised, as Python prints them; empty when there are none.
std::string describeFrames(const bp::object& module, const bp::object& traceback) {
    bp::object frames = module.attr("extract_tb")(traceback);
    bp::list kept;
    for (long i = 0, n = bp::len(frames); i < n; ++i) {
        bp::object frame = frames[i];
        if (!isImportMachinery(bp::extract<std::string>(frame.attr("filename"))))
            kept.append(frame);
    }
    if (bp::len(kept) == 0)
        return {};
    std::optional<std::string> text = utf8Of(bp::str("").join(module.attr("format_list")(kept)));
    return text ? "\nTraceback (most recent call last):\n" + *text
                : ": Unparseable Python traceback";
}

// Without the indentation of a first line and the line ends of the last.
std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of('\n');
    if (first == std::string::npos || last == std::string::npos || last < first)
        return {};
    return text.substr(first, last + 1 - first);
}

// The exception as Python prints it ("KeyError: 'missing'"; a SyntaxError
// with its file, line and caret first), then the frames that raised it.
std::string describe(PyObject* type, PyObject* value, PyObject* traceback) {
    if (!type)
        return "Unfetchable Python error";
    bp::object module = bp::import("traceback");
    std::string result = trimmed(utf8Of(bp::str("").join(module.attr("format_exception_only")(
                                            borrowed(type), borrowed(value))))
                                     .value_or("Unparseable Python error"));
    if (traceback)
        result += trimmed(describeFrames(module, borrowed(traceback)));
    return result;
}

void stopPluginThreads(uint32_t threadsMs, uint32_t interruptedMs) {
    try {
        bp::import("quorvalent_private")
            .attr("stop_plugin_threads")(threadsMs / 1000.0, interruptedMs / 1000.0);
    } catch (const bp::error_already_set&) {
        logMessage(Logger::Error, widen("Failed to stop the plugins' threads. Python exception: " +
                                        formatError()));
    }
}

// Py_Finalize runs the exit handlers that plugins registered within this.
void setExitHandlersBound(uint32_t ms) {
    try {
        bp::import(wstr::toUtf8(privateModuleName()).c_str()).attr("exit_handlers_seconds") =
            ms / 1000.0;
    } catch (const bp::error_already_set&) {
        logMessage(Logger::Error,
                   widen("Failed to bound the exit handlers. Python exception: " + formatError()));
    }
}

// Without Py_Finalize, what Python files hold in their buffers would be lost.
void flushOpenFiles(uint32_t ms) {
    try {
        bp::import(wstr::toUtf8(privateModuleName()).c_str()).attr("flush_open_files")(ms / 1000.0);
    } catch (const bp::error_already_set&) {
        logMessage(Logger::Error,
                   widen("Failed to flush Python's files. Python exception: " + formatError()));
    }
}

// Thread states of the interpreter other than the calling thread's and the
// thread's that started it (the caller may be a helper of that thread). With
// the GIL held.
std::size_t otherThreadStates() {
    const PyThreadState* self = PyThreadState_Get();
    std::size_t count = 0;
    for (PyThreadState* state = PyInterpreterState_ThreadHead(PyInterpreterState_Main()); state;
         state = PyThreadState_Next(state))
        count += state != self && state != mainThreadState;
    return count;
}

// A thread whose function has ended still drops its thread state on its way
// out; give such threads a short while. Returns the states left. With the
// GIL held; it is let go between the looks.
std::size_t waitForOtherThreadStates(uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t others = otherThreadStates();
        if (others == 0 || std::chrono::steady_clock::now() >= deadline)
            return others;
        PyThreadState* state = PyEval_SaveThread();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        PyEval_RestoreThread(state);
    }
}

void logEnvironError() {
    logMessage(Logger::Error,
               widen("Failed to update os.environ. Python exception: " + formatError()));
}

// describe, never throwing: a failure on the way is told instead.
std::string describeSafely(PyObject* type, PyObject* value, PyObject* traceback) {
    try {
        return describe(type, value, traceback);
    } catch (const bp::error_already_set&) {
        PyErr_Clear();
        return "[Python exception occurred while parsing previous exception]";
    } catch (const std::exception& e) {
        return formatNarrow("[Internal exception occurred while parsing Python exception: {}]",
                            e.what());
    } catch (...) {
        return "[Unknown internal exception occurred while parsing Python exception]";
    }
}

} // namespace

const wstr& apiModuleName() {
    static const wstr name = L"quorvalent_api";
    return name;
}

const wstr& privateModuleName() {
    static const wstr name = L"quorvalent_private";
    return name;
}

const wstr& utilModuleName() {
    static const wstr name = L"quorvalent_util";
    return name;
}

wstr systemHome() {
    return widen(QV_PYTHON_HOME);
}

wstr bytecodeFolder(const wstr& programFolder) {
    return programFolder + L"/pycache";
}

wstr searchPath(const wstr& programPythonFolder, const wstr& packagesFolder) {
    wstr path = widen(QV_PYTHON_STDLIB ";" QV_PYTHON_DYNLOAD ";" QV_PYTHON_DIST_PACKAGES);
    for (const wstr* folder : {&programPythonFolder, &packagesFolder}) {
        if (!folder->empty())
            path += L";" + *folder;
    }
    return path;
}

void init(const wstr& home, const wstr& path, const wstr& overridePath,
          const wstr& bytecodeFolder) {
    // The interpreter keeps the name's pointer.
    static const std::string apiName = wstr::toUtf8(apiModuleName());
    if (PyImport_AppendInittab(apiName.c_str(), PyInit_quorvalent_api) == -1)
        throw std::runtime_error(
            formatNarrow("Failed to declare Python builtin module {}", apiModuleName()));
    startInterpreter(home, path, bytecodeFolder);
    if (PyErr_Occurred())
        throwError("Failed to initialize Python.");
    wstr banner;
    logMessage(Logger::Info, wstr::format(banner, L"Python {}", widen(Py_GetVersion())));
    mainThreadState = PyGILState_GetThisThreadState();
    PyEval_ReleaseThread(mainThreadState);
    registerConverters();

    GilLock gil;
    try {
        prepareEnvironment(overridePath);
    } catch (const bp::error_already_set&) {
        throwError("Failed to initialize Python environment.");
    }
}

bool finalize(uint32_t threadsMs, uint32_t interruptedMs, uint32_t settleMs,
              uint32_t exitHandlersMs, uint32_t flushMs) {
    // Each step waits for the GIL within GilLock's limit (at shutdown), and
    // for as long as the step itself may take.
    auto others = std::make_shared<std::atomic<std::size_t>>(0);
    const bool stopped = GilLock::runLimited(
        [threadsMs, interruptedMs, exitHandlersMs] {
            mainNamespace() = bp::object();
            stopPluginThreads(threadsMs, interruptedMs);
            setExitHandlersBound(exitHandlersMs);
        },
        threadsMs + interruptedMs + settleMs);
    const bool settled =
        stopped &&
        GilLock::runLimited([others, settleMs] { *others = waitForOtherThreadStates(settleMs); },
                            settleMs);
    PythonBuiltins::flushAllStd(nullptr);
    if (settled && *others == 0) {
        if (mainThreadState)
            PyEval_AcquireThread(mainThreadState);
        mainThreadState = nullptr;
        Py_Finalize();
        return true;
    }
    if (settled) {
        wstr text;
        logMessage(Logger::Warning,
                   wstr::format(text,
                                L"Python is not finalized: {} other thread(s) still run Python "
                                L"code",
                                others->load()));
    }
    // Skipped at once while a thread keeps the GIL.
    GilLock::runLimited([flushMs] { flushOpenFiles(flushMs); }, flushMs);
    return false;
}

bp::object& mainNamespace() {
    static bp::object space;
    return space;
}

bp::object importModule(const std::string& name) {
    GilLock gil;
    try {
        return bp::import(name.c_str());
    } catch (const bp::error_already_set&) {
        throwError(formatNarrow("Failed to import \"{}\".", name));
    }
}

bp::object borrowed(PyObject* object) {
    return bp::object(bp::handle<>(bp::borrowed(object ? object : Py_None)));
}

void leaveIfForkedChild() {
    if (!Platform::ForkedChild::current())
        return;
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type)
        PyErr_NormalizeException(&type, &value, &traceback);
    if (value && traceback)
        PyException_SetTraceback(value, traceback);
    try {
        bp::import(wstr::toUtf8(privateModuleName()).c_str())
            .attr("leave_forked_child")(borrowed(value));
    } catch (const bp::error_already_set&) {
    }
    // Only when Python failed to end it.
    _exit(1);
}

std::string formatError() {
    leaveIfForkedChild();
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    // An exception set from C holds only its arguments ("('missing',)")
    // until it is normalised.
    if (type)
        PyErr_NormalizeException(&type, &value, &traceback);
    bp::handle<> ownType(bp::allow_null(type)), ownValue(bp::allow_null(value)),
        ownTraceback(bp::allow_null(traceback));
    return describeSafely(type, value, traceback);
}

std::string errorText(const bp::object& error) {
    bp::handle<> traceback(bp::allow_null(PyException_GetTraceback(error.ptr())));
    return describeSafely(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr(),
                          traceback.get());
}

void throwError(const std::string& prefix) {
    GilLock gil;
    std::string message = prefix.empty() ? "" : prefix + " ";
    throw std::runtime_error(message + "Python exception: " + formatError());
}

void detail::raiseError(PyObject* type, const wstr& message) {
    GilLock gil;
    PyErr_SetString(type, wstr::toUtf8(message).c_str());
    throw bp::error_already_set();
}

wstr qualifiedClassName(const bp::object& object) {
    GilLock gil;
    try {
        wstr module = bp::extract<wstr>(object.attr("__module__"));
        wstr name = bp::extract<wstr>(object.attr("__class__").attr("__name__"));
        return module + L"." + name;
    } catch (const bp::error_already_set&) {
        formatError();
        return {};
    }
}

void syncEnviron(const std::map<wstr, wstr>& environment) {
    GilLock gil;
    try {
        bp::object environ = bp::import("os").attr("environ");
        environ.attr("clear")();
        for (const auto& [name, value] : environment) {
            wstr expanded;
            if (!Sys::tryExpandEnvVars(value, expanded))
                expanded = value;
            try {
                environ[name] = expanded;
            } catch (const bp::error_already_set&) {
                logEnvironError();
            }
        }
    } catch (const bp::error_already_set&) {
        logEnvironError();
    }
}

} // namespace Python
