// Python's headers go before Qt's, whose "slots" macro they use as a name.
#include "python/Python.h"

#include "windows/ConsoleInterpreter.h"

#include "python/GilLock.h"
#include "python/PythonBuiltins.h"

namespace {

// Collects Python's standard streams into the text while it lives.
class OutputCapture {
public:
    explicit OutputCapture(wstr& target) { PythonBuiltins::flushAllStd(&target); }
    ~OutputCapture() { PythonBuiltins::flushAllStd(nullptr); }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;
};

// Prints the pending exception's traceback to the standard error. SystemExit
// is only shown: PyErr_Print would end the whole program for it.
void printError() {
    if (!PyErr_ExceptionMatches(PyExc_SystemExit)) {
        PyErr_Print();
        return;
    }
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyErr_Display(type, value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
}

} // namespace

wstr ConsoleInterpreter::run(const wstr& statement) {
    if (!Py_IsInitialized())
        return L"Python is not running.\n";
    wstr output;
    GilLock gil;
    PyObject* globals = Python::mainNamespace().ptr();
    if (!PyDict_Check(globals))
        return L"Python is not running.\n";
    {
        OutputCapture capture(output);
        const std::string source = wstr::toUtf8(statement);
        PyObject* result = PyRun_String(source.c_str(), Py_file_input, globals, globals);
        if (result)
            Py_DECREF(result);
        else
            printError();
    }
    return output;
}
