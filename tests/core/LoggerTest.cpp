#include "core/Logger.h"

#include "core/MessageBox.h"
#include "core/SysTime.h"
#include "platform/Error.h"
#include "tests/support/LogRecords.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

using namespace Platform;
namespace fs = std::filesystem;

namespace {

const Logger::LocalTime fixedTime{2024, 3, 2, 5, 7, 8, 9, 42};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    return result;
}

class LoggerTest : public testing::Test {
protected:
    void SetUp() override {
        Logger::setClock({[] { return fixedTime; }, [] { return 12.5; }});
        // Records of earlier tests in this process go to a file of their own.
        Logger::setFile(wide(dir.path() / "earlier.log"));
        Logger::enableFile(true);
        Logger::writePending();
        Logger::setFile(wide(file));
    }
    void TearDown() override {
        Logger::stop();
        Logger::clearListeners();
        Logger::enableFile(false);
        Logger::setFile({});
        Logger::setClock({});
    }

    qvtest::TempDir dir;
    fs::path file = dir.path() / "Quorvalent.host.log";
};

} // namespace

TEST_F(LoggerTest, WritesOneUtf8LinePerRecord) {
    logMessage(Logger::Debug, L"debug");
    logMessage(Logger::Info, L"gr\u00fc\u00dfe");
    logMessage(Logger::Warning, L"warning");
    logMessage(Logger::Error, L"error");
    logMessage(Logger::Fatal, L"fatal");
    logMessage(static_cast<Logger::Level>(9), L"odd level");
    EXPECT_EQ(readFile(file), "2024-03-05 07:08:09.042 [d] debug\r\n"
                              "2024-03-05 07:08:09.042 [i] gr\xC3\xBC\xC3\x9F"
                              "e\r\n"
                              "2024-03-05 07:08:09.042 [W] warning\r\n"
                              "2024-03-05 07:08:09.042 [E] error\r\n"
                              "2024-03-05 07:08:09.042 [X] fatal\r\n"
                              "2024-03-05 07:08:09.042 [?] odd level\r\n");
    const auto last = Logger::fetch(0).back();
    EXPECT_EQ(last->uptime, 12.5);
    EXPECT_EQ(last->time.dayOfWeek, 2);
}

// A message of several lines (a traceback) stays one record of one line, and
// no control character (a NUL makes grep take the file for binary) reaches
// the file; the record itself keeps the message as it was.
TEST_F(LoggerTest, ControlCharactersAreEscapedInTheFile) {
    const wstr message =
        wstr(L"Error: KeyError\nTraceback:\r\n  File \"a.py\"\tline 3 \x1b[1m\x7f") +
        wstr(1, L'\0') + L" end";
    logMessage(Logger::Error, message);
    EXPECT_EQ(readFile(file), "2024-03-05 07:08:09.042 [E] Error: KeyError\\nTraceback:\\r\\n  "
                              "File \"a.py\"\\tline 3 \\x1b[1m\\x7f\\x00 end\r\n");
    EXPECT_EQ(Logger::fetch(0).back()->message, message);
}

TEST_F(LoggerTest, DefaultClockGivesLocalTimeAndProcessUptime) {
    Logger::setClock({});
    logMessage(Logger::Info, L"now");
    const auto item = Logger::fetch(0).back();
    EXPECT_GT(item->uptime, 0.0);
    EXPECT_LE(item->uptime, Sys::processUptimeMs() / 1000 + 0.05);
    EXPECT_GE(item->time.year, 2024);
    EXPECT_LT(item->time.milliseconds, 1000);
}

TEST_F(LoggerTest, FirstBatchOfARunIsSeparatedFromAnEarlierRun) {
    struct Row {
        const char* name;
        const char* before; // null: no file
        std::string after;
    } rows[] = {
        {"earlier run", "old\r\n", "old\r\n\r\n\r\n"},
        {"empty file", "", ""},
        {"no file", nullptr, ""},
    };
    for (const auto& row : rows) {
        fs::remove(file);
        if (row.before)
            dir.write(file.filename(), row.before);
        Logger::setFile(wide(file));
        logMessage(Logger::Info, L"one");
        logMessage(Logger::Info, L"two");
        EXPECT_EQ(readFile(file), row.after + "2024-03-05 07:08:09.042 [i] one\r\n"
                                              "2024-03-05 07:08:09.042 [i] two\r\n")
            << row.name;
    }
}

TEST_F(LoggerTest, OversizedLogIsRotatedAwayAtStart) {
    struct Row {
        size_t size;
        bool rotated;
    } rows[] = {{1048576, true}, {1048575, false}};
    for (const auto& row : rows) {
        for (const auto& entry : fs::directory_iterator(dir.path()))
            fs::remove(entry.path());
        dir.write(file.filename(), std::string(row.size, 'x'));
        dir.write("Quorvalent.1.host.log", "one");
        dir.write("Quorvalent.9.host.log", "nine");

        Logger::setFile(wide(file));
        EXPECT_EQ(fs::exists(file), !row.rotated) << row.size;
        EXPECT_EQ(fs::exists(dir.path() / "Quorvalent.1.host.log"), !row.rotated);
        EXPECT_EQ(fs::exists(dir.path() / "Quorvalent.9.host.log"), !row.rotated);
        if (row.rotated) {
            EXPECT_EQ(readFile(dir.path() / "Quorvalent.10.host.log"), "nine");
        }
    }
}

TEST_F(LoggerTest, RotatedNamesCountBeforeTheExtension) {
    EXPECT_EQ(Logger::rotatedName(L"/d/Quorvalent", 0, L"host.log"), L"/d/Quorvalent.host.log");
    EXPECT_EQ(Logger::rotatedName(L"/d/Quorvalent", 3, L"host.log"), L"/d/Quorvalent.3.host.log");
    EXPECT_EQ(Logger::rotatedName(L"/d/log", 2, L""), L"/d/log.2");
}

TEST_F(LoggerTest, RotationKeepsTheNewestFiles) {
    dir.write(file.filename(), "base");
    dir.write("Quorvalent.1.host.log", "one");
    dir.write("Quorvalent.2.host.log", "two");
    Logger::rotate(2, false);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(readFile(dir.path() / "Quorvalent.1.host.log"), "base");
    EXPECT_EQ(readFile(dir.path() / "Quorvalent.2.host.log"), "one");
    EXPECT_FALSE(fs::exists(dir.path() / "Quorvalent.3.host.log"));
}

TEST_F(LoggerTest, RotationFailureNamesTheFile) {
    const fs::path folder = dir.path() / "Quorvalent.10.host.log";
    fs::create_directory(folder);
    dir.write(folder.filename() / "inside", "x");
    try {
        Logger::rotate(0, false);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Failed to delete rotated log file " + folder.string() + " (error 145)");
    }
}

TEST_F(LoggerTest, DisabledOutputCreatesNoFileAndKeepsRecordsForLater) {
    Logger::enableFile(false);
    qvtest::LogRecords log;
    logMessage(Logger::Info, L"while off");
    EXPECT_FALSE(fs::exists(file));
    ASSERT_EQ(log.all().size(), 1u);

    Logger::enableFile(true);
    logMessage(Logger::Info, L"on again");
    EXPECT_EQ(readFile(file), "2024-03-05 07:08:09.042 [i] while off\r\n"
                              "2024-03-05 07:08:09.042 [i] on again\r\n");
}

TEST_F(LoggerTest, UnopenableFileIsReportedOnceUntilItsPathChanges) {
    const wstr missing = wide(dir.path() / "missing" / "Quorvalent.host.log");
    Logger::setFile(missing);
    qvtest::LogRecords log;
    logMessage(Logger::Info, L"first");
    Logger::start();
    logMessage(Logger::Info, L"second");
    Logger::stop();
    logMessage(Logger::Info, L"third");

    wstr warning;
    wstr::format(warning, L"Failed to open/create log file {} (error {})", missing,
                 ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log.matching(Logger::Warning, warning).size(), 1u);
    EXPECT_EQ(log.all().size(), 4u);

    Logger::setFile(wide(file));
    Logger::writePending();
    const auto written = lines(readFile(file));
    ASSERT_EQ(written.size(), 4u) << "pending records reach the new file";
    EXPECT_EQ(written[0], "2024-03-05 07:08:09.042 [i] first");
    EXPECT_EQ(written[3], "2024-03-05 07:08:09.042 [i] third");
}

// The box of a reported failure waits for the user: other threads still
// reach the log file's state meanwhile.
TEST_F(LoggerTest, ReportedOpenFailureIsShownWithoutTheFileLock) {
    Logger::setFile(wide(dir.path() / "missing" / "Quorvalent.host.log"));
    qvtest::RecordingMessageBox::Installed boxes;
    std::future<void> other;
    bool otherFinished = false;
    boxes.box->setProbe([&] {
        other = std::async(std::launch::async, [] { Logger::enableFile(true); });
        otherFinished = other.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    });
    Logger::openFile(true, true);
    ASSERT_EQ(boxes.box->shown().size(), 1u);
    EXPECT_TRUE(otherFinished);
}

// A log file that cannot be opened is tried again with every batch; the
// failure is reported once, and records the ring drops meanwhile are counted.
TEST_F(LoggerTest, UnopenableFileIsRetriedAndDroppedRecordsAreCounted) {
    const fs::path folder = dir.path() / "later";
    const wstr later = wide(folder / "Quorvalent.host.log");
    Logger::setFile(later);
    qvtest::LogRecords log;
    const uint64_t before = Logger::fetch(0).empty() ? 0 : Logger::fetch(0).back()->id;
    logMessage(Logger::Debug, L"x");
    wstr warning;
    wstr::format(warning, L"Failed to open/create log file {} (error {})", later,
                 ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(log.matching(Logger::Warning, warning).size(), 1u);
    Logger::start();
    for (size_t i = 0; i < Logger::ringSize + 10; ++i)
        logMessage(Logger::Debug, L"x");
    Logger::stop();

    fs::create_directories(folder);
    logMessage(Logger::Info, L"now");
    const auto written = lines(readFile(folder / "Quorvalent.host.log"));
    const uint64_t last = Logger::fetch(0).back()->id;
    ASSERT_EQ(written.size(), Logger::ringSize + 1);
    wstr note;
    wstr::format(note,
                 L"2024-03-05 07:08:09.042 [W] {} log records were dropped before they "
                 L"could be written to the log file",
                 last - before - Logger::ringSize);
    EXPECT_EQ(written.front(), wstr::toUtf8(note));
    EXPECT_EQ(written.back(), "2024-03-05 07:08:09.042 [i] now");
    EXPECT_EQ(std::count_if(written.begin(), written.end(),
                            [](const std::string& line) {
                                return line.find("Failed to open") != std::string::npos;
                            }),
              0)
        << "the same failure is not reported again at every batch";
}

TEST_F(LoggerTest, RingKeepsTheLast5000Records) {
    Logger::enableFile(false);
    qvtest::LogRecords log;
    for (int i = 0; i <= 5000; ++i)
        logMessage(Logger::Debug, L"x");
    const auto ring = Logger::fetch(0);
    ASSERT_EQ(ring.size(), Logger::ringSize);
    const uint64_t first = ring.front()->id;
    EXPECT_EQ(log.all().size(), 5000u) << "the first of the 5001 was dropped";
    for (size_t i = 0; i < ring.size(); ++i)
        ASSERT_EQ(ring[i]->id, first + i);
    EXPECT_TRUE(Logger::fetch(ring.back()->id).empty());
    EXPECT_EQ(Logger::fetch(first + 4990).size(), 9u);
}

TEST_F(LoggerTest, ScriptRecordsStartWithTheirLocation) {
    struct Row {
        uint32_t flags;
        const wchar_t* source;
        int line;
        const wchar_t* text;
        size_t prefix;
    } rows[] = {
        {Logger::fromScript, L"/p/x.py", 12, L"x.py(12): boom", 10},
        {Logger::fromScript, L"/p/x.py", 0, L"x.py: boom", 6},
        {Logger::fromScript, nullptr, 12, L"boom", 0},
        {0, L"/p/x.py", 12, L"boom", 0},
    };
    for (const auto& row : rows) {
        logMessage(Logger::Info, row.flags, row.source, row.line, L"boom");
        const auto item = Logger::fetch(0).back();
        EXPECT_EQ(item->message, row.text);
        EXPECT_EQ(item->prefixLength, row.prefix) << wstr::toUtf8(item->message);
        EXPECT_EQ(item->source, row.source ? row.source : L"");
    }
}

TEST_F(LoggerTest, BoxRecordsAreShownSystemModalWithTheAnswerReturned) {
    qvtest::RecordingMessageBox::Installed fake(MessageBox::IDCANCEL);
    Logger::setAppName(L"Quorvalent");
    EXPECT_EQ(Logger::log(Logger::Error, MessageBox::MB_ICONERROR | MessageBox::MB_OKCANCEL, {}, 0,
                          L"Disk full"),
              MessageBox::IDCANCEL);
    EXPECT_EQ(logMessage(Logger::Error, L"quiet"), 1);
    const auto shown = fake.box->shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Disk full");
    EXPECT_EQ(shown[0].caption, L"Quorvalent");
    EXPECT_EQ(shown[0].style, 0x1011u);
}

TEST_F(LoggerTest, LoggerThreadWritesEveryRecordOnceInIdOrder) {
    Event listener(false);
    Logger::addListener(listener.handle());
    Logger::addListener(listener.handle());
    qvtest::LogRecords log;
    Logger::start();
    constexpr int threads = 4, perThread = 500;
    std::vector<std::thread> loggers;
    for (int t = 0; t < threads; ++t)
        loggers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                wstr text;
                logMessage(Logger::Info, wstr::format(text, L"t{}-{}", t, i));
            }
        });
    for (auto& logger : loggers)
        logger.join();
    Logger::stop();
    EXPECT_EQ(listener.wait(0), WAIT_OBJECT_0);

    const auto records = log.all();
    const auto written = lines(readFile(file));
    ASSERT_EQ(records.size(), size_t{threads * perThread});
    ASSERT_EQ(written.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(records[i]->id, records[0]->id + i);
        ASSERT_EQ(written[i], "2024-03-05 07:08:09.042 [i] " + wstr::toUtf8(records[i]->message));
    }

    logMessage(Logger::Info, L"after stop");
    EXPECT_EQ(lines(readFile(file)).back(), "2024-03-05 07:08:09.042 [i] after stop");
}
