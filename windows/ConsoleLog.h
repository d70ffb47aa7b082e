#pragma once

#include "core/Logger.h"
#include "core/Wstr.h"

#include <cstdint>
#include <string_view>
#include <vector>

// What the console's log box shows of the log records: each record on its
// own line with an optional time prefix and a level prefix, a line when the
// day changed between batches, and whether a batch asks for attention.
// Lines end with "\n", the line end of the log box. One per console;
// user-interface thread.
class ConsoleLog {
public:
    // The text a batch of records adds to the log box and its highest level
    // (never below info).
    struct Batch {
        wstr text;
        uint32_t highestLevel = Logger::Info;
        std::size_t records = 0;
    };

    // Trailing white space trimmed, carriage returns removed, one "\n" added.
    static wstr normalise(std::wstring_view text);
    // "** FATAL ERROR: ", "** ERROR: ", "WARNING: ", or empty.
    static const wchar_t* levelPrefix(Logger::Level level);

    // Copies of [console] show_time_prefix and flash_on (a logger level).
    void setShowTimePrefix(bool on) { showTimePrefix_ = on; }
    void setFlashLevel(int32_t level) { flashLevel_ = level; }

    // Formats the records (oldest first), remembering the last id and the
    // date of the batch for the next one.
    Batch format(const std::vector<Logger::ItemPtr>& records);
    // A batch with records of flash level or above asks for attention, but
    // only of a console that is shown.
    bool shouldFlash(const Batch& batch, bool visible) const;

    // The id of the last record formatted (0 before any).
    uint64_t lastId() const { return lastId_; }

private:
    struct Date {
        uint16_t year = 0;
        uint16_t month = 0;
        uint16_t day = 0;
        bool operator==(const Date&) const = default;
        bool isSet() const { return year != 0 && month != 0 && day != 0; }
    };

    uint64_t lastId_ = 0;
    Date date_;
    bool showTimePrefix_ = true;
    int32_t flashLevel_ = Logger::Warning;
};
