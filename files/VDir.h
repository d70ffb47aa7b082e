#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "core/Wstr.h"
#include "files/ZipArchive.h"

// One read-only view of a package location, a folder (VDirPhys) or a zip
// archive (VDirZip): find a file by name, list files by pattern, read a file,
// describe an entry. Names are relative paths; results use '/', arguments may
// use '/' or '\'. A name that is absolute or holds a ".." component names
// nothing, in folders and archives alike, so a package reads only its own
// files. No lock of its own: runs on the caller's thread, and calls on one
// object must not overlap.
class VDir {
public:
    enum Kind : uint32_t { Phys = 0, Zip = 1 };

    struct ReadResult {
        // NotRegular: a FIFO, a device, a folder; refused unread.
        enum Status : uint32_t {
            Done = 0,
            NoSuchFile = 1,
            TooLarge = 2,
            ReadFailed = 3,
            NotRegular = 4
        };
        uint32_t status = NoSuchFile;
        std::vector<uint8_t> bytes; // empty unless Done
    };

    struct EntryInfo {
        wstr folder; // the VDir's path
        wstr name;
        uint64_t size = 0;
        bool exists = false;
        bool readOnly = false;
        bool onDisk = false; // an existing file of a folder; never an archive entry
    };

    // A VDirPhys for a folder, a VDirZip for a zip archive; empty when the
    // path is missing, no archive, or cannot be opened.
    static std::shared_ptr<VDir> create(const wstr& path);

    // False for a name that could leave the package: absolute ('/' or '\'
    // first) or with a ".." component. Any thread.
    static bool isPackageRelative(const wstr& name);

    virtual ~VDir() = default;
    VDir(const VDir&) = delete;
    VDir& operator=(const VDir&) = delete;

    uint32_t type() const { return kind_; }
    virtual bool open(const wstr& path);
    virtual bool isOpen() const { return !path_.empty(); }
    virtual void close() { path_.clear(); }
    const wstr& path() const { return path_; }

    virtual bool isCaseSensitive() = 0;
    // The stored name of the file ('/' separated, relative), or empty.
    virtual wstr findFile(const wstr& name, bool caseSensitive) = 0;
    wstr findFile(const wstr& name) { return findFile(name, isCaseSensitive()); }
    virtual std::vector<wstr> listFiles(const wstr& pattern, bool recursive,
                                        bool caseSensitive) = 0;
    std::vector<wstr> listFiles(const wstr& pattern, bool recursive) {
        return listFiles(pattern, recursive, isCaseSensitive());
    }
    // Limit 0 reads up to MappedFile::hardLimit (folders) or
    // ZipArchive::maxEntrySize (archives).
    virtual ReadResult readFile(const wstr& name, uint64_t limit) = 0;
    virtual EntryInfo stat(const wstr& name) = 0;

protected:
    explicit VDir(Kind kind) : kind_(kind) {}

    wstr path_;

private:
    uint32_t kind_;
};

// A folder. Lookups fold letter case component by component, as packages
// written for case-insensitive file systems expect, and answer with the names
// as they are on disk. A symbolic link is followed only while it stays inside
// the folder; only regular files are read.
class VDirPhys : public VDir {
public:
    VDirPhys() : VDir(Phys) {}

    bool open(const wstr& path) override;
    bool isCaseSensitive() override { return false; }
    wstr findFile(const wstr& name, bool caseSensitive) override;
    std::vector<wstr> listFiles(const wstr& pattern, bool recursive, bool caseSensitive) override;
    ReadResult readFile(const wstr& name, uint64_t limit) override;
    EntryInfo stat(const wstr& name) override;

private:
    // The on-disk relative path of name, files and folders alike; empty when
    // there is none.
    wstr resolve(const wstr& name, bool caseSensitive) const;
    // False, with a warning, when the real path of the relative name lies
    // outside the folder (a link leading out).
    bool staysInside(const wstr& relative) const;
    bool isPackageFile(const wstr& relative) const;

    // Names already warned about, so that a package asking again does not
    // fill the log.
    mutable std::set<wstr> warned_;
};

// A zip archive, read again whenever it changes on disk.
class VDirZip : public VDir {
public:
    VDirZip() : VDir(Zip) {}
    ~VDirZip() override { close(); }

    bool open(const wstr& path) override;
    bool isOpen() const override { return archive_.isOpen(); }
    void close() override;
    // True when two entries differ only in letter case.
    bool isCaseSensitive() override { return archive_.hasCaseConflict(); }
    wstr findFile(const wstr& name, bool caseSensitive) override;
    std::vector<wstr> listFiles(const wstr& pattern, bool recursive, bool caseSensitive) override;
    ReadResult readFile(const wstr& name, uint64_t limit) override;
    EntryInfo stat(const wstr& name) override;

private:
    ZipArchive archive_;
};
