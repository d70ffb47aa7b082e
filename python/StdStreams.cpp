#include "python/StdStreams.h"

#include "core/Logger.h"

namespace {

constexpr const wchar_t* lineBreaks = L"\r\n";

} // namespace

StdStreams& StdStreams::instance() {
    static StdStreams streams;
    return streams;
}

void StdStreams::print(int id, const wstr& text) {
    id = clamp(id);
    Mutex::Lock lock(mutex_);
    stream(id).buffer += text;
    if (text.find_first_of(lineBreaks) != wstr::npos)
        flushLocked(id, false);
    lastWritten_ = id;
}

void StdStreams::flush(int id) {
    Mutex::Lock lock(mutex_);
    flushLocked(clamp(id), false);
}

void StdStreams::flushAll() {
    Mutex::Lock lock(mutex_);
    if (lastWritten_ != 0)
        flushLocked(lastWritten_, true);
    for (int id : {1, 2}) {
        if (!stream(id).buffer.empty())
            flushLocked(id, true);
    }
}

void StdStreams::capture(wstr* target) {
    Mutex::Lock lock(mutex_);
    flushAll();
    for (Stream& each : streams_)
        each.target = target;
}

// A run of line breaks ends one line and never yields empty lines.
void StdStreams::flushLocked(int id, bool force) {
    wstr& buffer = stream(id).buffer;
    while (!buffer.empty()) {
        std::size_t end = buffer.find_first_of(lineBreaks);
        if (end == wstr::npos)
            break;
        writeLine(id, buffer.substr(0, end));
        std::size_t next = buffer.find_first_not_of(lineBreaks, end);
        buffer.erase(0, next == wstr::npos ? buffer.size() : next);
    }
    if (force && !buffer.empty()) {
        writeLine(id, buffer);
        buffer.clear();
    }
}

// The negative line number keeps the record free of one.
void StdStreams::writeLine(int id, const wstr& line) {
    if (wstr* target = stream(id).target) {
        *target += line;
        *target += L'\n';
        return;
    }
    Logger::log(Logger::Info, Logger::fromScript, L"Python", -id, line);
}
