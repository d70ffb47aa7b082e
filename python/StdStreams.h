#pragma once

#include "core/Mutex.h"
#include "core/Wstr.h"

#include <array>

// Python's standard output (stream 1) and standard error (stream 2): text
// is buffered per stream and each complete line becomes a log record "Python:
// <line>" at info level, or, while the console captures the output, a line of
// the console's text. A stream id other than 1 or 2 means 1. One process-wide
// instance; every operation holds its mutex and never needs Python meanwhile,
// so it is called with the GIL released (or, from the console, held).
class StdStreams {
public:
    static StdStreams& instance();

    // Appends the text to the stream and emits its complete lines. Any
    // thread running Python code.
    void print(int id, const wstr& text);
    // Emits the complete lines of one stream. Any thread running Python code.
    void flush(int id);
    // Emits everything both streams hold, incomplete last lines too: the
    // stream written last first. Any thread running Python code.
    void flushAll();
    // flushAll, then sends the lines of both streams to `target` (each
    // followed by '\n'), or to the log again when it is null. The target
    // belongs to the caller and must outlive the capture. The console's
    // thread.
    void capture(wstr* target);

private:
    struct Stream {
        wstr buffer;
        wstr* target = nullptr;
    };

    StdStreams() = default;
    static int clamp(int id) { return id == 2 ? 2 : 1; }
    Stream& stream(int id) { return streams_[clamp(id) - 1]; }
    void flushLocked(int id, bool force);
    void writeLine(int id, const wstr& line);

    Mutex mutex_;
    std::array<Stream, 2> streams_;
    int lastWritten_ = 0;
};
