#pragma once

#include <Python.h>

// The builtin module quorvalent_api: registered with the interpreter before
// it starts and initialised on its first import (the interpreter's thread,
// GIL held).
extern "C" PyObject* PyInit_quorvalent_api();
