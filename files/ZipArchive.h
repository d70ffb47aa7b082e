#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <sys/types.h>
#include <vector>

#include "core/Wstr.h"

// Reads a zip archive (a package archive) through minizip: lists its central
// directory, finds entries by name and extracts one entry into memory. The
// archive file is never held open between operations, so it can be replaced
// on disk at any time; every lookup first checks whether the file changed and
// reads the directory again when it did.
//
// No lock of its own: calls on one archive must not overlap.
class ZipArchive {
public:
    struct Entry {
        wstr name; // '/' separators, no leading or trailing '/'
        uint64_t size = 0;
        bool folder = false;
        uint32_t revision = 0; // the archive's revision when the entry was read
        uint64_t directoryOffset = 0;
        uint64_t entryNumber = 0;
    };

    struct Extracted {
        bool ok = false;
        std::vector<uint8_t> bytes;
        wstr error; // why not ok, for the log ("its compression method 14 (LZMA) ...")
    };

    // The largest entry extracted when the caller gives no limit: a damaged or
    // hostile size field must not make us allocate without bound.
    static constexpr uint64_t maxEntrySize = uint64_t(256) << 20;

    ZipArchive() = default;
    ~ZipArchive() = default;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Closes first when open. False (and closed) when the file is missing, a
    // folder, or no zip archive.
    bool open(const wstr& path);
    void close();
    bool isOpen() const { return !path_.empty(); }
    const wstr& path() const { return path_; }

    // The first entry whose name equals the normalised name; null when none.
    std::shared_ptr<Entry> findEntry(const wstr& name, bool caseSensitive);

    // The entry's bytes, decoded: stored, deflated or bzip2. Fails when the
    // archive is gone, the entry vanished in a change of the archive, its
    // declared size is above the limit (0: above maxEntrySize), it is
    // encrypted or compressed by another method, the data is short or long,
    // or its CRC does not match. Never hands back undecoded bytes.
    Extracted extract(const std::shared_ptr<Entry>& entry, uint64_t limit = 0);

    // The central directory in archive order (files only) and whether two
    // names differ only in letter case; both brought up to date first.
    const std::vector<std::shared_ptr<Entry>>& entries();
    bool hasCaseConflict();

    // '\' turned into '/', runs of '/' collapsed, leading and trailing '/' removed.
    static wstr normalizeEntryName(const wstr& path);

    // Names stored without the UTF-8 flag are code page 437.
    static wstr decodeCp437(const char* bytes, size_t count);

private:
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileStamp& other) const;
    };

    static bool readStamp(const wstr& path, FileStamp& stamp);
    int checkChanged();
    void refresh();
    int readEntries();
    std::shared_ptr<Entry> findCurrent(const std::shared_ptr<Entry>& entry);
    std::shared_ptr<Entry> lookup(const wstr& normalized, bool caseSensitive) const;

    wstr path_;
    std::string pathUtf8_;
    uint32_t revision_ = 0;
    FileStamp stamp_;
    bool stampValid_ = false;
    std::vector<std::shared_ptr<Entry>> entries_;
    bool caseConflict_ = false;
};
