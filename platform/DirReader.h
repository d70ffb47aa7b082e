#pragma once

#include <dirent.h>
#include <string>
#include <sys/types.h>

namespace Platform {

// Lists one folder with opendir/readdir, skipping "." and "..". An entry that
// is a symbolic link counts as what it points to (a dangling link as a file).
class DirReader {
public:
    struct Entry {
        std::string name;
        bool isDirectory = false;
        bool isHidden = false; // the name starts with a dot
        // Of a folder (after following a link), to tell a folder reached
        // twice through links; 0 for files.
        dev_t device = 0;
        ino_t inode = 0;
    };

    explicit DirReader(const std::string& path);
    ~DirReader();
    DirReader(const DirReader&) = delete;
    DirReader& operator=(const DirReader&) = delete;

    bool isOpen() const { return dir_ != nullptr; }
    // errno of the failed open, 0 when open.
    int error() const { return error_; }

    // Fills the next entry; false at the end of the folder.
    bool next(Entry& entry);

private:
    DIR* dir_;
    int error_;
};

} // namespace Platform
