#include "tests/app/PythonForTests.h"

#include "python/Python.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace qvtest {
namespace {

class PythonEnvironment : public ::testing::Environment {
public:
    void start() {
        if (packages_)
            return;
        packages_ = std::make_unique<TempDir>();
        const wstr packages = wstr::fromUtf8(packages_->str().c_str());
        Python::init(Python::systemHome(),
                     Python::searchPath(wstr::fromUtf8(QV_BUILD_DIR "/python"), packages), packages,
                     Python::bytecodeFolder(wstr::fromUtf8(QV_BUILD_DIR)));
    }
    void TearDown() override {
        if (packages_)
            Python::finalize();
        packages_.reset();
    }

private:
    std::unique_ptr<TempDir> packages_;
};

PythonEnvironment* const environment =
    static_cast<PythonEnvironment*>(::testing::AddGlobalTestEnvironment(new PythonEnvironment));

} // namespace

void ensurePython() {
    environment->start();
}

} // namespace qvtest
