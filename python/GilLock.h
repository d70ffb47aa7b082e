#pragma once

#include <Python.h>

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

private:
    PyGILState_STATE state_ = PyGILState_UNLOCKED;
    bool held_ = false;
};
