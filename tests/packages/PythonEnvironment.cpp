#include "tests/packages/PythonEnvironment.h"

#include "python/Python.h"

#include "core/Wstr.h"

#include <gtest/gtest.h>

// Boost.Python keeps the type names it demangles for the process's life; full
// stacks let the sanitizer's suppressions recognise those allocations.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace {

bool& started() {
    static bool value = false;
    return value;
}

// Stops the interpreter after the last test, when one of them started it.
class PythonEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        if (started())
            Python::finalize();
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PythonEnvironment);

} // namespace

namespace qvtest {

void requirePython() {
    if (started())
        return;
    const wstr programFolder = wstr::fromUtf8(QV_BUILD_DIR "/python");
    Python::init(Python::systemHome(), Python::searchPath(programFolder, wstr()), wstr(),
                 Python::bytecodeFolder(wstr::fromUtf8(QV_BUILD_DIR)));
    started() = true;
}

} // namespace qvtest
