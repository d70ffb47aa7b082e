#include "core/FileInfo.h"
#include "core/MappedFile.h"
#include "core/MemReader.h"
#include "core/MemWriter.h"
#include "core/Wstr.h"

#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

wstr toWstr(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::vector<uint8_t> bytesOf(const MemWriter& writer) {
    return {writer.data(), writer.data() + writer.size()};
}

template <class F> void expectInvalidArgument(F&& f, const char* message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

// MemReader

TEST(MemReaderTest, ReadsInOrderAndRefusesToPassTheEnd) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7};
    MemReader reader(bytes, sizeof bytes);
    uint8_t out[4] = {};
    reader.read(out, 4);
    EXPECT_THAT(out, ElementsAre(1, 2, 3, 4));
    reader.read(out, 0);
    EXPECT_EQ(reader.cursor(), 4u);

    expectInvalidArgument([&] { reader.read(out, 4); }, "reading beyond eof");
    EXPECT_EQ(reader.cursor(), 4u);
    reader.read(out, 3);
    EXPECT_EQ(reader.remaining(), 0u);
    expectInvalidArgument([&] { reader.read(out, 0); }, "reading beyond eof");
    expectInvalidArgument([&] { reader.read(out, UINT64_MAX); }, "reading beyond eof");
}

TEST(MemReaderTest, ReadStringDecodesUtf8AndAcceptsAnEmptyStringAtTheEnd) {
    const uint8_t bytes[] = {2, 0, 0, 0, 0xC3, 0xA4, 0, 0, 0, 0};
    MemReader reader(bytes, sizeof bytes);
    wstr text;
    reader.readString(text);
    EXPECT_EQ(text, L"\u00e4");
    reader.readString(text);
    EXPECT_EQ(text, L"");
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(MemReaderTest, ReadStringRefusesALengthBeyondWhatIsLeft) {
    // A damaged prefix claiming 4 GiB must fail at once, not allocate and then
    // fail; the cursor and the target stay as they were.
    const uint8_t bytes[] = {9, 0xF0, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    MemReader reader(bytes, sizeof bytes);
    uint8_t skip = 0;
    reader.read(&skip, 1);
    wstr text(L"kept");
    expectInvalidArgument([&] { reader.readString(text); }, "reading beyond eof");
    EXPECT_EQ(reader.cursor(), 1u);
    EXPECT_EQ(text, L"kept");

    const uint8_t oneShort[] = {3, 0, 0, 0, 'a', 'b'};
    MemReader shortReader(oneShort, sizeof oneShort);
    expectInvalidArgument([&] { shortReader.readString(text); }, "reading beyond eof");
    EXPECT_EQ(shortReader.cursor(), 0u);

    const uint8_t truncatedPrefix[] = {1, 0, 0};
    MemReader prefixReader(truncatedPrefix, sizeof truncatedPrefix);
    expectInvalidArgument([&] { prefixReader.readString(text); }, "reading beyond eof");
}

// MemWriter

TEST(MemWriterTest, WriteStringIsALittleEndianLengthAndUtf8) {
    MemWriter writer;
    writer.writeString(wstr());
    writer.writeString(wstr(L"\u00e4"));
    EXPECT_THAT(bytesOf(writer), ElementsAre(0, 0, 0, 0, 2, 0, 0, 0, 0xC3, 0xA4));
}

TEST(MemWriterTest, WhatTheWriterWritesTheReaderReads) {
    const wstr texts[] = {wstr(L"label"), wstr(), wstr(L"Gr\u00fc\u00dfe \U0001F600"),
                          wstr(std::wstring(70000, L'x').c_str())};
    MemWriter writer(16);
    const uint32_t count = 4;
    writer.append(&count, sizeof count);
    for (const wstr& text : texts)
        writer.writeString(text);

    MemReader reader(writer.data(), writer.size());
    uint32_t readCount = 0;
    reader.read(&readCount, sizeof readCount);
    EXPECT_EQ(readCount, count);
    for (const wstr& text : texts) {
        wstr back;
        reader.readString(back);
        EXPECT_EQ(back, text);
    }
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(MemWriterTest, ReserveAndCommitWriteInPlace) {
    MemWriter writer(16);
    writer.append("ab", 2);
    uint8_t* room = writer.reserve(3);
    ASSERT_NE(room, nullptr);
    std::memcpy(room, "xyz", 3);
    EXPECT_EQ(writer.size(), 2u);
    writer.commit(3);
    EXPECT_THAT(bytesOf(writer), ElementsAre('a', 'b', 'x', 'y', 'z'));

    // The buffer holds 16 bytes (the growth step): 11 lie ahead.
    expectInvalidArgument([&] { writer.commit(12); }, "wrote out of boundaries");
    EXPECT_EQ(writer.size(), 5u);
    MemWriter fresh;
    expectInvalidArgument([&] { fresh.commit(1); }, "wrote out of boundaries");
}

TEST(MemWriterTest, EmptyAndMinusOneCountsAreIgnored) {
    MemWriter writer;
    writer.append("abc", 0);
    writer.append(nullptr, UINT64_MAX);
    EXPECT_EQ(writer.size(), 0u);
}

TEST(MemWriterTest, DisabledWriterIgnoresEveryWrite) {
    MemWriter writer(16, true);
    writer.append("abc", 3);
    writer.writeString(wstr(L"text"));
    EXPECT_EQ(writer.reserve(8), nullptr);
    writer.commit(8);
    EXPECT_EQ(writer.size(), 0u);
    EXPECT_TRUE(writer.disabled());
}

TEST(MemWriterTest, ManySmallWritesReallocateOnlyLogarithmically) {
    // Growing by the step each time would move the whole buffer every 16
    // bytes: 62,500 copies of a growing buffer for one megabyte.
    MemWriter writer(16);
    const uint8_t* buffer = nullptr;
    int moves = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        const uint8_t byte = static_cast<uint8_t>(i);
        writer.append(&byte, 1);
        moves += writer.data() != buffer;
        buffer = writer.data();
    }
    EXPECT_EQ(writer.size(), 1'000'000u);
    EXPECT_LE(moves, 30);
    EXPECT_EQ(writer.data()[999'999], static_cast<uint8_t>(999'999));
}

// MappedFile

TEST(MappedFileTest, HoldsTheWholeFile) {
    qvtest::TempDir dir;
    const auto path = dir.write("data.bin", std::string("abc\0def", 7));
    MappedFile file;
    ASSERT_TRUE(file.open(toWstr(path)));
    EXPECT_EQ(file.error(), 0u);
    EXPECT_EQ(file.viewOffset(), 0u);
    EXPECT_EQ(file.viewSize(), 7u);
    EXPECT_EQ(file.fileSize(), 7u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.view()), 7),
              std::string("abc\0def", 7));

    file.close();
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.viewSize(), 0u);
    EXPECT_EQ(file.fileSize(), 0u);
}

TEST(MappedFileTest, EmptyOrTooLargeFilesAreFineButHoldNothing) {
    qvtest::TempDir dir;
    const wstr empty = toWstr(dir.write("empty", ""));
    const wstr ten = toWstr(dir.write("ten", "0123456789"));
    MappedFile file;
    EXPECT_FALSE(file.open(empty));
    EXPECT_EQ(file.error(), 0u);
    EXPECT_EQ(file.view(), nullptr);

    EXPECT_FALSE(file.open(ten, 9));
    EXPECT_EQ(file.error(), 0u);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.fileSize(), 0u);

    EXPECT_TRUE(file.open(ten, 10));
    EXPECT_EQ(file.viewSize(), 10u);
}

TEST(MappedFileTest, FailuresKeepTheSystemErrorCode) {
    qvtest::TempDir dir;
    dir.write("file", "x");
    const std::filesystem::path fifo = dir.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Row {
        std::filesystem::path path;
        uint32_t error;
    };
    const Row rows[] = {
        {dir.path() / "missing", 2},
        {dir.path() / "no" / "such", 2},
        {dir.path() / "file" / "below", 3},
        {dir.path(), 5},
        {fifo, 1}, // refused, never waited on
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        MappedFile file;
        EXPECT_FALSE(file.open(toWstr(row.path)));
        EXPECT_EQ(file.error(), row.error);
        EXPECT_EQ(file.view(), nullptr);
        file.release();
        EXPECT_EQ(file.error(), 0u);
    }
}

TEST(MappedFileTest, ReadIntoReplacesTheBytesOrEmptiesThem) {
    qvtest::TempDir dir;
    const wstr path = toWstr(dir.write("data", "hello"));
    std::vector<uint8_t> out = {9, 9};
    EXPECT_TRUE(MappedFile::readInto(out, path, 0));
    EXPECT_THAT(out, ElementsAreArray({'h', 'e', 'l', 'l', 'o'}));
    EXPECT_FALSE(MappedFile::readInto(out, path, 4));
    EXPECT_TRUE(out.empty());
    out = {9};
    EXPECT_FALSE(MappedFile::readInto(out, toWstr(dir.path() / "missing"), 0));
    EXPECT_TRUE(out.empty());
}

TEST(MappedFileTest, ReadAllStopsAtFiftyMebibytes) {
    qvtest::TempDir dir;
    const auto small = dir.write("small", "abc");
    EXPECT_THAT(MappedFile::readAll(toWstr(small)), ElementsAreArray({'a', 'b', 'c'}));
    const auto large = dir.write("large", "");
    std::filesystem::resize_file(large, 52428801); // sparse: nothing is written
    EXPECT_TRUE(MappedFile::readAll(toWstr(large)).empty());
}

// FileInfo

TEST(FileInfoTest, ReadsTheRecordOfAFileThroughALink) {
    qvtest::TempDir dir;
    const auto path = dir.write("f.txt", "12345");
    const auto link = dir.path() / "link";
    std::filesystem::create_symlink(path, link);
    FileInfo info;
    ASSERT_TRUE(info.open(toWstr(link)));
    EXPECT_TRUE(info.isOpen());
    EXPECT_EQ(info.path(), toWstr(link));
    EXPECT_FALSE(info.isDirectory());
    EXPECT_EQ(info.size(), 5u);
    EXPECT_EQ(info.info().stx_nlink, 1u);
    EXPECT_TRUE(S_ISREG(info.info().stx_mode));
    EXPECT_GT(info.info().stx_mtime.tv_sec, 0);
}

TEST(FileInfoTest, AFolderHasSizeZero) {
    qvtest::TempDir dir;
    dir.write("sub/inner", "content");
    FileInfo info;
    ASSERT_TRUE(info.open(toWstr(dir.path() / "sub")));
    EXPECT_TRUE(info.isDirectory());
    EXPECT_EQ(info.size(), 0u);
}

TEST(FileInfoTest, AFailedOpenClearsTheEarlierRecord) {
    qvtest::TempDir dir;
    const auto path = dir.write("f", "123");
    FileInfo info;
    ASSERT_TRUE(info.open(toWstr(path)));
    EXPECT_FALSE(info.open(toWstr(dir.path() / "missing")));
    EXPECT_FALSE(info.isOpen());
    EXPECT_TRUE(info.path().empty());
    EXPECT_EQ(info.size(), 0u);
    EXPECT_EQ(info.info().stx_mode, 0u);

    ASSERT_TRUE(info.open(toWstr(path)));
    info.close();
    EXPECT_FALSE(info.isOpen());
    EXPECT_TRUE(info.path().empty());
    EXPECT_EQ(info.size(), 0u);
}

} // namespace
