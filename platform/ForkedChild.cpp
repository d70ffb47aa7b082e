#include "platform/ForkedChild.h"

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace Platform::ForkedChild {
namespace {

// Few descriptors are closed so (the instance's lock and socket); slots
// without locks, as a fork may come while another thread registers. A slot
// holds the descriptor plus one: 0 is a free slot.
constexpr std::size_t slotCount = 8;
std::array<std::atomic<int>, slotCount> closedFds{};
std::atomic<bool> forked{false};
static_assert(std::atomic<int>::is_always_lock_free, "read in a forked child");

// Runs in the child right after fork, alone: async-signal-safe calls only.
// The child ignores SIGPIPE as a Python program does (a write to a closed
// pipe fails with EPIPE).
void inChild() {
    forked.store(true);
    for (auto& slot : closedFds) {
        const int fd = slot.exchange(0) - 1;
        if (fd >= 0)
            ::close(fd);
    }
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

void installHandler() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, &inChild); });
}

} // namespace

bool current() {
    return forked.load();
}

void CloseInChild::set(int fd) {
    if (slot_ >= 0)
        closedFds[std::size_t(slot_)].store(0);
    slot_ = -1;
    if (fd < 0)
        return;
    installHandler();
    for (std::size_t i = 0; i < slotCount; ++i) {
        int free = 0;
        if (closedFds[i].compare_exchange_strong(free, fd + 1)) {
            slot_ = int(i);
            return;
        }
    }
}

} // namespace Platform::ForkedChild
