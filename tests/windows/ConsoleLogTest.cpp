#include "windows/ConsoleLog.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

Logger::ItemPtr record(uint64_t id, Logger::Level level, const wstr& message,
                       Logger::LocalTime time = {2026, 12, 4, 10, 9, 5, 7, 42}) {
    auto item = std::make_shared<Logger::Item>();
    item->id = id;
    item->level = level;
    item->message = message;
    item->time = time;
    return item;
}

TEST(ConsoleLog, NormalisingLeavesExactlyOneLineEndAndNoCarriageReturn) {
    const struct {
        const wchar_t* text;
        const wchar_t* shown;
    } cases[] = {
        {L"plain", L"plain\n"},
        {L"blanks after  \t ", L"blanks after\n"},
        {L"line feeds\n\n\n", L"line feeds\n"},
        {L"two\r\nlines\r\n", L"two\nlines\n"},
        {L"  kept leading", L"  kept leading\n"},
        {L"cr\rinside", L"crinside\n"},
        {L"", L"\n"},
        {L" \r\n ", L"\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConsoleLog::normalise(c.text), c.shown) << wstr::toUtf8(c.text);
}

TEST(ConsoleLog, EachRecordGetsItsTimeAndLevelPrefix) {
    ConsoleLog log;
    const ConsoleLog::Batch batch = log.format({
        record(1, Logger::Debug, L"debug"),
        record(2, Logger::Info, L"info"),
        record(3, Logger::Warning, L"warn"),
        record(4, Logger::Error, L"error"),
        record(5, Logger::Fatal, L"fatal\nsecond line  "),
    });
    EXPECT_EQ(batch.text, L"09:05:07.042 debug\n"
                          L"09:05:07.042 info\n"
                          L"09:05:07.042 WARNING: warn\n"
                          L"09:05:07.042 ** ERROR: error\n"
                          L"09:05:07.042 ** FATAL ERROR: fatal\nsecond line\n");
    EXPECT_EQ(batch.highestLevel, Logger::Fatal);
    EXPECT_EQ(log.lastId(), 5u);

    log.setShowTimePrefix(false);
    EXPECT_EQ(log.format({record(6, Logger::Warning, L"w")}).text, L"WARNING: w\n");
}

TEST(ConsoleLog, OnlyABatchOfAnotherDayThanTheLastOneGetsADateLine) {
    ConsoleLog log;
    const Logger::LocalTime evening{2026, 12, 4, 10, 23, 59, 59, 999};
    const Logger::LocalTime nextDay{2026, 12, 5, 11, 0, 0, 1, 0};
    log.setShowTimePrefix(false);
    // The first batch after start-up never tells of a change.
    EXPECT_EQ(log.format({record(1, Logger::Info, L"a", evening)}).text, L"a\n");
    EXPECT_EQ(log.format({record(2, Logger::Info, L"b", evening)}).text, L"b\n");
    // The batch's first record decides; later ones in it are not compared.
    EXPECT_EQ(
        log.format({record(3, Logger::Info, L"c", nextDay), record(4, Logger::Info, L"d", evening)})
            .text,
        L"--- Date changed to 2026-12-11\nc\nd\n");
    EXPECT_EQ(log.format({record(5, Logger::Info, L"e", nextDay)}).text, L"e\n");
    // An empty batch changes nothing.
    EXPECT_EQ(log.format({}).text, L"");
    EXPECT_EQ(log.lastId(), 5u);
}

TEST(ConsoleLog, FlashesForRecordsOfTheFlashLevelOnlyWhileShown) {
    const struct {
        int32_t flashLevel;
        Logger::Level level;
        bool visible;
        bool flashes;
    } cases[] = {
        {Logger::Warning, Logger::Warning, true, true},
        {Logger::Warning, Logger::Warning, false, false},
        {Logger::Warning, Logger::Info, true, false},
        {Logger::Warning, Logger::Fatal, true, true},
        {Logger::Info, Logger::Debug, true, true}, // a batch counts as info at least
        {Logger::Error, Logger::Warning, true, false},
        {1000, Logger::Fatal, true, false}, // "never"
    };
    for (const auto& c : cases) {
        ConsoleLog log;
        log.setFlashLevel(c.flashLevel);
        const ConsoleLog::Batch batch = log.format({record(1, c.level, L"x")});
        EXPECT_EQ(log.shouldFlash(batch, c.visible), c.flashes)
            << c.flashLevel << " " << c.level << " " << c.visible;
    }
    // No records, no flash, even at the lowest flash level.
    ConsoleLog log;
    log.setFlashLevel(Logger::Info);
    EXPECT_FALSE(log.shouldFlash(log.format({}), true));
}

} // namespace
