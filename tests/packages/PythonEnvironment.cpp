#include "python/Python.h"

#include "core/Wstr.h"

#include <gtest/gtest.h>

// Boost.Python keeps the type names it demangles for the process's life; full
// stacks let the sanitizer's suppressions recognise those allocations.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace {

// Package settings are read through the interpreter: it runs for the whole
// test binary.
class PythonEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const wstr programFolder = wstr::fromUtf8(QV_BUILD_DIR "/python");
        Python::init(Python::systemHome(), Python::searchPath(programFolder, wstr()), wstr());
    }
    void TearDown() override { Python::finalize(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PythonEnvironment);

} // namespace
