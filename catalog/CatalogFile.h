#pragma once

#include "catalog/CatalogItem.h"
#include "catalog/ItemRecord.h"
#include "core/MemWriter.h"
#include "core/Wstr.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <set>
#include <vector>

// The catalog cache file "QVDICT": the items plugins gave the catalog, kept
// between runs so that the next start has them before the plugins deliver
// theirs again. The image is a 16-byte header (magic, version 1, CRC-32 of
// the rest, payload length + 16) followed by the payload as one zlib stream;
// everything after offset 12 is scrambled with a fixed 64-byte table. All
// integers are little-endian.
//
// Stateless: every function may run on any thread. The catalog reads the
// file at start-up and its writer thread writes it from a snapshot.
class CatalogFile {
public:
    static constexpr uint16_t version = 1;
    static constexpr size_t headerSize = 16;
    // Files above this size are not read.
    static constexpr uint64_t maxFileSize = 104857600;
    // The reader allocates at most this much for the inflated payload,
    // whatever the length field claims.
    static constexpr uint32_t maxPayloadSize = 0x40000000;
    // The most one item's record may take in the payload: an item is a few
    // numbers and six strings (label, target, description, arguments, data
    // bag), far below this even with a large data bag. With the item count
    // at the payload's start it bounds the inflated size.
    static constexpr uint64_t maxItemRecordSize = 1 << 20;

    // Numbers a damaged file is reported with.
    enum Corruption : uint32_t {
        tooSmall = 266,
        badMagic = 268,
        badVersion = 269,
        badChecksum = 275,
        badStream = 301,
        noItemsTag = 328,
        noItemTag = 332,
        badRecord = 363,
    };

    // Items by id, one per id.
    struct IdLess {
        bool operator()(const CatalogItemPtr& a, const CatalogItemPtr& b) const {
            return (a ? a->id() : 0) < (b ? b->id() : 0);
        }
    };
    using ItemSet = std::set<CatalogItemPtr, IdLess>;

    // Replaces the file with the given items. False when it was not
    // replaced, with the reason as last error (0 after a compression
    // failure); the previous file then stays as it was. Logs nothing.
    static bool write(const wstr& path, const ItemSet& items);

    // Replaces the file with a payload made by writeItems.
    static bool writePayload(const wstr& path, const uint8_t* payload, size_t size);

    // Reads the file into items (emptied first). True when the file was read
    // whole. A missing file is false without a message; a file that cannot
    // be opened is logged; a damaged one is logged and deleted. Items that
    // are invalid, or of the error category, are left out with one warning.
    static bool read(const wstr& path, ItemSet& items);

    // An item of the file as the catalog records it: the whole record of an
    // item without arguments, else the object (error items and items with
    // arguments).
    struct Loaded {
        uint64_t id = 0;
        ItemRecord record;
        CatalogItemPtr item;
    };
    // What read gives, as records made on all cores: the items that read
    // keeps, ordered by id. Reports, logs and deletes as read does.
    static bool readRecords(const wstr& path, std::vector<Loaded>& items);

    // Serialises the payload: "ITMS", the item count and one record per item
    // (non-null CatalogItemPtr) in the order of the range.
    template <typename Items> static void writeItems(MemWriter& out, const Items& items) {
        writeCount(out, std::size(items));
        for (const CatalogItemPtr& item : items)
            writeItem(out, *item);
    }

    // The two parts of a payload, for callers that write the records in
    // pieces: "ITMS" with the item count, and one item's record.
    static void writeCount(MemWriter& out, size_t count);
    static void writeItem(MemWriter& out, const CatalogItem& item);

    // The file image of a payload: header, compressed payload, scrambled and
    // checksummed. False when compression fails.
    static bool buildImage(const uint8_t* payload, size_t size, std::vector<uint8_t>& image);

    // Reads and parses the file (either kind of items), logging what fails;
    // empty items when it does.
    template <typename Items> static bool readParsed(const wstr& path, Items& items);

    // Checks and parses a file image, unscrambling it in place. True with the
    // items read; false with the corruption number and the zlib error code
    // (0 when there is none). Logs the parsing error of a damaged record.
    static bool parseImage(std::vector<uint8_t>& image, ItemSet& items, uint32_t& corruption,
                           int& zlibError);
    // The same as records, ordered by id, one per id (none left out).
    static bool parseImage(std::vector<uint8_t>& image, std::vector<Loaded>& items,
                           uint32_t& corruption, int& zlibError);

    // XORs bytes that start at file offset 12 with the scrambling table; the
    // same call scrambles and unscrambles.
    static void unscramble(uint8_t* bytes, size_t length);

private:
    // The file's bytes; false when there are none, logged as read says.
    static bool readImage(const wstr& path, std::vector<uint8_t>& image);
    // Checks the header, unscrambles and inflates the image; 0 with the
    // payload, else the corruption number (and the zlib error code).
    static uint32_t inflateImage(std::vector<uint8_t>& image, std::vector<uint8_t>& payload,
                                 int& zlibError);
    // parsePayload's checks and numbers, with the exception's message logged.
    static uint32_t parseLogged(const std::vector<uint8_t>& payload, ItemSet& items);
    // The records of an inflated payload; 0, else the corruption number.
    static uint32_t parseRecords(const std::vector<uint8_t>& payload, std::vector<Loaded>& items);
    // The number of a damaged header, else 0.
    static uint32_t headerCorruption(const std::vector<uint8_t>& image);
    // Reads the items of an inflated payload; the number of a missing tag,
    // else 0. A record cut short throws std::invalid_argument.
    static uint32_t parsePayload(const std::vector<uint8_t>& payload, ItemSet& items);
};
