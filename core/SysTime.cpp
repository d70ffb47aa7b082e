#include "core/SysTime.h"

#include <cstdio>
#include <ctime>
#include <cwchar>
#include <string>

namespace Sys {
namespace {

constexpr int kFields = 9;

struct Fields {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
    wchar_t separator = 0;
    int offset = 0;
};

int scanFields(const wstr& text, int pattern, Fields& f) {
    f = Fields();
    const wchar_t* s = text.c_str();
    switch (pattern) {
    case 0:
        return swscanf(s, L"%u-%u-%u%lc%u:%u:%u.%u%d", &f.year, &f.month, &f.day, &f.separator,
                       &f.hour, &f.minute, &f.second, &f.fraction, &f.offset);
    case 1:
        return swscanf(s, L"%u-%u-%u%lc%u:%u:%u%d", &f.year, &f.month, &f.day, &f.separator,
                       &f.hour, &f.minute, &f.second, &f.offset);
    case 2:
        return swscanf(s, L"%u-%u-%u%lc%u:%u:%u", &f.year, &f.month, &f.day, &f.separator, &f.hour,
                       &f.minute, &f.second);
    case 3:
        return swscanf(s, L"%u-%u-%u%lc%u:%u", &f.year, &f.month, &f.day, &f.separator, &f.hour,
                       &f.minute);
    default:
        return swscanf(s, L"%u-%u-%u", &f.year, &f.month, &f.day);
    }
}

bool readFields(const wstr& text, Fields& f) {
    constexpr int expected[] = {kFields, 8, 7, 6, 3};
    for (int pattern = 0; pattern < 5; ++pattern) {
        if (scanFields(text, pattern, f) == expected[pattern])
            return true;
    }
    return false;
}

bool inRange(const Fields& f) {
    return f.year >= 1900 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 &&
           f.hour <= 23 && f.minute <= 59 && f.second <= 60;
}

bool offsetSeconds(int hhmm, int64_t& seconds) {
    int64_t magnitude = hhmm < 0 ? -int64_t(hhmm) : hhmm;
    int64_t minutes = magnitude % 100;
    int64_t hours = magnitude / 100;
    if (minutes >= 60 || hours >= 24)
        return false;
    seconds = (hours * 60 + minutes) * 60 * (hhmm < 0 ? -1 : 1);
    return true;
}

bool utcFields(int64_t time, struct tm& fields) {
    time_t t = static_cast<time_t>(time);
    return gmtime_r(&t, &fields) != nullptr;
}

// Linux keeps a process's start time across exec, so the program started
// through a script or the bootstrap would count the time its predecessors
// ran. The uptime counts from the moment this program image was loaded.
int64_t imageLoadedCounter() {
    static const int64_t loaded = perfCounter();
    return loaded;
}

[[maybe_unused]] const int64_t captureImageLoad = imageLoadedCounter();

} // namespace

int64_t perfCounter() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * perfFrequency + now.tv_nsec / 1000;
}

double processUptimeMs() {
    return double(perfCounter() - imageLoadedCounter()) * 1000.0 / double(perfFrequency);
}

wstr isoTimestamp(bool utc) {
    int64_t now = static_cast<int64_t>(time(nullptr));
    if (utc)
        return isoTimestampUtc(now);
    time_t t = static_cast<time_t>(now);
    struct tm local;
    int64_t offset = localtime_r(&t, &local) ? local.tm_gmtoff : 0;
    return isoTimestampOffset(now, offset);
}

wstr isoTimestampUtc(int64_t time) {
    struct tm f;
    wstr out;
    if (!utcFields(time, f))
        return out;
    return wstr::format(out, L"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", f.tm_year + 1900,
                        f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
}

wstr isoTimestampOffset(int64_t time, int64_t offsetSeconds) {
    struct tm f;
    wstr out;
    if (!utcFields(time, f))
        return out;
    int64_t magnitude = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    return wstr::format(out, L"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}{:02}{:02}", f.tm_year + 1900,
                        f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec,
                        offsetSeconds < 0 ? L'-' : L'+', magnitude / 3600, magnitude % 3600 / 60);
}

bool parseIsoTimestamp(const wstr& text, int64_t* time, int64_t* offset) {
    if (time)
        *time = 0;
    if (offset)
        *offset = 0;
    if (!time && !offset)
        return true;
    wstr copy = text;
    if (!copy.empty() && (copy.back() == L'Z' || copy.back() == L'z'))
        copy.pop_back();
    Fields f;
    if (copy.empty() || !readFields(copy, f) || !inRange(f))
        return false;
    struct tm fields = {};
    fields.tm_year = int(f.year) - 1900;
    fields.tm_mon = int(f.month) - 1;
    fields.tm_mday = int(f.day);
    fields.tm_hour = int(f.hour);
    fields.tm_min = int(f.minute);
    fields.tm_sec = int(f.second);
    int64_t instant = static_cast<int64_t>(timegm(&fields));
    int64_t seconds = 0;
    if (instant < 0 || !offsetSeconds(f.offset, seconds))
        return false;
    if (time)
        *time = instant;
    if (offset)
        *offset = seconds;
    return true;
}

} // namespace Sys

void formatTimeSpan(wstr& out, uint64_t seconds, uint32_t millis, bool withDays, bool withMillis) {
    out.clear();
    uint64_t hours = seconds / 3600;
    if (withDays) {
        uint64_t days = seconds / 86400;
        hours -= days * 24;
        if (days > 0)
            wstr::format(out, L"{}d {}h ", days, hours);
    }
    if (out.empty() && hours > 0)
        wstr::format(out, L"{}h ", hours);
    uint64_t minutes = seconds / 60 % 60;
    if (minutes > 0 || !out.empty())
        wstr::format(out, L"{}m {}", minutes, seconds % 60);
    else
        wstr::format(out, L"{}", seconds % 60);
    if (withMillis && millis != 0)
        wstr::format(out, L".{:03}", millis);
    out += L's';
}

void formatTimeSpanMs(wstr& out, uint64_t millis, bool withDays, bool withMillis) {
    formatTimeSpan(out, millis / 1000, static_cast<uint32_t>(millis % 1000), withDays, withMillis);
}
