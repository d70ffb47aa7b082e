#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <unistd.h>

namespace Platform {
namespace {

std::atomic<int> targetFd{-1};
std::atomic<int> received{0};
std::atomic<pid_t> ownerPid{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// A process forked from the program (plugin code may fork) shares the event
// descriptor: its signal is its own, and takes the default action there,
// however soon after the fork it comes.
void onStopSignal(int signal) {
    if (::getpid() != ownerPid.load()) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int savedErrno = errno;
    received.store(signal);
    const uint64_t one = 1;
    // A full counter means the event is signalled already.
    [[maybe_unused]] const ssize_t written = ::write(targetFd.load(), &one, sizeof one);
    errno = savedErrno;
}

} // namespace

const int StopSignals::signals_[count] = {SIGINT, SIGTERM, SIGHUP};

StopSignals::StopSignals(int eventFd) {
    targetFd.store(eventFd);
    received.store(0);
    ownerPid.store(::getpid());
    struct sigaction action = {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < count; ++i)
        sigaction(signals_[i], &action, &former_[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < count; ++i)
        sigaction(signals_[i], &former_[i], nullptr);
    targetFd.store(-1);
}

int StopSignals::lastSignal() {
    return received.load();
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "another signal";
    }
}

} // namespace Platform
