#pragma once

namespace Platform {

// A process forked from the program (plugin code may fork: os.fork, the
// fork and forkserver start methods of multiprocessing) is no instance of
// the program: it must not keep the instance's lock or socket alive once the
// program ends. Its other threads are
// gone, so the locks they held stay held: code that may run there asks
// ForkedChild::current() and stays clear of the program's state.
namespace ForkedChild {

// Whether the calling process is a child forked from the program. Any
// thread; async-signal-safe.
bool current();

// Closes a descriptor in every child forked while it lives (the parent keeps
// it). A child of a process that holds an flock shares the lock, and a
// child that outlives the program would hold it: closing the child's copy
// leaves the parent's lock alone. Owner's thread; forks may happen on any.
class CloseInChild {
public:
    CloseInChild() = default;
    explicit CloseInChild(int fd) { set(fd); }
    ~CloseInChild() { set(-1); }
    CloseInChild(const CloseInChild&) = delete;
    CloseInChild& operator=(const CloseInChild&) = delete;

    // The descriptor to close, -1 for none.
    void set(int fd);

private:
    int slot_ = -1;
};

} // namespace ForkedChild
} // namespace Platform
