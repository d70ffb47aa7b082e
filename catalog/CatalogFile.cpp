#include "catalog/CatalogFile.h"

#include "catalog/AppIdentity.h"
#include "catalog/ScanWorkers.h"
#include "catalog/SwapFile.h"
#include "core/FileInfo.h"
#include "core/Hash.h"
#include "core/Logger.h"
#include "core/MappedFile.h"
#include "core/MemReader.h"
#include "core/Path.h"
#include "core/SysFile.h"
#include "platform/BatchScheduling.h"
#include "platform/Error.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr uint8_t kMagic[6] = {'Q', 'V', 'D', 'I', 'C', 'T'};

constexpr uint8_t kScrambleTable[64] = {
    0x5e, 0x1a, 0x9c, 0x3b, 0x7d, 0x20, 0xf4, 0x6e, 0x8b, 0x13, 0xa7, 0xc9, 0x5d, 0x02, 0xe4, 0xf6,
    0xa1, 0xb3, 0x8c, 0x7e, 0x90, 0xd2, 0x5f, 0x4a, 0x6c, 0x18, 0xb3, 0xe7, 0xd0, 0x9f, 0x2a, 0x5c,
    0x4e, 0x71, 0xb0, 0xd9, 0x3a, 0x6c, 0x25, 0xe8, 0xf1, 0xd4, 0xa7, 0xb3, 0x0c, 0x96, 0xe2, 0xd5,
    0xf8, 0xa1, 0xc4, 0xb7, 0xe0, 0x3d, 0x69, 0xa2, 0xf5, 0xc8, 0xe1, 0xb4, 0xd7, 0x0a, 0x3c, 0x6f,
};

constexpr uint64_t kGrowthStep = 65536;
// The tag "ITMS" and the item count.
constexpr uint64_t kPayloadHeaderSize = 8;
constexpr int kCompressionLevel = 9;

void putU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t getU32(const uint8_t* at) {
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

template <typename T> void appendInt(MemWriter& out, T value) {
    uint8_t bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    out.append(bytes, sizeof bytes);
}

template <typename T> T readInt(MemReader& in) {
    uint8_t bytes[sizeof(T)];
    in.read(bytes, sizeof bytes);
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return static_cast<T>(value);
}

// The tag is there when at least four bytes remain and they spell it; a
// missing tag is reported by the caller with its own number.
bool readTag(MemReader& in, const char (&tag)[5]) {
    if (in.remaining() < 4)
        return false;
    char bytes[4];
    in.read(bytes, 4);
    return std::memcmp(bytes, tag, 4) == 0;
}

struct Fields {
    uint64_t pluginId = 0;
    uint32_t category = 0, argsHint = 0, hitHint = 0;
    bool loopOnSuggest = false;
    wstr label, target, shortDesc, rawArgs, displayedArgs, dataBag;
};

Fields readFields(MemReader& in) {
    Fields f;
    f.pluginId = readInt<uint64_t>(in);
    f.category = readInt<uint32_t>(in);
    f.argsHint = readInt<uint32_t>(in);
    f.hitHint = readInt<uint32_t>(in);
    f.loopOnSuggest = readInt<uint8_t>(in) != 0;
    in.readString(f.label);
    in.readString(f.target);
    in.readString(f.shortDesc);
    in.readString(f.rawArgs);
    in.readString(f.displayedArgs);
    in.readString(f.dataBag);
    return f;
}

CatalogItemPtr itemOf(const Fields& f) {
    auto item =
        std::make_shared<CatalogItem>(f.pluginId, f.category, f.label, f.shortDesc, f.target,
                                      f.argsHint, f.loopOnSuggest, f.hitHint, 0, f.dataBag);
    item->setArgs(f.rawArgs, f.displayedArgs);
    return item;
}

CatalogItemPtr readItem(MemReader& in) {
    return itemOf(readFields(in));
}

// Whether cleanText keeps the text as it is, for the common case: printable
// ASCII, no space at either end.
bool isPlainClean(const wstr& text) {
    if (!text.empty() && (text.front() == L' ' || text.back() == L' '))
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t ch) { return ch >= 0x20 && ch < 0x7F; });
}

wstr cleaned(wstr&& text) {
    return isPlainClean(text) ? std::move(text) : cleanText(text);
}

// Whether Path::canonicalize keeps the path as it is: "/" or components
// (after one leading separator) that are neither empty, "." nor "..".
bool isCanonical(std::wstring_view path) {
    if (path == L"/")
        return true;
    if (!path.empty() && path.front() == L'/')
        path.remove_prefix(1);
    for (size_t start = 0; start <= path.size() && !path.empty();) {
        size_t end = std::min(path.find(L'/', start), path.size());
        std::wstring_view component = path.substr(start, end - start);
        if (component.empty() || component == L"." || component == L"..")
            return false;
        start = end + 1;
    }
    return true;
}

// What itemOf makes, as a record where it can be one; an invalid item
// without arguments is left unused. Texts are cleaned and targets made
// canonical only where that changes them: a file written by the program
// holds them so already.
CatalogFile::Loaded loadItem(MemReader& in) {
    Fields f = readFields(in);
    CatalogFile::Loaded loaded;
    if (f.category == CatalogItem::error ||
        (f.argsHint != CatalogItem::forbidden && !wstr::trimCopy(f.rawArgs).empty())) {
        loaded.item = itemOf(f);
        loaded.id = loaded.item->id();
        return loaded;
    }
    wstr label = cleaned(std::move(f.label));
    wstr target = f.category == CatalogItem::file && !isCanonical(f.target)
                      ? Path::canonicalize(f.target)
                      : std::move(f.target);
    loaded.id = CatalogItem::idOf(f.pluginId, f.category, target);
    if (!CatalogItem::hasValidFields(f.pluginId, f.category, label, target, f.argsHint, f.hitHint))
        return loaded;
    wstr lowerLabel = wstr::lowerCopy(label);
    wstr shortDesc = cleaned(std::move(f.shortDesc));
    ItemRecord::Fields fields;
    fields.pluginId = f.pluginId;
    fields.category = f.category;
    fields.argsHint = f.argsHint;
    fields.hitHint = f.hitHint;
    // As the constructor (label, description) and setArgs count them.
    fields.changes = f.argsHint == CatalogItem::forbidden ? 2 : 3;
    fields.loopOnSuggest = f.loopOnSuggest;
    fields.label = label;
    fields.lowerLabel = lowerLabel;
    fields.target = target;
    fields.shortDesc = shortDesc;
    fields.dataBag = f.dataBag;
    loaded.record = ItemRecord(fields);
    return loaded;
}

// Where each record starts (behind its tag) when the payload is whole; false
// where parsePayload would find a fault.
bool recordStarts(const std::vector<uint8_t>& payload, std::vector<uint64_t>& starts) {
    const uint64_t size = payload.size();
    uint64_t at = 0;
    auto take = [&](uint64_t count) {
        if (size - at < count)
            return false;
        at += count;
        return true;
    };
    auto tag = [&](const char* name) {
        return size - at >= 4 && std::memcmp(payload.data() + at, name, 4) == 0 && take(4);
    };
    if (!tag("ITMS") || !take(4))
        return false;
    uint32_t count = getU32(payload.data() + 4);
    starts.reserve(std::min<uint64_t>(count, size / 49)); // the smallest record
    for (; count > 0; --count) {
        if (!tag("ITEM"))
            return false;
        starts.push_back(at);
        if (!take(8 + 4 + 4 + 4 + 1))
            return false;
        for (int text = 0; text < 6; ++text) {
            if (!take(4) || !take(getU32(payload.data() + at - 4)))
                return false;
        }
    }
    return true;
}

bool isDropped(const CatalogFile::Loaded& loaded) {
    if (loaded.item)
        return !loaded.item->isValid() || loaded.item->category() == CatalogItem::error;
    return !loaded.record.used();
}

// The payload starts with its tag and item count: what the count allows
// bounds the inflated size whatever the length field claims, so a small
// damaged or hostile file cannot make us inflate a gigabyte.
uint64_t payloadCap(const uint8_t* header) {
    if (std::memcmp(header, "ITMS", 4) != 0)
        return kPayloadHeaderSize;
    return kPayloadHeaderSize + uint64_t(getU32(header + 4)) * CatalogFile::maxItemRecordSize;
}

// Inflates the zlib stream into the room the length field names, growing
// the buffer only as the data arrives so that a lying length field costs
// nothing. Returns a zlib code with uncompress2's meaning: Z_OK at the end of
// the stream, Z_BUF_ERROR when it does not fit the room, Z_DATA_ERROR when
// it is damaged or cut short.
int inflateInto(const uint8_t* in, size_t inSize, uint64_t room, std::vector<uint8_t>& out) {
    bool capped = false;
    z_stream stream{};
    int result = inflateInit(&stream);
    if (result != Z_OK)
        return result;
    stream.next_in = const_cast<uint8_t*>(in);
    stream.avail_in = static_cast<uInt>(inSize);
    size_t produced = 0;
    do {
        if (produced == out.size()) {
            if (produced == room) {
                result = Z_BUF_ERROR;
                break;
            }
            out.resize(std::min<uint64_t>(room, std::max<uint64_t>(kGrowthStep, out.size() * 2)));
        }
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(out.size() - produced);
        result = inflate(&stream, Z_NO_FLUSH);
        produced = out.size() - stream.avail_out;
        if (!capped && produced >= kPayloadHeaderSize) {
            capped = true;
            room = std::min(room, payloadCap(out.data()));
            if (produced > room) {
                result = Z_BUF_ERROR;
                break;
            }
            out.resize(std::min<uint64_t>(out.size(), room));
            // Address space only: pages are touched as the data arrives,
            // and growing never copies.
            out.reserve(room);
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            result = Z_DATA_ERROR;
    } while (result == Z_OK || (result == Z_BUF_ERROR && stream.avail_out == 0));
    inflateEnd(&stream);
    out.resize(produced);
    if (result == Z_STREAM_END)
        return Z_OK;
    return result == Z_NEED_DICT ? Z_DATA_ERROR : result;
}

// Deflates one piece of a payload as raw deflate data, primed with the
// window before it and ended on a byte boundary unless it is the last, so
// that the pieces joined in order are one deflate stream.
bool deflatePiece(const uint8_t* start, size_t size, size_t window, bool last,
                  std::vector<uint8_t>& out) {
    z_stream stream{};
    if (deflateInit2(&stream, kCompressionLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    bool done = window == 0 ||
                deflateSetDictionary(&stream, start - window, static_cast<uInt>(window)) == Z_OK;
    out.resize(deflateBound(&stream, size) + 16);
    stream.next_in = const_cast<uint8_t*>(start);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    if (done) {
        int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        done = last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return done;
}

// Appends the zlib stream of the payload to out. A payload of one piece is
// compressed as one; a larger one in pieces on all cores (the window of
// each taken from the piece before it), joined into one stream that any
// inflater reads, with one header and the checksum of the whole.
bool compress(const uint8_t* payload, size_t size, std::vector<uint8_t>& out) {
    constexpr size_t pieceSize = 1 << 20, window = 1 << MAX_WBITS;
    const size_t pieces = std::max<size_t>(1, (size + pieceSize - 1) / pieceSize);
    if (pieces == 1) {
        const size_t start = out.size();
        uLongf compressedSize = compressBound(size);
        out.resize(start + compressedSize);
        if (compress2(out.data() + start, &compressedSize, payload, size, kCompressionLevel) !=
            Z_OK)
            return false;
        out.resize(start + compressedSize);
        return true;
    }
    std::vector<std::vector<uint8_t>> parts(pieces);
    std::vector<uLong> checksums(pieces);
    std::vector<char> done(pieces, 0);
    ScanWorkers workers(std::max(std::thread::hardware_concurrency(), 1u));
    workers.run(pieces, [&](size_t piece, size_t) {
        // Background work on every core: searches come first.
        Platform::BatchSchedulingScope background;
        const size_t first = piece * pieceSize;
        const size_t length = std::min(pieceSize, size - first);
        done[piece] = deflatePiece(payload + first, length, piece == 0 ? 0 : window,
                                   piece + 1 == pieces, parts[piece]);
        checksums[piece] = adler32_z(adler32_z(0, nullptr, 0), payload + first, length);
    });
    if (std::find(done.begin(), done.end(), 0) != done.end())
        return false;
    // The header of a 32 KiB window at the level's speed class, as zlib writes it.
    constexpr unsigned levelFlags = kCompressionLevel >= 7   ? 3
                                    : kCompressionLevel == 6 ? 2
                                    : kCompressionLevel >= 2 ? 1
                                                             : 0;
    constexpr unsigned fields = (Z_DEFLATED + ((MAX_WBITS - 8) << 4)) << 8 | levelFlags << 6;
    constexpr unsigned header = fields + 31 - fields % 31;
    out.push_back(static_cast<uint8_t>(header >> 8));
    out.push_back(static_cast<uint8_t>(header & 0xFF));
    uLong checksum = adler32_z(0, nullptr, 0);
    for (size_t piece = 0; piece < pieces; ++piece) {
        out.insert(out.end(), parts[piece].begin(), parts[piece].end());
        parts[piece] = {};
        checksum =
            adler32_combine(checksum, checksums[piece],
                            static_cast<z_off_t>(std::min(pieceSize, size - piece * pieceSize)));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(checksum >> shift));
    return true;
}

void reportCorrupted(const wstr& path, uint32_t number, int zlibError) {
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message, L"Catalog file corrupted (error {}; {}; {}). Deleting {}",
                            number, zlibError, AppIdentity::get().revision, path));
    unlink(wstr::toUtf8(path).c_str());
}

void reportDropped(const wstr& path, std::size_t dropped) {
    if (dropped == 0)
        return;
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message, L"Ignoring {} invalid item{} of catalog file {}", dropped,
                            dropped > 1 ? L"s" : L"", path));
}

// Drops the items the catalog would refuse from a plugin.
void dropInvalidItems(const wstr& path, CatalogFile::ItemSet& items) {
    reportDropped(path, std::erase_if(items, [](const CatalogItemPtr& item) {
                      return !item->isValid() || item->category() == CatalogItem::error;
                  }));
}

} // namespace

bool CatalogFile::write(const wstr& path, const ItemSet& items) {
    MemWriter payload(kGrowthStep);
    writeItems(payload, items);
    return writePayload(path, payload.data(), payload.size());
}

bool CatalogFile::writePayload(const wstr& path, const uint8_t* payload, size_t size) {
    std::vector<uint8_t> image;
    if (!buildImage(payload, size, image)) {
        Platform::setLastError(Platform::ERROR_SUCCESS);
        return false;
    }
    return SwapFile::writeAndReplace(path, image.data(), image.size());
}

bool CatalogFile::buildImage(const uint8_t* payload, size_t size, std::vector<uint8_t>& image) {
    if (size > UINT32_MAX - headerSize)
        return false;
    image.assign(headerSize, 0);
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    putU16(image.data() + 6, version);
    putU32(image.data() + 12, static_cast<uint32_t>(size + headerSize));
    if (!compress(payload, size, image))
        return false;
    unscramble(image.data() + 12, image.size() - 12);
    putU32(image.data() + 8, crc32(image.data() + 12, image.size() - 12));
    return true;
}

bool CatalogFile::readImage(const wstr& path, std::vector<uint8_t>& image) {
    MappedFile file;
    if (!file.open(path, maxFileSize)) {
        uint32_t error = file.error();
        wstr message;
        if (error == 0 && Sys::isDirectory(path) == 0) {
            // Opened without an error but nothing read: empty, or too large.
            FileInfo info;
            if (info.open(path) && info.size() > maxFileSize)
                wstr::format(message, L"Catalog file is larger than {} bytes: {}", maxFileSize,
                             path);
            else
                wstr::format(message, L"Catalog file is empty: {}", path);
        } else if (Sys::isDirectory(path) >= 0) {
            wstr::format(message, L"Failed to open catalog file for reading (error {}): {}", error,
                         path);
        }
        if (!message.empty())
            logMessage(Logger::Warning, message);
        return false;
    }
    image.assign(file.view(), file.view() + file.viewSize());
    return true;
}

template <typename Items> bool CatalogFile::readParsed(const wstr& path, Items& items) {
    items.clear();
    std::vector<uint8_t> image;
    if (!readImage(path, image))
        return false;
    uint32_t corruption = 0;
    int zlibError = 0;
    if (parseImage(image, items, corruption, zlibError))
        return true;
    items.clear();
    reportCorrupted(path, corruption, zlibError);
    return false;
}

bool CatalogFile::read(const wstr& path, ItemSet& items) {
    if (!readParsed(path, items))
        return false;
    dropInvalidItems(path, items);
    return true;
}

bool CatalogFile::readRecords(const wstr& path, std::vector<Loaded>& items) {
    if (!readParsed(path, items))
        return false;
    reportDropped(path, std::erase_if(items, isDropped));
    return true;
}

bool CatalogFile::parseImage(std::vector<uint8_t>& image, ItemSet& items, uint32_t& corruption,
                             int& zlibError) {
    std::vector<uint8_t> payload;
    corruption = inflateImage(image, payload, zlibError);
    if (corruption == 0)
        corruption = parseLogged(payload, items);
    return corruption == 0;
}

bool CatalogFile::parseImage(std::vector<uint8_t>& image, std::vector<Loaded>& items,
                             uint32_t& corruption, int& zlibError) {
    std::vector<uint8_t> payload;
    corruption = inflateImage(image, payload, zlibError);
    if (corruption == 0)
        corruption = parseRecords(payload, items);
    return corruption == 0;
}

uint32_t CatalogFile::inflateImage(std::vector<uint8_t>& image, std::vector<uint8_t>& payload,
                                   int& zlibError) {
    zlibError = 0;
    if (uint32_t corruption = headerCorruption(image))
        return corruption;
    unscramble(image.data() + 12, image.size() - 12);
    uint32_t room = getU32(image.data() + 12);
    if (room > maxPayloadSize) {
        zlibError = Z_MEM_ERROR;
        return badStream;
    }
    zlibError = inflateInto(image.data() + headerSize, image.size() - headerSize, room, payload);
    return zlibError == Z_OK ? 0u : static_cast<uint32_t>(badStream);
}

uint32_t CatalogFile::parseLogged(const std::vector<uint8_t>& payload, ItemSet& items) {
    try {
        return parsePayload(payload, items);
    } catch (const std::exception& e) {
        wstr message;
        logMessage(Logger::Warning, wstr::format(message, L"Catalog file parsing error: {}",
                                                 wstr::fromUtf8(e.what())));
        return badRecord;
    }
}

// The structure is checked in one quick pass; the records, where the work
// is, are then read on all cores, each into its place.
uint32_t CatalogFile::parseRecords(const std::vector<uint8_t>& payload,
                                   std::vector<Loaded>& items) {
    items.clear();
    std::vector<uint64_t> starts;
    if (!recordStarts(payload, starts)) {
        // The reader of the items finds the same fault and tells what it is.
        ItemSet unused;
        uint32_t corruption = parseLogged(payload, unused);
        return corruption != 0 ? corruption : uint32_t{badRecord};
    }
    items.resize(starts.size());
    constexpr std::size_t recordsPerTask = 4096;
    ScanWorkers workers(std::max(std::thread::hardware_concurrency(), 1u));
    workers.run(
        (starts.size() + recordsPerTask - 1) / recordsPerTask, [&](std::size_t task, std::size_t) {
            const std::size_t first = task * recordsPerTask;
            for (std::size_t i = first; i < std::min(starts.size(), first + recordsPerTask); ++i) {
                MemReader in(payload.data() + starts[i], payload.size() - starts[i]);
                items[i] = loadItem(in);
            }
        });
    // One item per id, the first in the file, as the set of read keeps it;
    // the writer writes them in id order.
    auto byId = [](const Loaded& a, const Loaded& b) { return a.id < b.id; };
    if (!std::is_sorted(items.begin(), items.end(), byId))
        std::stable_sort(items.begin(), items.end(), byId);
    items.erase(std::unique(items.begin(), items.end(),
                            [](const Loaded& a, const Loaded& b) { return a.id == b.id; }),
                items.end());
    return 0;
}

uint32_t CatalogFile::headerCorruption(const std::vector<uint8_t>& image) {
    if (image.size() <= headerSize)
        return tooSmall;
    if (std::memcmp(image.data(), kMagic, sizeof kMagic) != 0)
        return badMagic;
    if ((image[6] | image[7] << 8) != version)
        return badVersion;
    if (crc32(image.data() + 12, image.size() - 12) != getU32(image.data() + 8))
        return badChecksum;
    return 0;
}

uint32_t CatalogFile::parsePayload(const std::vector<uint8_t>& payload, ItemSet& items) {
    MemReader in(payload.data(), payload.size());
    if (!readTag(in, "ITMS"))
        return noItemsTag;
    for (uint32_t count = readInt<uint32_t>(in); count > 0; --count) {
        if (!readTag(in, "ITEM"))
            return noItemTag;
        // Written in id order: the hint makes each insertion constant time.
        items.insert(items.end(), readItem(in));
    }
    return 0;
}

void CatalogFile::unscramble(uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i)
        bytes[i] ^= kScrambleTable[i % sizeof kScrambleTable];
}

void CatalogFile::writeCount(MemWriter& out, size_t count) {
    if (count > UINT32_MAX)
        throw std::length_error("Too many items for the catalog file");
    out.append("ITMS", 4);
    appendInt(out, static_cast<uint32_t>(count));
}

void CatalogFile::writeItem(MemWriter& out, const CatalogItem& item) {
    out.append("ITEM", 4);
    appendInt(out, item.pluginId());
    appendInt(out, item.category());
    appendInt(out, item.argsHint());
    appendInt(out, item.hitHint());
    appendInt(out, static_cast<uint8_t>(item.loopOnSuggest() ? 1 : 0));
    out.writeString(item.label());
    out.writeString(item.target());
    out.writeString(item.shortDesc());
    out.writeString(item.rawArgs());
    out.writeString(item.displayArgsField());
    out.writeString(item.dataBag());
}
