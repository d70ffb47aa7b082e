#include "windows/ConsoleLog.h"

#include <algorithm>

wstr ConsoleLog::normalise(std::wstring_view text) {
    wstr out(text);
    wstr::trimRight(out);
    std::erase(out, L'\r');
    out += L'\n';
    return out;
}

const wchar_t* ConsoleLog::levelPrefix(Logger::Level level) {
    switch (level) {
    case Logger::Fatal:
        return L"** FATAL ERROR: ";
    case Logger::Error:
        return L"** ERROR: ";
    case Logger::Warning:
        return L"WARNING: ";
    default:
        return L"";
    }
}

ConsoleLog::Batch ConsoleLog::format(const std::vector<Logger::ItemPtr>& records) {
    Batch batch;
    if (records.empty())
        return batch;
    const Logger::LocalTime& first = records.front()->time;
    const Date date{first.year, first.month, first.day};
    if (date_.isSet() && date != date_)
        wstr::format(batch.text, L"--- Date changed to {:04}-{:02}-{:02}\n", date.year, date.month,
                     date.day);
    date_ = date;
    for (const Logger::ItemPtr& record : records) {
        lastId_ = record->id;
        batch.highestLevel = std::max<uint32_t>(batch.highestLevel, record->level);
        if (showTimePrefix_) {
            const Logger::LocalTime& t = record->time;
            wstr::format(batch.text, L"{:02}:{:02}:{:02}.{:03} ", t.hour, t.minute, t.second,
                         t.milliseconds);
        }
        batch.text += levelPrefix(record->level);
        batch.text += normalise(record->message);
    }
    batch.records = records.size();
    return batch;
}

bool ConsoleLog::shouldFlash(const Batch& batch, bool visible) const {
    return visible && batch.records > 0 &&
           static_cast<int64_t>(batch.highestLevel) >= static_cast<int64_t>(flashLevel_);
}
