#include "platform/StopSignals.h"

#include "platform/Error.h"
#include "platform/EventFd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

using namespace Platform;

namespace {

sighandler_t disposition(int signal) {
    struct sigaction current = {};
    sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

void ignored(int) {}

} // namespace

// Each stop signal only signals the event while the object lives; the
// dispositions before it come back afterwards.
TEST(StopSignals, SignalTheEventWhileInstalled) {
    EventFd event(true);
    ASSERT_TRUE(event.valid());
    struct sigaction before = {};
    before.sa_handler = &ignored;
    struct sigaction saved[3] = {};
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; ++i)
        sigaction(signals[i], &before, &saved[i]);
    {
        StopSignals stopSignals(event.fd());
        for (int signal : signals) {
            SCOPED_TRACE(signalName(signal));
            ASSERT_EQ(raise(signal), 0);
            EXPECT_EQ(event.wait(0), WAIT_OBJECT_0);
            EXPECT_EQ(StopSignals::lastSignal(), signal);
        }
        EXPECT_EQ(event.wait(0), static_cast<uint32_t>(WAIT_TIMEOUT)) << "one signal, one wake";
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(disposition(signals[i]), &ignored);
        sigaction(signals[i], &saved[i], nullptr);
    }
}

namespace {

// Forks children that each raise one stop signal while the program's
// handlers are installed; exits 0 when each was ended by its own signal and
// the program's event stayed quiet, else 1 with the reason on stderr.
[[noreturn]] void forkChildrenThatRaise() {
    EventFd event(true);
    StopSignals stopSignals(event.fd());
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = fork();
        if (child == 0) {
            raise(signal);
            _exit(0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) {
            std::fprintf(stderr, "%s: fork or wait failed\n", signalName(signal));
            std::_Exit(1);
        }
        if (!WIFSIGNALED(status) || WTERMSIG(status) != signal) {
            std::fprintf(stderr, "%s: child status %d\n", signalName(signal), status);
            std::_Exit(1);
        }
        if (event.wait(0) != static_cast<uint32_t>(WAIT_TIMEOUT)) {
            std::fprintf(stderr, "%s: the program's event was signalled\n", signalName(signal));
            std::_Exit(1);
        }
    }
    std::_Exit(0);
}

} // namespace

// A child forked from the program shares the event descriptor; a stop signal
// it gets is its own and ends it, and the program's event stays quiet. The
// children are forked from a fresh process without other threads: after a
// fork from a process with threads, the thread sanitizer never hands a
// signal to the program's handler.
TEST(StopSignals, AForkedChildTakesTheDefaultAction) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(forkChildrenThatRaise(), testing::ExitedWithCode(0), "");
}
