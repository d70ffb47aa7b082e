#pragma once

#include "core/Logger.h"

#include <cstddef>

// Fills the log's ring of recent records, so that each record a fuzz input
// logs replaces an older one. Otherwise every such input keeps memory past
// its run, and the fuzzer takes that for a possible leak and scans the whole
// heap each time. Call once, from LLVMFuzzerInitialize.
inline void fillLogRing() {
    for (size_t i = 0; i < Logger::ringSize; ++i)
        logMessage(Logger::Debug, L"A record that keeps the log's ring full while fuzzing.");
}
