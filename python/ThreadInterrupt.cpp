#include "python/PythonBuiltins.h"

#include "python/GilLock.h"

namespace PythonBuiltins {

// Threads that run Python have a thread state that knows their kernel id.
void interruptThread(uint32_t threadId) {
    if (threadId == 0)
        return;
    GilLock::runLimited([threadId] {
        for (PyInterpreterState* interpreter = PyInterpreterState_Head(); interpreter;
             interpreter = PyInterpreterState_Next(interpreter)) {
            for (PyThreadState* state = PyInterpreterState_ThreadHead(interpreter); state;
                 state = PyThreadState_Next(state)) {
                if (state->native_thread_id == threadId)
                    PyThreadState_SetAsyncExc(state->thread_id, PyExc_SystemExit);
            }
        }
    });
}

} // namespace PythonBuiltins
