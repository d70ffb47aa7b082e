#include "platform/DirReader.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace Platform {

DirReader::DirReader(const std::string& path) : dir_(opendir(path.c_str())), error_(0) {
    if (!dir_)
        error_ = errno;
}

DirReader::~DirReader() {
    if (dir_)
        closedir(dir_);
}

bool DirReader::next(Entry& entry) {
    if (!dir_)
        return false;
    while (dirent* d = readdir(dir_)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)
            continue;
        entry.name = d->d_name;
        entry.isHidden = d->d_name[0] == '.';
        entry.isDirectory = false;
        entry.device = 0;
        entry.inode = 0;
        if (d->d_type == DT_DIR || d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(dir_), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode)) {
                entry.isDirectory = true;
                entry.device = st.st_dev;
                entry.inode = st.st_ino;
            }
        }
        return true;
    }
    return false;
}

} // namespace Platform
