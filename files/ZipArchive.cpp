#include "files/ZipArchive.h"

#include <algorithm>
#include <bzlib.h>
#include <limits>
#include <minizip/unzip.h>
#include <set>
#include <sys/stat.h>
#include <zlib.h>

namespace {

// Code page 437, bytes 0x80 to 0xFF.
constexpr char32_t cp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr unsigned long encryptedFlag = 1u << 0;
constexpr unsigned long utf8NameFlag = 1u << 11;
constexpr uint64_t readChunk = 1 << 20;

constexpr unsigned long methodStored = 0;
constexpr unsigned long methodDeflated = 8;
constexpr unsigned long methodBzip2 = 12;

constexpr uint64_t zip32Max = 0xFFFFFFFF;
constexpr uint16_t zip64ExtraId = 0x0001;

const wchar_t* methodName(unsigned long method) {
    switch (method) {
    case 1:
        return L"Shrink";
    case 6:
        return L"Implode";
    case 9:
        return L"Deflate64";
    case 14:
        return L"LZMA";
    case 93:
        return L"Zstandard";
    case 95:
        return L"XZ";
    case 98:
        return L"PPMd";
    case 99:
        return L"AES encryption";
    default:
        return L"unknown";
    }
}

uint64_t readLittle(const uint8_t* bytes, size_t count) {
    uint64_t value = 0;
    for (size_t i = count; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

// minizip compares the 32-bit size fields against an all-ones value of the
// platform's long, so on 64-bit Linux it never takes the ZIP64 extra field
// and leaves 0xFFFFFFFF as the sizes (archives of `zip -fz`). The extra field
// holds, in this order, each of the uncompressed and compressed sizes whose
// 32-bit field is all ones.
void applyZip64Sizes(unz_file_info64& info, const std::string& extra) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(extra.data());
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        auto id = uint16_t(readLittle(bytes + at, 2));
        size_t length = size_t(readLittle(bytes + at + 2, 2));
        at += 4;
        if (at + length > extra.size())
            return;
        if (id == zip64ExtraId) {
            size_t field = at;
            for (ZPOS64_T* size : {&info.uncompressed_size, &info.compressed_size}) {
                if (*size != zip32Max)
                    continue;
                if (field + 8 > at + length)
                    return;
                *size = readLittle(bytes + field, 8);
                field += 8;
            }
            return;
        }
        at += length;
    }
}

// One open minizip handle over the 64-bit stdio file functions; closed on
// every path out of an operation.
class UnzHandle {
public:
    explicit UnzHandle(const std::string& path) {
        zlib_filefunc64_def functions;
        fill_fopen64_filefunc(&functions);
        handle_ = unzOpen2_64(path.c_str(), &functions);
    }
    ~UnzHandle() {
        if (handle_)
            unzClose(handle_);
    }
    UnzHandle(const UnzHandle&) = delete;
    UnzHandle& operator=(const UnzHandle&) = delete;

    unzFile get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    unzFile handle_;
};

// The current entry's information and its name as the program reads it
// (decoded, leading separators kept).
bool currentEntry(unzFile handle, unz_file_info64& info, wstr& name) {
    if (unzGetCurrentFileInfo64(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    std::string raw(info.size_filename, '\0');
    std::string extra(info.size_file_extra, '\0');
    if (unzGetCurrentFileInfo64(handle, &info, raw.data(), raw.size(), extra.data(), extra.size(),
                                nullptr, 0) != UNZ_OK)
        return false;
    applyZip64Sizes(info, extra);
    name = (info.flag & utf8NameFlag) ? wstr::fromMultiByte(raw.data(), raw.size(), 65001)
                                      : ZipArchive::decodeCp437(raw.data(), raw.size());
    return true;
}

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// The current entry's data through minizip's own decoder (stored, deflated):
// exactly size bytes, and nothing after them.
bool readDecoded(unzFile handle, uint64_t size, std::vector<uint8_t>& bytes) {
    if (unzOpenCurrentFile(handle) != UNZ_OK)
        return false;
    bytes.resize(size);
    uint64_t done = 0;
    while (done < size) {
        int n = unzReadCurrentFile(handle, bytes.data() + done,
                                   unsigned(std::min(readChunk, size - done)));
        if (n <= 0)
            break;
        done += uint64_t(n);
    }
    uint8_t more;
    bool ended = done == size && unzReadCurrentFile(handle, &more, 1) == 0;
    unzCloseCurrentFile(handle);
    return ended;
}

// minizip built without bzip2 hands back the compressed bytes as if they were
// the data: read them raw and decode them here, never above size bytes.
bool readBzip2(unzFile handle, uint64_t compressedSize, uint64_t size,
               std::vector<uint8_t>& bytes) {
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile2(handle, &method, &level, 1) != UNZ_OK)
        return false;
    std::vector<char> packed(compressedSize);
    uint64_t done = 0;
    while (done < compressedSize) {
        int n = unzReadCurrentFile(handle, packed.data() + done,
                                   unsigned(std::min(readChunk, compressedSize - done)));
        if (n <= 0)
            break;
        done += uint64_t(n);
    }
    unzCloseCurrentFile(handle);
    if (done != compressedSize || size > std::numeric_limits<unsigned>::max())
        return false;
    // One byte of room beyond the declared size tells a stream that is longer.
    bytes.resize(size + 1);
    auto length = unsigned(size + 1);
    int status = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(bytes.data()), &length,
                                            packed.data(), unsigned(compressedSize), 0, 0);
    bytes.resize(length);
    return status == BZ_OK && length == size;
}

} // namespace

bool ZipArchive::FileStamp::operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

wstr ZipArchive::decodeCp437(const char* bytes, size_t count) {
    wstr text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        text.push_back(byte < 0x80 ? wchar_t(byte) : wchar_t(cp437High[byte - 0x80]));
    }
    return text;
}

wstr ZipArchive::normalizeEntryName(const wstr& path) {
    wstr name;
    name.reserve(path.size());
    for (wchar_t c : path) {
        if (isSeparator(c)) {
            if (!name.empty() && name.back() != L'/')
                name.push_back(L'/');
            continue;
        }
        name.push_back(c);
    }
    if (!name.empty() && name.back() == L'/')
        name.pop_back();
    return name;
}

bool ZipArchive::readStamp(const wstr& path, FileStamp& stamp) {
    struct stat st;
    if (stat(wstr::toUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    return true;
}

bool ZipArchive::open(const wstr& path) {
    close();
    FileStamp stamp;
    if (!readStamp(path, stamp))
        return false;
    path_ = path;
    pathUtf8_ = wstr::toUtf8(path);
    stamp_ = stamp;
    stampValid_ = true;
    if (readEntries() != UNZ_OK) {
        close();
        return false;
    }
    return true;
}

void ZipArchive::close() {
    path_.clear();
    pathUtf8_.clear();
    revision_ = 0;
    stamp_ = {};
    stampValid_ = false;
    entries_.clear();
    caseConflict_ = false;
}

// -1 gone, 0 unchanged, 1 changed.
int ZipArchive::checkChanged() {
    FileStamp stamp;
    if (!readStamp(path_, stamp)) {
        stampValid_ = false;
        entries_.clear();
        caseConflict_ = false;
        return -1;
    }
    if (stampValid_ && stamp == stamp_)
        return 0;
    ++revision_;
    stamp_ = stamp;
    stampValid_ = true;
    return 1;
}

void ZipArchive::refresh() {
    if (isOpen() && checkChanged() > 0)
        readEntries();
}

int ZipArchive::readEntries() {
    entries_.clear();
    caseConflict_ = false;
    UnzHandle handle(pathUtf8_);
    if (!handle)
        return UNZ_INTERNALERROR;
    std::set<wstr> lowerNames;
    int status = unzGoToFirstFile(handle.get());
    while (status == UNZ_OK) {
        unz_file_info64 info;
        wstr name;
        unz64_file_pos position;
        if (!currentEntry(handle.get(), info, name) ||
            unzGetFilePos64(handle.get(), &position) != UNZ_OK) {
            status = UNZ_BADZIPFILE;
            break;
        }
        if (!name.empty() && !isSeparator(name.back())) {
            name = normalizeEntryName(name);
            if (!name.empty()) {
                entries_.push_back(std::make_shared<Entry>(
                    Entry{name, info.uncompressed_size, false, revision_,
                          position.pos_in_zip_directory, position.num_of_file}));
                if (!caseConflict_ && !lowerNames.insert(wstr::lowerCopy(name)).second)
                    caseConflict_ = true;
            }
        }
        status = unzGoToNextFile(handle.get());
    }
    if (status == UNZ_END_OF_LIST_OF_FILE)
        status = UNZ_OK;
    if (status != UNZ_OK) {
        entries_.clear();
        caseConflict_ = false;
    }
    return status;
}

std::shared_ptr<ZipArchive::Entry> ZipArchive::lookup(const wstr& normalized,
                                                      bool caseSensitive) const {
    for (const auto& entry : entries_)
        if (wstr::equals(entry->name, normalized, caseSensitive))
            return entry;
    return nullptr;
}

std::shared_ptr<ZipArchive::Entry> ZipArchive::findEntry(const wstr& name, bool caseSensitive) {
    refresh();
    return lookup(normalizeEntryName(name), caseSensitive);
}

const std::vector<std::shared_ptr<ZipArchive::Entry>>& ZipArchive::entries() {
    refresh();
    return entries_;
}

bool ZipArchive::hasCaseConflict() {
    refresh();
    return caseConflict_;
}

// The record to extract for an entry that may come from an older directory.
std::shared_ptr<ZipArchive::Entry> ZipArchive::findCurrent(const std::shared_ptr<Entry>& entry) {
    int change = checkChanged();
    if (change < 0)
        return nullptr;
    if (change > 0 && readEntries() != UNZ_OK)
        return nullptr;
    if (change > 0 || entry->revision != revision_)
        return lookup(entry->name, caseConflict_);
    return entry;
}

ZipArchive::Extracted ZipArchive::extract(const std::shared_ptr<Entry>& requested, uint64_t limit) {
    Extracted result;
    if (!isOpen() || !requested)
        return result;
    auto entry = findCurrent(requested);
    if (!entry)
        return result;
    UnzHandle handle(pathUtf8_);
    unz64_file_pos position{entry->directoryOffset, entry->entryNumber};
    unz_file_info64 info;
    wstr name;
    if (!handle || unzGoToFilePos64(handle.get(), &position) != UNZ_OK ||
        !currentEntry(handle.get(), info, name))
        return result;
    // The directory may have been rewritten under us between the check and
    // the open: the record at that offset must still be the one asked for.
    if (normalizeEntryName(name) != entry->name)
        return result;
    uint64_t size = info.uncompressed_size;
    if (size > (limit ? limit : maxEntrySize)) {
        wstr::format(result.error, L"its size ({} bytes) is above the limit of {} bytes", size,
                     limit ? limit : maxEntrySize);
        return result;
    }
    if (info.flag & encryptedFlag) {
        result.error = L"it is encrypted";
        return result;
    }
    if (info.compressed_size > uint64_t(stamp_.size)) {
        result.error = L"its compressed size goes beyond the end of the archive";
        return result;
    }
    std::vector<uint8_t> bytes;
    switch (info.compression_method) {
    case methodStored:
    case methodDeflated:
        if (!readDecoded(handle.get(), size, bytes)) {
            result.error = L"its data is damaged";
            return result;
        }
        break;
    case methodBzip2:
        if (!readBzip2(handle.get(), info.compressed_size, size, bytes)) {
            result.error = L"its bzip2 data is damaged";
            return result;
        }
        break;
    default:
        wstr::format(result.error, L"its compression method {} ({}) is not supported",
                     info.compression_method, methodName(info.compression_method));
        return result;
    }
    // minizip checks the CRC only when its own idea of the size ran out,
    // which the ZIP64 fix-up above and the bzip2 path bypass.
    if (crc32_z(crc32_z(0, nullptr, 0), bytes.data(), bytes.size()) != info.crc) {
        result.error = L"its CRC does not match";
        return result;
    }
    result.ok = true;
    result.bytes = std::move(bytes);
    return result;
}
