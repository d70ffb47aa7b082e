#pragma once

#include "core/Event.h"
#include "core/Wstr.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The program-wide log. Any thread hands it a record; the record goes into a
// ring of the last 5000 records (read by the console), is written by the
// logger thread as one UTF-8 line to the log file and, when the caller asks
// for it, is shown in a message box whose answer is returned (a box with OK
// alone is shown without waiting for it).
//
// The log file is opened for each batch of records and closed after it. Until
// the logger thread runs (and after it stopped) records are written on the
// thread that logs them.
class Logger {
public:
    enum Level : uint32_t { Debug = 0, Info = 1, Warning = 2, Error = 3, Fatal = 4 };

    // Record flags: the low 24 bits are message box style bits (a record with
    // any of them set is shown in a box); fromScript marks a record of script
    // code whose text gets its source location as a prefix.
    static constexpr uint32_t boxStyleMask = 0xFFFFFF;
    static constexpr uint32_t fromScript = 0x1000000;

    static constexpr size_t ringSize = 5000;
    static constexpr int64_t rotateSize = 1048576;
    static constexpr uint32_t stopTimeoutMs = 7000;

    struct LocalTime {
        uint16_t year = 0;
        uint16_t month = 0;
        uint16_t dayOfWeek = 0;
        uint16_t day = 0;
        uint16_t hour = 0;
        uint16_t minute = 0;
        uint16_t second = 0;
        uint16_t milliseconds = 0;
    };

    // One record, immutable once logged.
    struct Item {
        uint64_t id = 0; // from 1, one more per record, in ring order
        Level level = Info;
        uint32_t flags = 0;
        LocalTime time;
        double uptime = 0; // seconds since the process started
        wstr message;      // including the location prefix
        size_t prefixLength = 0;
        wstr source;
        int32_t line = 0;
    };
    using ItemPtr = std::shared_ptr<const Item>;

    // Where records take their time from. An empty function keeps the default:
    // the local wall-clock time, and the seconds since the process started.
    struct Clock {
        std::function<LocalTime()> localTime;
        std::function<double()> uptime;
    };
    // Any thread; meant for start-up and tests.
    static void setClock(Clock clock);
    // The caption of message boxes. Any thread.
    static void setAppName(wstr name);

    // Logs a record; returns the message box's answer, or 1 when none was
    // shown. Any thread.
    static int log(Level level, uint32_t flags, wstr source, int32_t line, wstr message);
    // The records with an id greater than afterId, oldest first (all for 0).
    // Any thread.
    static std::vector<ItemPtr> fetch(uint64_t afterId);

    // Switches file output on or off; off closes the file. Any thread.
    static void enableFile(bool on);
    // Makes path the log file for this run: closes any open file, marks the
    // next open as the first of the run and rotates a file of rotateSize bytes
    // or more away. Rotation failures throw std::runtime_error. Start-up.
    static void setFile(const wstr& path);

    // Every listener event is signalled on each new record; one already
    // registered is not added again. Any thread.
    static void addListener(const Event::Handle& event);
    static void clearListeners();

    // Creates the new-record event when it does not exist (std::runtime_error
    // "Failed to create Event object for the logger (error {})") and launches
    // the logger thread unless it runs. Start-up thread.
    static void start();
    // Stops the logger thread (waits up to timeoutMs, no force) and closes the
    // new-record event; later records are written synchronously. Shutdown thread.
    static void stop(uint32_t timeoutMs = stopTimeoutMs);

    // Writes every record not yet handed to the writer. Any thread.
    static void writePending();
    // Opens (append) or creates anew the log file. A failure is logged as a
    // warning (a warning box with report) unless the same failure was the
    // last one reported; every batch tries again. Records the ring dropped
    // before they could be written are counted in the file. Any thread.
    static void openFile(bool append, bool report);

    // Size in bytes from the descriptor when valid, else from the path; -1
    // when neither tells.
    static int64_t fileSize(const wstr& path, int fd);
    // stem + "." + extension for index 0; stem + "." + index + "." + extension
    // after; an empty extension adds nothing.
    static wstr rotatedName(const wstr& stem, int index, const wstr& extension);
    // Shifts the log files up by one (unless skipShift), so that file N becomes
    // N+1 and the log file itself becomes 1, and deletes files keep+1 to 9.
    // Nothing without a path. Failures throw std::runtime_error. Start-up.
    static void rotate(int keep, bool skipShift);

    // The letter that stands for a level in the file: d, i, W, E, X or ?.
    static wchar_t levelLetter(Level level);

private:
    static void threadProc();
};

// Logs a record; a null or empty source is empty. Any thread.
int logMessage(Logger::Level level, uint32_t flags, const wchar_t* source, int32_t line,
               wstr message);
int logMessage(Logger::Level level, wstr message);
