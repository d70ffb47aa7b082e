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
    // GIL), the wait is reported, and later calls skip their work at
    // once while the GIL is still held; once the helper gets it, the holder
    // has let go and later calls run their work again. Work skipped so is
    // not done later: the interpreter is then never finalized.
    //
    // Runs the work with the GIL held: on the calling thread, however long
    // the GIL takes, until limitWaits was called; false when it was skipped
    // (also without an interpreter) or not done in time. Any thread; the
    // caller holds no GIL.
    static bool runLimited(std::function<void()> work, uint32_t extraMs = 0);
    // From now on, runLimited waits at most timeoutMs for each work; report
    // runs once, on the thread that gives up, with the time it waited and the
    // kernel id of the thread that holds the GIL then (0 when none does). Any
    // thread (shutdown).
    static void limitWaits(uint32_t timeoutMs,
                           std::function<void(uint32_t waitedMs, uint32_t holder)> report);
    // A wait was given up, and the thread that held the GIL then has not
    // let it go yet.
    static bool givenUp();
    // That thread's kernel id while givenUp(); 0 otherwise or when unknown.
    static uint32_t holder();
    // Waits are unlimited again and nothing is given up (a test that limited
    // them leaves the next one as it found it). Any thread.
    static void unlimitWaits();

private:
    PyGILState_STATE state_ = PyGILState_UNLOCKED;
    bool held_ = false;
};
