#pragma once

#include <cstdint>

#include "core/Wstr.h"

// Clocks, ISO 8601 time stamps and durations written for people. Every
// function may be called from any thread.
namespace Sys {

// Ticks per second of perfCounter: microseconds, so that a counter value
// times 1000 never overflows.
constexpr int64_t perfFrequency = 1000000;

// The monotonic clock in perfFrequency ticks.
int64_t perfCounter();

// Milliseconds since this program image was loaded (a start through exec
// does not count the time of the images before it).
double processUptimeMs();

// The current time: with utc as isoTimestampUtc, else as isoTimestampOffset
// with the local zone's real offset from UTC at this instant.
wstr isoTimestamp(bool utc);

// "YYYY-MM-DDThh:mm:ssZ" of the UTC calendar time of `time` (seconds since
// 1970); empty when it cannot be converted.
wstr isoTimestampUtc(int64_t time);

// The UTC calendar fields of `time` followed by the offset as a sign and
// hhmm ("+0200", "-0530"); the offset only records the local zone.
wstr isoTimestampOffset(int64_t time, int64_t offsetSeconds);

// Reads "date[Thh:mm[:ss[.fraction]][offset]][Z]". The time receives the
// instant of the fields taken as UTC (not corrected by the offset) and the
// offset its seconds. False for malformed or out-of-range texts, with both
// outputs 0.
bool parseIsoTimestamp(const wstr& text, int64_t* time, int64_t* offsetSeconds);

} // namespace Sys

// "1d 1h 1m 1s", "2h 0m 5s", "5.007s": days only with withDays, milliseconds
// only with withMillis and when not 0. Replaces out.
void formatTimeSpan(wstr& out, uint64_t seconds, uint32_t millis, bool withDays, bool withMillis);
void formatTimeSpanMs(wstr& out, uint64_t millis, bool withDays, bool withMillis);
