#pragma once

#include <Python.h>

#include <cstdint>
#include <functional>

// Holds the embedded interpreter's global lock (GIL) for the calling thread
// while it lives. Nests: a thread that already holds the GIL may create
// another one. Created, released and destroyed on one thread; any thread that
// runs Python code may use it once the interpreter has started.
class GilLock {
public:
    GilLock() { acquire(); }
    ~GilLock() { release(); }
    GilLock(const GilLock&) = delete;
    GilLock& operator=(const GilLock&) = delete;

    // Takes the GIL when this lock does not hold it yet.
    void acquire();
    // Gives the GIL back when this lock holds it.
    void release();
    bool held() const { return held_; }

    // Work that needs the GIL at shutdown, which must end even while a plugin
    // thread keeps the GIL for ever (a long call into C holds it without a
    // break). Taking the GIL has no time-out, and a thread that waits for it
    // cannot be woken; so once waits are limited, the work is handed to a
    // helper thread that takes the GIL and runs it, and the caller waits for
    // that at most the limit (plus extraMs, for work that waits by design).
    // Past it the helper is left waiting (it runs nothing once it gets the
    // GIL), the wait is reported once, and every later call skips its work at
    // once: the interpreter is then left as it is, never finalized.
    //
    // Runs the work with the GIL held: on the calling thread, however long
    // the GIL takes, until limitWaits was called; false when it was skipped
    // (also without an interpreter) or not done in time. Any thread; the
    // caller holds no GIL.
    static bool runLimited(std::function<void()> work, uint32_t extraMs = 0);
    // From now on, runLimited waits at most timeoutMs for each work; report
    // runs once, on the thread that gives up, with the time it waited. Any
    // thread (shutdown).
    static void limitWaits(uint32_t timeoutMs, std::function<void(uint32_t waitedMs)> report);
    // A wait was given up: a thread other than ours holds the GIL.
    static bool givenUp();
    // Waits are unlimited again and nothing is given up (a test that limited
    // them leaves the next one as it found it). Any thread.
    static void unlimitWaits();

private:
    PyGILState_STATE state_ = PyGILState_UNLOCKED;
    bool held_ = false;
};
