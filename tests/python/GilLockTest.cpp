#include <boost/python.hpp>

#include "python/GilLock.h"
#include "tests/python/PythonTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(GilLock, Nests) {
    ASSERT_FALSE(PyGILState_Check());
    {
        GilLock outer;
        {
            GilLock inner;
            EXPECT_TRUE(PyGILState_Check());
        }
        EXPECT_TRUE(PyGILState_Check());
        outer.release();
        outer.release();
        EXPECT_FALSE(outer.held());
        EXPECT_FALSE(PyGILState_Check());
        outer.acquire();
        EXPECT_TRUE(PyGILState_Check());
    }
    EXPECT_FALSE(PyGILState_Check());
}

// A lock released on its own thread lets the next thread in; a lock that
// kept the GIL would block the main thread here for good.
TEST(GilLock, ReleasesOnItsOwnThread) {
    bool heldAfterRelease = true;
    std::thread worker([&] {
        GilLock gil;
        qvtest::runPython("import threading\nname = threading.current_thread().name");
        gil.release();
        heldAfterRelease = PyGILState_Check();
    });
    worker.join();
    EXPECT_FALSE(heldAfterRelease);
    GilLock gil;
    EXPECT_TRUE(PyGILState_Check());
}

} // namespace
