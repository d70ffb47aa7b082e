#pragma once

#include <Python.h>

#include "core/Wstr.h"

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

// Flushes Python's standard streams to the log, then sends their lines to
// `capture` (each followed by '\n') until the next call, or to the log again
// when it is null. The console calls it around each statement it runs, with
// the GIL held.
void flushAllStd(wstr* capture);

// The values register_python_thread and unregister_python_thread insist on,
// so that only the start-up module's thread hooks call them.
constexpr unsigned registerThreadGuard = 0x5C2E91A7;
constexpr unsigned unregisterThreadGuard = 0x3B7D04F6;

} // namespace PythonBuiltins
