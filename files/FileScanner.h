#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Wstr.h"

// Lists the files and folders of a folder that match wildcard patterns ('*'
// and '?', matched by wstr::wildcardMatch, so '[' is an ordinary character),
// optionally descending into subfolders. Hidden entries are those whose name
// starts with a dot. Runs on the caller's thread; holds no state.
class FileScanner {
public:
    enum Flags : uint32_t {
        Files = 0x01,
        Folders = 0x02,
        Hidden = 0x04,
        CaseSensitive = 0x08, // also forces the walk
        StopOnError = 0x10,
    };

    // Depth: 0 the folder only, unlimited, or the number of further levels.
    static constexpr uint32_t unlimitedDepth = 0xFFFFFFFF;
    // The walk never goes deeper than this many levels. Link loops are caught
    // before that (a folder met again among its own ancestors is skipped);
    // this bounds a tree that is simply too deep.
    static constexpr uint32_t maxLevel = 50;

    // Result codes besides 0 and the system error codes (3 path not found, ...).
    static constexpr uint32_t stoppedByCallback = 63;
    static constexpr uint32_t levelLimitReached = 353;

    struct Found {
        wstr name;
        bool isDirectory = false;
        bool isHidden = false;
        uint64_t device = 0; // of a folder, else 0
        uint64_t inode = 0;
    };
    // Given the entry's path relative to the root ('/' separated), the scan
    // flags and the entry; false stops the whole walk.
    using Callback = std::function<bool(const wstr& relative, uint32_t flags, const Found& entry)>;

    // scanPatterns with one pattern.
    static uint32_t scan(std::vector<wstr>& results, const wstr& root, const wstr& pattern,
                         uint32_t flags, uint32_t depth);

    // Without CaseSensitive and with depth 0, the plain listing: bare names,
    // pattern after pattern. Otherwise the walk: paths relative to the root of
    // every entry whose name matches any pattern. 0 on success, else a system
    // error code (3 for a missing root).
    static uint32_t scanPatterns(std::vector<wstr>& results, const wstr& root,
                                 const std::vector<wstr>& patterns, uint32_t flags, uint32_t depth);

    // The plain listing of one folder for one pattern (matched without case).
    // 0, 2 when nothing matched, or the error of opening the folder.
    static uint32_t scanDir(std::vector<wstr>& results, const wstr& folder, const wstr& pattern,
                            uint32_t flags);

    // The walk: every entry of root/relative, breadth-first per folder. A
    // folder link that leads back to a folder of the walk's own chain (a
    // loop) is reported as a folder but not entered, with a warning.
    static uint32_t scanRecursive(const Callback& callback, const wstr& root, const wstr& relative,
                                  uint32_t flags, uint32_t depth, uint32_t level);

private:
    struct FolderId {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const FolderId&) const = default;
    };
    static uint32_t walk(const Callback& callback, const wstr& root, const wstr& relative,
                         uint32_t flags, uint32_t depth, uint32_t level,
                         std::vector<FolderId>& chain);
};
