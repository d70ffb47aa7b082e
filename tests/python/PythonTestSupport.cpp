#include <boost/python.hpp>

#include "tests/python/PythonTestSupport.h"

#include "core/Logger.h"
#include "python/GilLock.h"
#include "python/Python.h"

#include <gtest/gtest.h>

namespace bp = boost::python;

namespace qvtest {
namespace {

class PythonEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const wstr packages = wstr::fromUtf8(pythonFolders().packages.str().c_str());
        const wstr programFolder = wstr::fromUtf8(QV_BUILD_DIR "/python");
        Python::init(Python::systemHome(), Python::searchPath(programFolder, packages), packages);
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

LogWatch::LogWatch() {
    auto records = Logger::fetch(0);
    since_ = records.empty() ? 0 : records.back()->id;
}

std::vector<wstr> LogWatch::messages(int level) const {
    std::vector<wstr> result;
    for (const auto& item : Logger::fetch(since_)) {
        if (int(item->level) == level)
            result.push_back(item->message);
    }
    return result;
}

} // namespace qvtest
