#include "platform/StopSignals.h"

#include "platform/Error.h"
#include "platform/EventFd.h"

#include <gtest/gtest.h>

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

// A child forked from the program shares the event descriptor; a stop signal
// it gets is its own and ends it, and the program's event stays quiet.
TEST(StopSignals, AForkedChildTakesTheDefaultAction) {
    EventFd event(true);
    ASSERT_TRUE(event.valid());
    StopSignals stopSignals(event.fd());
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalName(signal));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            raise(signal);
            // The thread sanitizer delivers a signal at the next call it
            // watches, not at once: the child waits for it, within a bound.
            for (int i = 0; i < 100; ++i)
                usleep(100000);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(event.wait(0), static_cast<uint32_t>(WAIT_TIMEOUT));
    }
}
