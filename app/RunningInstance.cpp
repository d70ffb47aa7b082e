#include "app/RunningInstance.h"

#include "core/Format.h"

bool SocketRunningInstance::find() {
    unreachable_.clear();
    if (!socketPath_.empty() && client_.connect(socketPath_))
        return true;
    const auto holder = holder_ ? holder_() : std::nullopt;
    if (!holder)
        return false;
    // The pid tells the holder from another instance that took its socket
    // path since.
    if (holder->pid > 0 && client_.connect(holder->socketPath) && client_.peerPid() == holder->pid)
        return true;
    unreachable_ = holder->pid > 0
                       ? formatNarrow("Quorvalent already runs as process {} with this profile ({} "
                                      "is held), but does not answer at {}.",
                                      holder->pid, holder->lockPath, holder->socketPath)
                       : formatNarrow("Quorvalent is starting with this profile ({} is held) and "
                                      "does not answer yet.",
                                      holder->lockPath);
    return false;
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
