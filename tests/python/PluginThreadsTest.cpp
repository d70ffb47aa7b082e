// Python code that must stop is interrupted with SystemExit, and threads
// that plugins leave running never keep the interpreter, and so the program,
// from ending. The interpreter stops once per process, so the last test runs
// this binary again as a child that leaves such threads behind.
#include <boost/python.hpp>

#include "platform/ThreadId.h"
#include "python/GilLock.h"
#include "python/GuardedFunction.h"
#include "python/Python.h"
#include "python/PythonBuiltins.h"
#include "tests/python/PythonTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

namespace bp = boost::python;

namespace {

TEST(PluginThreads, InterruptRaisesSystemExitInTheThreadsPythonCode) {
    std::promise<uint32_t> started;
    std::string outcome;
    std::thread worker([&] {
        GilLock gil;
        bp::dict names;
        names["started"] = Python::makeGuardedFunction<void()>(
            [&] { started.set_value(Platform::currentThreadId()); });
        try {
            qvtest::runPython("import time\nstarted()\nwhile True:\n    time.sleep(0.01)\n", names);
        } catch (const bp::error_already_set&) {
            outcome = Python::formatError();
        }
    });
    std::future<uint32_t> threadId = started.get_future();
    ASSERT_EQ(threadId.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    PythonBuiltins::interruptThread(threadId.get());
    worker.join();
    EXPECT_THAT(outcome, ::testing::StartsWith("SystemExit"));
}

constexpr const char* childVariable = "QV_PLUGIN_THREADS_CHILD";

// Only in the child: one thread that ends on SystemExit, one that ignores it.
TEST(PluginThreadsChild, LeavesThreadsRunning) {
    if (!std::getenv(childVariable))
        GTEST_SKIP() << "runs as the child of PluginThreads.NeverKeepTheInterpreterFromStopping";
    GilLock gil;
    qvtest::runPython(R"(
import threading, time
def polite():
    while True:
        time.sleep(0.02)
def stubborn():
    while True:
        try:
            time.sleep(0.02)
        except SystemExit:
            pass
threading.Thread(target=polite, name='polite').start()
threading.Thread(target=stubborn, name='stubborn').start()
)");
}

std::string selfPath() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string();
}

// A child whose threads keep the interpreter from stopping hangs until
// `timeout` kills it (status 124). The limit is generous because a sanitizer
// build's interpreter alone starts slowly on a busy machine; it is no
// measure of the shutdown's own time.
TEST(PluginThreads, NeverKeepTheInterpreterFromStopping) {
    const std::string command = std::string(childVariable) +
                                "=1 ASAN_OPTIONS=detect_leaks=0 timeout 240 '" + selfPath() +
                                "' --gtest_filter=PluginThreadsChild.* 2>&1";
    FILE* output = popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, output)) > 0;)
        text.append(buffer, n);
    const int status = pclose(output);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
}

} // namespace
