#include "app/RunningInstance.h"

bool SocketRunningInstance::find() {
    return !socketPath_.empty() && client_.connect(socketPath_);
}

uint32_t SocketRunningInstance::processId() {
    return static_cast<uint32_t>(client_.peerPid());
}

bool SocketRunningInstance::openProcess() {
    const pid_t pid = client_.peerPid();
    return pid > 0 && process_.open(pid);
}

void SocketRunningInstance::send(uint32_t message) {
    client_.send(message, answerTimeoutMs);
}

RunningInstance::WaitResult SocketRunningInstance::waitForExit(uint32_t timeoutMs) {
    switch (process_.wait(static_cast<int>(timeoutMs))) {
    case Platform::Process::Ended:
        return Ended;
    case Platform::Process::TimedOut:
        return TimedOut;
    default:
        return Failed;
    }
}

bool SocketRunningInstance::terminate() {
    return process_.kill();
}
