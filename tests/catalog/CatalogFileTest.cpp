#include "catalog/CatalogFile.h"
#include "catalog/AppIdentity.h"
#include "core/Hash.h"
#include "core/MemWriter.h"
#include "tests/catalog/FileTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using qvtest::LogRecords;

constexpr uint64_t kPlugin = 0x0000000500000007;

CatalogItemPtr makeItem(uint32_t category, const wstr& label, const wstr& target,
                        uint32_t argsHint = CatalogItem::accepted,
                        uint32_t hitHint = CatalogItem::keepall, const wstr& shortDesc = L"",
                        const wstr& dataBag = L"", bool loop = false) {
    return std::make_shared<CatalogItem>(kPlugin, category, label, shortDesc, target, argsHint,
                                         loop, hitHint, 0, dataBag);
}

std::string payloadOf(const std::vector<CatalogItemPtr>& items) {
    MemWriter out;
    CatalogFile::writeItems(out, items);
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string imageOf(const std::string& payload) {
    std::vector<uint8_t> image;
    EXPECT_TRUE(CatalogFile::buildImage(reinterpret_cast<const uint8_t*>(payload.data()),
                                        payload.size(), image));
    return std::string(image.begin(), image.end());
}

// Recomputes the checksum after a change behind offset 12.
void reseal(std::string& image) {
    std::vector<uint8_t> bytes(image.begin(), image.end());
    uint32_t crc = crc32(bytes.data() + 12, bytes.size() - 12);
    for (int i = 0; i < 4; ++i)
        image[8 + i] = static_cast<char>(crc >> (8 * i));
}

void setLengthField(std::string& image, uint32_t length) {
    uint8_t field[4];
    for (int i = 0; i < 4; ++i)
        field[i] = static_cast<uint8_t>(length >> (8 * i));
    CatalogFile::unscramble(field, 4);
    std::memcpy(image.data() + 12, field, 4);
    reseal(image);
}

class CatalogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = AppIdentity::get();
        AppIdentity identity;
        identity.revision = L"0123456789abcdef0123456789abcdef01234567";
        AppIdentity::set(identity);
    }
    void TearDown() override { AppIdentity::set(saved_); }

    wstr path() const { return qvtest::widePath(dir_.path() / "Quorvalent.host.qvdict"); }

    qvtest::TempDir dir_;
    AppIdentity saved_;
};

TEST_F(CatalogFileTest, ScramblingIsTheFixedTableRepeatedEvery64Bytes) {
    const uint8_t table[64] = {
        0x5e, 0x1a, 0x9c, 0x3b, 0x7d, 0x20, 0xf4, 0x6e, 0x8b, 0x13, 0xa7, 0xc9, 0x5d,
        0x02, 0xe4, 0xf6, 0xa1, 0xb3, 0x8c, 0x7e, 0x90, 0xd2, 0x5f, 0x4a, 0x6c, 0x18,
        0xb3, 0xe7, 0xd0, 0x9f, 0x2a, 0x5c, 0x4e, 0x71, 0xb0, 0xd9, 0x3a, 0x6c, 0x25,
        0xe8, 0xf1, 0xd4, 0xa7, 0xb3, 0x0c, 0x96, 0xe2, 0xd5, 0xf8, 0xa1, 0xc4, 0xb7,
        0xe0, 0x3d, 0x69, 0xa2, 0xf5, 0xc8, 0xe1, 0xb4, 0xd7, 0x0a, 0x3c, 0x6f,
    };
    std::vector<uint8_t> bytes(130, 0);
    CatalogFile::unscramble(bytes.data(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], table[i % 64]) << i;
    CatalogFile::unscramble(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, std::vector<uint8_t>(130, 0));
}

TEST_F(CatalogFileTest, EmptyCatalogHasGoldenImage) {
    // Header "QVDICT", version 1, CRC-32, then the scrambled length 8 + 16
    // and zlib's level-9 stream of "ITMS" and a count of 0.
    const uint8_t golden[] = {0x51, 0x56, 0x44, 0x49, 0x43, 0x54, 0x01, 0x00, 0xb7, 0xa4,
                              0xb9, 0xd3, 0x46, 0x1a, 0x9c, 0x3b, 0x05, 0xfa, 0x07, 0x62,
                              0x7a, 0x1e, 0xc1, 0xc9, 0x5f, 0x02, 0xec, 0xff, 0xa0, 0x8d};
    ASSERT_TRUE(CatalogFile::write(path(), {}));
    EXPECT_EQ(qvtest::readBytes(dir_.path() / "Quorvalent.host.qvdict"),
              std::string(reinterpret_cast<const char*>(golden), sizeof golden));

    CatalogFile::ItemSet items{makeItem(CatalogItem::url, L"stale", L"https://stale.example/")};
    EXPECT_TRUE(CatalogFile::read(path(), items));
    EXPECT_TRUE(items.empty());
}

TEST_F(CatalogFileTest, ItemRecordHasGoldenBytes) {
    CatalogItemPtr item = makeItem(CatalogItem::url, L"Ab", L"u", CatalogItem::accepted,
                                   CatalogItem::noargs, L"", L"z", true);
    item->setArgs(L"x", L"X");
    const std::string expected = std::string("ITMS\x01\0\0\0", 8) + "ITEM" +
                                 std::string("\x07\0\0\0\x05\0\0\0", 8) + // plugin id
                                 std::string("\x28\0\0\0", 4) +           // category 40
                                 std::string("\x01\0\0\0", 4) +           // accepted
                                 std::string("\x02\0\0\0", 4) +           // noargs
                                 std::string("\x01", 1) +                 // loop on suggest
                                 std::string("\x02\0\0\0", 4) + "Ab" +    // label
                                 std::string("\x01\0\0\0", 4) + "u" +     // target
                                 std::string("\0\0\0\0", 4) +             // short description
                                 std::string("\x01\0\0\0", 4) + "x" +     // raw arguments
                                 std::string("\x01\0\0\0", 4) + "X" +     // displayed arguments
                                 std::string("\x01\0\0\0", 4) + "z";      // data bag
    EXPECT_EQ(payloadOf({item}), expected);
}

TEST_F(CatalogFileTest, RoundTripKeepsEveryFieldAndId) {
    CatalogFile::ItemSet written;
    CatalogItemPtr search =
        makeItem(CatalogItem::url, L"Search", L"https://search.example/?q=", CatalogItem::required,
                 CatalogItem::keepall, L"Web search", L"engine=1", true);
    search->setArgs(L"  kittens ", L"Kittens!");
    written.insert(search);
    CatalogItemPtr same = makeItem(CatalogItem::cmdline, L"Echo", L"echo");
    same->setArgs(L"hi", L"hi");
    written.insert(same);
    written.insert(makeItem(CatalogItem::file, L"Ünïcødé ✓", L"/usr/bin/../bin/env",
                            CatalogItem::forbidden, CatalogItem::noargs, L"Desktop: x"));
    written.insert(makeItem(1001, L"Custom", L"custom:1"));
    ASSERT_TRUE(CatalogFile::write(path(), written));

    CatalogFile::ItemSet read;
    ASSERT_TRUE(CatalogFile::read(path(), read));
    ASSERT_EQ(read.size(), written.size());
    for (auto w = written.begin(), r = read.begin(); w != written.end(); ++w, ++r) {
        const CatalogItem& a = **w;
        const CatalogItem& b = **r;
        EXPECT_EQ(a.id(), b.id());
        EXPECT_EQ(a.baseId(), b.baseId());
        EXPECT_EQ(a.pluginId(), b.pluginId());
        EXPECT_EQ(a.category(), b.category());
        EXPECT_EQ(a.label(), b.label());
        EXPECT_EQ(a.shortDesc(), b.shortDesc());
        EXPECT_EQ(a.target(), b.target());
        EXPECT_EQ(a.argsHint(), b.argsHint());
        EXPECT_EQ(a.hitHint(), b.hitHint());
        EXPECT_EQ(a.loopOnSuggest(), b.loopOnSuggest());
        EXPECT_EQ(a.dataBag(), b.dataBag());
        EXPECT_EQ(a.rawArgs(), b.rawArgs());
        EXPECT_EQ(a.displayedArgs(), b.displayedArgs());
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "Quorvalent.host.qvdict.qvswap"));
}

// Payloads of more than a megabyte are compressed in pieces on all cores:
// still one zlib stream, read by any inflater and by the reader.
TEST_F(CatalogFileTest, ALargePayloadIsOneStream) {
    std::vector<CatalogItemPtr> items;
    for (int i = 0; i < 40000; ++i) {
        std::wstring n = std::to_wstring(i * 7919 % 100003);
        items.push_back(
            makeItem(CatalogItem::file, L"file-" + n + L".txt",
                     L"/home/user/" + std::to_wstring(i % 97) + L"/file-" + n + L".txt"));
    }
    const std::string payload = payloadOf(items);
    ASSERT_GT(payload.size(), 3u << 20);
    std::string image = imageOf(payload);

    std::vector<uint8_t> stream(image.begin() + 12, image.end());
    CatalogFile::unscramble(stream.data(), stream.size());
    std::string inflated(payload.size(), '\0');
    uLongf inflatedSize = inflated.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &inflatedSize,
                         stream.data() + 4, stream.size() - 4),
              Z_OK);
    EXPECT_EQ(inflatedSize, payload.size());
    EXPECT_TRUE(inflated == payload);

    std::vector<uint8_t> bytes(image.begin(), image.end());
    CatalogFile::ItemSet read;
    uint32_t corruption = 0;
    int zlibError = 0;
    ASSERT_TRUE(CatalogFile::parseImage(bytes, read, corruption, zlibError));
    EXPECT_EQ(read.size(), items.size());
}

struct Damage {
    const char* name;
    std::string (*make)(const std::string& validImage);
    uint32_t corruption;
    int zlibError;
};

std::string validItemPayload() {
    return payloadOf({makeItem(CatalogItem::url, L"Home", L"https://home.example/")});
}

std::string withPayload(const std::string& payload) {
    return imageOf(payload);
}

const Damage kDamages[] = {
    {"SixteenBytes", [](const std::string& image) { return image.substr(0, 16); }, 266, 0},
    {"Magic",
     [](const std::string& image) {
         std::string bad = image;
         bad[0] = 'X';
         return bad;
     },
     268, 0},
    {"Version2",
     [](const std::string& image) {
         std::string bad = image;
         bad[6] = 2;
         return bad;
     },
     269, 0},
    {"ByteChangedAfterHeader",
     [](const std::string& image) {
         std::string bad = image;
         bad[20] ^= 1;
         return bad;
     },
     275, 0},
    {"StreamGarbage",
     [](const std::string& image) {
         std::string bad = image.substr(0, 16) + std::string(40, '\x55');
         reseal(bad);
         return bad;
     },
     301, -3},
    {"StreamCutShort",
     [](const std::string& image) {
         std::string bad = image.substr(0, image.size() - 6);
         reseal(bad);
         return bad;
     },
     301, -3},
    {"LengthFieldTooSmall",
     [](const std::string& image) {
         std::string bad = image;
         setLengthField(bad, 12);
         return bad;
     },
     301, -5},
    {"LengthFieldBeyondCap",
     [](const std::string& image) {
         std::string bad = image;
         setLengthField(bad, CatalogFile::maxPayloadSize + 1);
         return bad;
     },
     301, -4},
    {"NoItemsTag", [](const std::string&) { return withPayload(std::string("ITMX\0\0\0\0", 8)); },
     328, 0},
    {"ItemsTagCutShort", [](const std::string&) { return withPayload("ITM"); }, 328, 0},
    {"CountWithoutItems",
     [](const std::string&) { return withPayload(std::string("ITMS\x02\0\0\0", 8)); }, 332, 0},
    {"SecondItemMissing",
     [](const std::string&) {
         std::string payload = validItemPayload();
         payload[4] = 2;
         return withPayload(payload);
     },
     332, 0},
    {"BadItemTag",
     [](const std::string&) { return withPayload(std::string("ITMS\x01\0\0\0ITEX", 12)); }, 332, 0},
    {"CountCutShort", [](const std::string&) { return withPayload("ITMS\x01"); }, 363, 0},
    {"StringPastEnd",
     [](const std::string&) {
         // The label's length (after tag, ids, hints and flag) claims more
         // bytes than follow.
         std::string payload = validItemPayload();
         payload[8 + 4 + 8 + 4 + 4 + 4 + 1 + 1] = '\x03';
         return withPayload(payload);
     },
     363, 0},
    {"RecordCutShort",
     [](const std::string&) { return withPayload(validItemPayload().substr(0, 30)); }, 363, 0},
    // A small file that inflates far beyond what its one item may take stops
    // at that bound instead of inflating all of it.
    {"InflatesBeyondItsItems",
     [](const std::string&) {
         return withPayload(validItemPayload() +
                            std::string(2 * CatalogFile::maxItemRecordSize, '\0'));
     },
     301, -5},
};

class CatalogFileDamageTest : public CatalogFileTest,
                              public ::testing::WithParamInterface<Damage> {};

// Both readers: the items of the set, and the records the catalog loads.
TEST_P(CatalogFileDamageTest, IsReportedWithItsNumberAndDeleted) {
    const Damage& damage = GetParam();
    const std::filesystem::path file = dir_.path() / "Quorvalent.host.qvdict";
    const std::function<bool()> readers[] = {
        [this] {
            CatalogFile::ItemSet items;
            bool read = CatalogFile::read(path(), items);
            EXPECT_TRUE(items.empty());
            return read;
        },
        [this] {
            std::vector<CatalogFile::Loaded> items;
            bool read = CatalogFile::readRecords(path(), items);
            EXPECT_TRUE(items.empty());
            return read;
        },
    };
    for (const std::function<bool()>& read : readers) {
        qvtest::writeBytes(file, damage.make(imageOf(validItemPayload())));
        LogRecords log;
        EXPECT_FALSE(read());
        EXPECT_FALSE(std::filesystem::exists(file));
        wstr expected;
        wstr::format(expected, L"Catalog file corrupted (error {}; {}; {}). Deleting {}",
                     damage.corruption, damage.zlibError,
                     L"0123456789abcdef0123456789abcdef01234567", path());
        EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning, L"Catalog file corrupted"),
                  std::vector<std::wstring>{expected});
        const size_t parsingErrors =
            qvtest::messagesWith(log, Logger::Warning,
                                 L"Catalog file parsing error: reading beyond eof")
                .size();
        EXPECT_EQ(parsingErrors, damage.corruption == CatalogFile::badRecord ? 1u : 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Damages, CatalogFileDamageTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogFileTest, ItemsTheCatalogWouldRefuseAreLeftOut) {
    std::string payload = payloadOf({
        makeItem(CatalogItem::url, L"Good", L"https://good.example/"),
        makeItem(CatalogItem::url, L" \t", L"https://no-label.example/"),
        makeItem(CatalogItem::error, L"Failed", L""),
        makeItem(CatalogItem::url, L"Bad hint", L"https://hint.example/", 7),
    });
    qvtest::writeBytes(dir_.path() / "Quorvalent.host.qvdict", imageOf(payload));
    LogRecords log;

    CatalogFile::ItemSet items;
    ASSERT_TRUE(CatalogFile::read(path(), items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ((*items.begin())->label(), L"Good");
    EXPECT_EQ(
        qvtest::messagesWith(log, Logger::Warning, L"Ignoring 3 invalid items of catalog file")
            .size(),
        1u);
}

TEST_F(CatalogFileTest, MissingFileIsSilentAndUnreadableOneIsKept) {
    LogRecords log;
    CatalogFile::ItemSet items;
    EXPECT_FALSE(CatalogFile::read(path(), items));
    EXPECT_EQ(qvtest::countAt(log, Logger::Warning), 0u);

    // A folder in its place cannot be opened: reported, and left alone.
    std::filesystem::create_directory(dir_.path() / "Quorvalent.host.qvdict");
    EXPECT_FALSE(CatalogFile::read(path(), items));
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning, L"Failed to open catalog file for reading")
                  .size(),
              1u);
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "Quorvalent.host.qvdict"));
}

TEST_F(CatalogFileTest, AnEmptyFileIsReportedAsEmpty) {
    std::filesystem::remove_all(dir_.path() / "Quorvalent.host.qvdict");
    qvtest::writeBytes(dir_.path() / "Quorvalent.host.qvdict", "");
    LogRecords log;
    CatalogFile::ItemSet items;
    EXPECT_FALSE(CatalogFile::read(path(), items));
    EXPECT_EQ(qvtest::messagesWith(log, Logger::Warning, L"Catalog file"),
              std::vector<std::wstring>{L"Catalog file is empty: " + path()});
}

} // namespace
