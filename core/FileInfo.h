#pragma once

#include <cstdint>
#include <sys/stat.h>

#include "core/Wstr.h"
#include "platform/UniqueFd.h"

// The information record of a file or folder, read through a handle that
// stays open (an O_PATH descriptor: no read permission needed, folders
// allowed, symbolic links followed) until close(). One thread at a time.
class FileInfo {
public:
    FileInfo() = default;
    ~FileInfo() { close(); }
    FileInfo(const FileInfo&) = delete;
    FileInfo& operator=(const FileInfo&) = delete;

    // Opens path and reads its record; on any failure everything is cleared,
    // the thread's last error tells why and false is returned.
    bool open(const wstr& path);
    void close();

    bool isOpen() const { return fd_.valid(); }
    const wstr& path() const { return path_; }
    // The statx record: mode, attributes, birth/access/modify times, device,
    // size, link count, inode.
    const struct statx& info() const { return info_; }
    bool isDirectory() const { return directory_; }
    // 0 for folders.
    uint64_t size() const { return size_; }

private:
    wstr path_;
    Platform::UniqueFd fd_;
    struct statx info_ {};
    bool directory_ = false;
    uint64_t size_ = 0;
};
