#pragma once

#include <Python.h>

#include "core/Wstr.h"

#include <cstdint>
#include <vector>

// The builtin module quorvalent_api: registered with the interpreter before
// it starts and initialised on its first import (the interpreter's thread,
// GIL held).
extern "C" PyObject* PyInit_quorvalent_api();

// The module's contents, defined in this order when it is initialised: the
// functions, the classes Plugin, CatalogAction and CatalogItem, and the
// settings functions. Every define* runs once, with the GIL held.
namespace PythonBuiltins {

void defineApiModule();
// Identity, folders, packages, icons, threads, streams, log, hashing.
void defineCoreFunctions();
// Clipboard, command lines, files, links, scans and the shell.
void defineShellFunctions();
void definePlugin();
void defineCatalogAction();
void defineCatalogItem();
void defineSettings();

// The docstrings of the module's functions, classes and methods: "name" or
// "Class.method" and its text. addDocstrings attaches them once the module
// is defined (same thread, GIL held).
struct ApiDocstring {
    const char* name;
    const char* text;
};
const std::vector<ApiDocstring>& apiDocstrings();
void addDocstrings();

// Flushes Python's standard streams to the log, then sends their lines to
// `capture` (each followed by '\n') until the next call, or to the log again
// when it is null. The console calls it around each statement it runs, with
// the GIL held.
void flushAllStd(wstr* capture);

// Raises SystemExit in the Python code that the thread with this kernel id
// runs, the way to stop a pool worker or a plugin thread that must be
// terminated (the thread pool's and the package manager's terminate hook).
// Does nothing for a thread that runs no Python or once the interpreter has
// stopped. Takes the GIL; any thread.
void interruptThread(uint32_t threadId);

// From the start of the program's shutdown on, should_terminate() is True
// on every thread; a new start of the application (tests embed several)
// clears it. Any thread.
void setShuttingDown(bool shuttingDown);
// What should_terminate() answers the calling thread. Any thread.
bool callerShouldTerminate();

// The values register_python_thread and unregister_python_thread insist on,
// so that only the start-up module's thread hooks call them.
constexpr unsigned registerThreadGuard = 0x5C2E91A7;
constexpr unsigned unregisterThreadGuard = 0x3B7D04F6;

} // namespace PythonBuiltins
