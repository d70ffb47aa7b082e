#include <boost/python.hpp>

#include "tests/python/PythonTestSupport.h"

#include "core/Logger.h"
#include "python/GilLock.h"
#include "python/Python.h"

#include <gtest/gtest.h>

namespace bp = boost::python;

// Boost.Python keeps the type names it demangles for the process's life and
// frees only their index at exit. With the fast unwinder the stack of such an
// allocation ends inside libstdc++ and escapes the Boost.Python suppression;
// full stacks let the sanitizer's suppressions recognise it. (ASAN_OPTIONS in
// the environment still override this.)
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace qvtest {
namespace {

class PythonEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const wstr packages = wstr::fromUtf8(pythonFolders().packages.str().c_str());
        const wstr programFolder = wstr::fromUtf8(QV_BUILD_DIR "/python");
        Python::init(Python::systemHome(), Python::searchPath(programFolder, packages), packages,
                     Python::bytecodeFolder(wstr::fromUtf8(QV_BUILD_DIR)));
    }
    void TearDown() override { Python::finalize(); }
};

// gtest owns the environment.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PythonEnvironment);

} // namespace

const PythonFolders& pythonFolders() {
    static const PythonFolders folders;
    return folders;
}

bp::dict runPython(const std::string& code, bp::dict names) {
    bp::dict space = names.copy();
    bp::exec(code.c_str(), space);
    return space;
}

std::vector<std::string> messages(const LogRecords& records, Logger::Level level) {
    std::vector<std::string> result;
    for (const auto& item : records.all()) {
        if (item->level == level)
            result.push_back(wstr::toUtf8(item->message));
    }
    return result;
}

} // namespace qvtest
