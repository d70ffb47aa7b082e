#include "python/GilLock.h"

void GilLock::acquire() {
    if (held_)
        return;
    state_ = PyGILState_Ensure();
    held_ = true;
}

void GilLock::release() {
    if (!held_)
        return;
    PyGILState_Release(state_);
    held_ = false;
}
