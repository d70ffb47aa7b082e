#include "core/SysTime.h"

#include <ctime>
#include <gtest/gtest.h>

#include "tests/core/ScopedEnv.h"

namespace {

constexpr int64_t k2019_08_18_102030 = 1566123630;

TEST(SysTime, ParseIsoTimestamp) {
    struct Case {
        const wchar_t* text;
        bool ok;
        int64_t time;
        int64_t offset;
    };
    const Case cases[] = {
        {L"2019-08-18T10:20:30Z", true, k2019_08_18_102030, 0},
        {L"2019-08-18T10:20:30z", true, k2019_08_18_102030, 0},
        {L"2019-08-18T10:20:30+0200", true, k2019_08_18_102030, 7200},
        {L"2019-08-18T10:20:30.123-0130", true, k2019_08_18_102030, -5400},
        {L"2019-08-18 10:20:30", true, k2019_08_18_102030, 0},
        {L"2019-08-18T10:20", true, k2019_08_18_102030 - 30, 0},
        {L"2019-08-18", true, k2019_08_18_102030 - 37230, 0},
        {L"2019-02-29T00:00:00Z", true, 1551398400, 0}, // carried into March 1st
        {L"1899-12-31T00:00:00Z", false, 0, 0},
        {L"2019-13-01T00:00:00Z", false, 0, 0},
        {L"2019-08-00T00:00:00Z", false, 0, 0},
        {L"2019-08-18T24:00:00Z", false, 0, 0},
        {L"2019-08-18T10:20:30+0160", false, 0, 0},
        {L"2019-08-18T10:20:30+2400", false, 0, 0},
        {L"", false, 0, 0},
        {L"Z", false, 0, 0},
        {L"yesterday", false, 0, 0},
    };
    for (const auto& c : cases) {
        int64_t time = -1;
        int64_t offset = -1;
        EXPECT_EQ(Sys::parseIsoTimestamp(c.text, &time, &offset), c.ok) << c.text;
        EXPECT_EQ(time, c.time) << c.text;
        EXPECT_EQ(offset, c.offset) << c.text;
    }
    EXPECT_TRUE(Sys::parseIsoTimestamp(L"garbage", nullptr, nullptr));
}

TEST(SysTime, WritesUtcFieldsWithTheOffset) {
    EXPECT_EQ(Sys::isoTimestampUtc(k2019_08_18_102030), L"2019-08-18T10:20:30Z");
    EXPECT_EQ(Sys::isoTimestampOffset(k2019_08_18_102030, 7200), L"2019-08-18T10:20:30+0200");
    EXPECT_EQ(Sys::isoTimestampOffset(k2019_08_18_102030, -(5 * 3600 + 30 * 60)),
              L"2019-08-18T10:20:30-0530");
    EXPECT_EQ(Sys::isoTimestampOffset(k2019_08_18_102030, 0), L"2019-08-18T10:20:30+0000");

    int64_t time = 0;
    int64_t offset = 0;
    ASSERT_TRUE(Sys::parseIsoTimestamp(Sys::isoTimestampOffset(k2019_08_18_102030, -19800), &time,
                                       &offset));
    EXPECT_EQ(time, k2019_08_18_102030);
    EXPECT_EQ(offset, -19800);
}

// A zone without daylight saving time still has its real offset written.
TEST(SysTime, LocalTimestampCarriesTheRealOffset) {
    struct Zone {
        const char* tz;
        const wchar_t* suffix;
    };
    for (const Zone& zone : {Zone{"<+0530>-5:30", L"+0530"}, Zone{"UTC0", L"+0000"},
                             Zone{"<-03>3", L"-0300"}, Zone{"JST-9", L"+0900"}}) {
        qvtest::ScopedEnv env;
        env.set("TZ", zone.tz);
        tzset();
        wstr stamp = Sys::isoTimestamp(false);
        ASSERT_EQ(stamp.size(), 24u) << zone.tz;
        EXPECT_EQ(stamp.substr(19), zone.suffix) << zone.tz;
        int64_t time = 0;
        ASSERT_TRUE(Sys::parseIsoTimestamp(stamp, &time, nullptr));
        EXPECT_LE(std::abs(time - static_cast<int64_t>(std::time(nullptr))), 5) << zone.tz;
    }
    tzset();
    EXPECT_EQ(Sys::isoTimestamp(true).back(), L'Z');
}

TEST(SysTime, FormatTimeSpan) {
    struct Case {
        uint64_t seconds;
        uint32_t millis;
        bool days;
        bool withMillis;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, 0, true, true, L"0s"},
        {60, 0, false, false, L"1m 0s"},
        {3600, 0, false, false, L"1h 0m 0s"},
        {90061, 0, true, false, L"1d 1h 1m 1s"},
        {90061, 0, false, false, L"25h 1m 1s"},
        {86400, 0, true, false, L"1d 0h 0m 0s"},
        {7205, 0, true, false, L"2h 0m 5s"},
        {5, 7, false, true, L"5.007s"},
        {5, 7, false, false, L"5s"},
        {65, 250, true, true, L"1m 5.250s"},
    };
    for (const auto& c : cases) {
        wstr out = L"stale";
        formatTimeSpan(out, c.seconds, c.millis, c.days, c.withMillis);
        EXPECT_EQ(out, c.text) << c.seconds;
    }
    wstr out;
    formatTimeSpanMs(out, 5007, false, true);
    EXPECT_EQ(out, L"5.007s");
}

TEST(SysTime, CountersMove) {
    int64_t before = Sys::perfCounter();
    timespec pause{0, 2'000'000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    int64_t after = Sys::perfCounter();
    EXPECT_GE((after - before) * 1000 / Sys::perfFrequency, 2);
    double uptime = Sys::processUptimeMs();
    EXPECT_GT(uptime, 0.0);
    EXPECT_LT(uptime, 3600.0 * 1000);
}

} // namespace
