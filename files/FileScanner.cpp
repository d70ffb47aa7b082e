#include "files/FileScanner.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <sys/stat.h>

#include "core/Logger.h"
#include "core/Path.h"
#include "platform/DirReader.h"
#include "platform/Error.h"

namespace {

constexpr uint32_t errorFileNotFound = 2;
constexpr uint32_t errorPathNotFound = 3;
constexpr uint32_t errorAccessDenied = 5;

// A folder that cannot be listed: a missing or non-folder path reads as
// "path not found", as the callers expect of a missing root.
uint32_t openError(int err) {
    if (err == ENOENT || err == ENOTDIR)
        return errorPathNotFound;
    return Platform::errorFromErrno(err);
}

FileScanner::Found found(const Platform::DirReader::Entry& entry) {
    return {wstr::fromUtf8(entry.name.c_str()), entry.isDirectory, entry.isHidden,
            uint64_t(entry.device), uint64_t(entry.inode)};
}

// A name that is no UTF-8 cannot be represented, named or opened again by
// the program (a folder so named failed to open at every scan): it is left
// out, with one warning per name for the whole run.
void warnUndecodable(const std::string& folder, const std::string& name) {
    static std::mutex mutex;
    static std::set<std::string> warned;
    const std::string path = folder + "/" + name;
    {
        std::lock_guard lock(mutex);
        if (!warned.insert(path).second)
            return;
    }
    wstr message;
    logMessage(Logger::Warning,
               wstr::format(message, L"Skipped a file name that is not UTF-8 in {}: {}",
                            wstr::fromUtf8(folder.c_str()),
                            wstr::fromMultiByte(name.data(), int64_t(name.size()), 1252)));
}

// The folder's entries sorted by name, so that listings do not depend on the
// order the file system keeps. Returns 0 or the error of opening the folder.
uint32_t listFolder(const wstr& folder, std::vector<FileScanner::Found>& entries) {
    const std::string folderUtf8 = wstr::toUtf8(folder);
    Platform::DirReader reader(folderUtf8);
    if (!reader.isOpen())
        return openError(reader.error());
    Platform::DirReader::Entry entry;
    while (reader.next(entry)) {
        FileScanner::Found item = found(entry);
        // Invalid UTF-8 decodes to U+FFFD, which names no file on disk.
        if (wstr::toUtf8(item.name) != entry.name) {
            warnUndecodable(folderUtf8, entry.name);
            continue;
        }
        entries.push_back(std::move(item));
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return 0;
}

bool matchesAny(const wstr& name, const std::vector<wstr>& patterns, bool caseSensitive) {
    for (const auto& pattern : patterns)
        if (wstr::wildcardMatch(name, pattern, caseSensitive))
            return true;
    return false;
}

} // namespace

uint32_t FileScanner::scan(std::vector<wstr>& results, const wstr& root, const wstr& pattern,
                           uint32_t flags, uint32_t depth) {
    return scanPatterns(results, root, {pattern}, flags, depth);
}

uint32_t FileScanner::scanPatterns(std::vector<wstr>& results, const wstr& root,
                                   const std::vector<wstr>& patterns, uint32_t flags,
                                   uint32_t depth) {
    if (!(flags & CaseSensitive) && depth == 0) {
        for (const auto& pattern : patterns) {
            uint32_t status = scanDir(results, root, pattern, flags);
            if (status == errorPathNotFound)
                return status;
            if (status != 0 && status != errorFileNotFound && (flags & StopOnError))
                return status;
        }
        return 0;
    }
    bool caseSensitive = flags & CaseSensitive;
    auto collect = [&](const wstr& relative, uint32_t, const Found& entry) {
        if (matchesAny(entry.name, patterns, caseSensitive))
            results.push_back(relative);
        return true;
    };
    uint32_t status = scanRecursive(collect, root, wstr(), flags, depth, 0);
    return status == stoppedByCallback || status == levelLimitReached ? 0 : status;
}

uint32_t FileScanner::scanDir(std::vector<wstr>& results, const wstr& folder, const wstr& pattern,
                              uint32_t flags) {
    std::vector<Found> entries;
    if (uint32_t status = listFolder(folder, entries))
        return status;
    bool matched = false;
    for (const auto& entry : entries) {
        if (!wstr::wildcardMatch(entry.name, pattern, false))
            continue;
        matched = true;
        if (entry.isDirectory && !(flags & Folders))
            continue;
        if (entry.isHidden && !(flags & Hidden))
            continue;
        if (flags & (Files | Folders))
            results.push_back(entry.name);
    }
    return matched ? 0 : errorFileNotFound;
}

uint32_t FileScanner::scanRecursive(const Callback& callback, const wstr& root,
                                    const wstr& relative, uint32_t flags, uint32_t depth,
                                    uint32_t level) {
    std::vector<FolderId> chain;
    struct stat st;
    if (::stat(wstr::toUtf8(Path::combine(root, relative)).c_str(), &st) == 0)
        chain.push_back({uint64_t(st.st_dev), uint64_t(st.st_ino)});
    return walk(callback, root, relative, flags, depth, level, chain);
}

uint32_t FileScanner::walk(const Callback& callback, const wstr& root, const wstr& relative,
                           uint32_t flags, uint32_t depth, uint32_t level,
                           std::vector<FolderId>& chain) {
    auto folder = Path::combine(root, relative);
    if (level >= maxLevel) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Reached maximum scan recursion limit ({}) with: {}",
                                level, folder));
        return levelLimitReached;
    }
    std::vector<Found> entries;
    if (uint32_t status = listFolder(folder, entries)) {
        if (level > 0 && status != errorAccessDenied) {
            wstr message;
            logMessage(Logger::Warning,
                       wstr::format(message, L"Failed to scan \"{}\" (code {}; level {})!", folder,
                                    status, level));
        }
        return status;
    }
    std::vector<std::pair<wstr, FolderId>> descend;
    for (const auto& item : entries) {
        auto path = Path::combine(relative, item.name);
        bool report;
        if (item.isDirectory) {
            FolderId id{item.device, item.inode};
            if (std::find(chain.begin(), chain.end(), id) != chain.end()) {
                wstr message;
                logMessage(Logger::Warning,
                           wstr::format(message, L"Skipped a folder link that loops back: {}",
                                        Path::combine(root, path)));
            } else if (depth != 0) {
                descend.emplace_back(path, id);
            }
            report = flags & Folders;
        } else {
            report = (flags & Files) && (!item.isHidden || (flags & Hidden));
        }
        if (report && !callback(path, flags, item))
            return stoppedByCallback;
    }
    if (depth != 0 && depth != unlimitedDepth)
        --depth;
    for (const auto& [sub, id] : descend) {
        chain.push_back(id);
        uint32_t status = walk(callback, root, sub, flags, depth, level + 1, chain);
        chain.pop_back();
        if (status == stoppedByCallback || status == levelLimitReached)
            return status;
        if (status != 0 && (flags & StopOnError))
            return status;
    }
    return 0;
}
