#pragma once

#include "core/Wstr.h"

// Runs the console's Python statements in the embedded interpreter: each
// one executed (as by exec) with the console namespace, module __main__'s
// dictionary, as its globals, with the GIL held and what Python writes to
// its standard output and error collected. User-interface thread.
class ConsoleInterpreter {
public:
    virtual ~ConsoleInterpreter() = default;

    // Runs the statement and returns what it wrote, its traceback included
    // when it raised. A statement never throws out of here: without a
    // running interpreter the text says so.
    virtual wstr run(const wstr& statement);
};
