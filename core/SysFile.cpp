#include "core/SysFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Logger.h"
#include "core/Path.h"
#include "core/ShellLink.h"
#include "platform/AtomicWrite.h"
#include "platform/DirReader.h"
#include "platform/Error.h"
#include "platform/FsType.h"
#include "platform/UniqueFd.h"

namespace Sys {
namespace {

bool statPath(const wstr& path, struct stat& st) {
    if (stat(wstr::toUtf8(path).c_str(), &st) == 0)
        return true;
    Platform::setLastErrorFromErrno();
    return false;
}

// Private: the folders the program makes hold what the user ran.
bool makeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0) {
        Platform::setLastError(Platform::ERROR_SUCCESS);
        return true;
    }
    int err = errno;
    struct stat st;
    if (err == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Platform::setLastError(Platform::ERROR_ALREADY_EXISTS);
        return true;
    }
    Platform::setLastErrorFromErrno(err);
    return false;
}

bool makeTree(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string parent = path.substr(0, slash);
        struct stat st;
        if (stat(parent.c_str(), &st) != 0 && !makeFolder(parent))
            return false;
    }
    return makeFolder(path);
}

// A name in the file's folder that no other writer uses at the same time.
std::string sidePath(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + "." + std::to_string(getpid()) + "." + std::to_string(++counter) + ".tmp";
}

// The writer's process id of a side file name of path's, 0 when the name is
// none.
pid_t sideFileWriter(const std::string& name, const std::string& base) {
    if (name.size() <= base.size() + 1 || name.compare(0, base.size() + 1, base + ".") != 0 ||
        !name.ends_with(".tmp"))
        return 0;
    const std::string middle = name.substr(base.size() + 1, name.size() - base.size() - 5);
    const size_t dot = middle.find('.');
    auto digits = [](const std::string& text) {
        return !text.empty() && text.size() < 10 &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dot == std::string::npos || !digits(middle.substr(0, dot)) ||
        !digits(middle.substr(dot + 1)))
        return 0;
    return pid_t(std::stol(middle.substr(0, dot)));
}

bool readAt(int fd, off_t offset, void* out, size_t size) {
    return pread(fd, out, size, offset) == static_cast<ssize_t>(size);
}

bool isDesktopEntry(const wstr& path) {
    return Path::hasExtension(path, L"desktop");
}

uint32_t attributesOf(const wstr& path, const struct stat& st) {
    uint32_t word = 0;
    if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        word |= FileAttrReadOnly;
    if (Path::fileName(path).starts_with(L"."))
        word |= FileAttrHidden;
    if (S_ISDIR(st.st_mode))
        return word | FileAttrFolder;
    if (!S_ISREG(st.st_mode))
        return word | FileAttrNonFileSystem;
    if (isDesktopEntry(path))
        return word | FileAttrFile | FileAttrLink;
    if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))
        word |= FileAttrExecutable | FileAttrConsole;
    return word | FileAttrFile;
}

} // namespace

int isDirectory(const wstr& path) {
    struct stat st;
    if (!statPath(path, st))
        return -1;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

bool clearReadOnly(const wstr& path) {
    struct stat st;
    if (!statPath(path, st))
        return false;
    if (st.st_mode & S_IWUSR)
        return true;
    if (chmod(wstr::toUtf8(path).c_str(), (st.st_mode & 07777) | S_IWUSR) == 0)
        return true;
    Platform::setLastErrorFromErrno();
    return false;
}

bool createDirectories(const wstr& path, bool wholeTree) {
    std::string narrow = wstr::toUtf8(path);
    while (narrow.size() > 1 && narrow.back() == '/')
        narrow.pop_back();
    if (narrow.empty()) {
        Platform::setLastError(Platform::ERROR_PATH_NOT_FOUND);
        return false;
    }
    return wholeTree ? makeTree(narrow) : makeFolder(narrow);
}

bool writeAll(int fd, const void* data, size_t size) {
    if (Platform::writeAll(fd, data, size))
        return true;
    Platform::setLastErrorFromErrno();
    return false;
}

void removeLeftoverSideFiles(const wstr& path) {
    const std::string target = Platform::replacedFile(wstr::toUtf8(path));
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    Platform::DirReader reader(folder);
    Platform::DirReader::Entry entry;
    while (reader.next(entry)) {
        const pid_t writer = sideFileWriter(entry.name, base);
        // A writer that still runs (another instance, or ourselves) keeps its file.
        if (writer <= 0 || writer == getpid() || kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        removeLeftoverFile(wstr::fromUtf8((folder + "/" + entry.name).c_str()));
    }
}

void removeLeftoverFile(const wstr& path) {
    const std::string side = wstr::toUtf8(path);
    struct stat st;
    if (::lstat(side.c_str(), &st) != 0)
        return;
    wstr message;
    logMessage(Logger::Info,
               wstr::format(message, L"Removing {}, left over by an interrupted write", path));
    ::unlink(side.c_str());
}

bool writeFile(const wstr& path, const void* data, size_t size) {
    std::string target = Platform::replacedFile(wstr::toUtf8(path));
    std::string side = sidePath(target);
    if (!Platform::writeSideFile(side, target, data, size, Platform::SideName::Unique) ||
        !Platform::replaceWithSideFile(side, target)) {
        uint32_t error = Platform::setLastErrorFromErrno();
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Failed to write to file {} (error {})", path, error));
        Platform::setLastError(error);
        return false;
    }
    Platform::setLastError(Platform::ERROR_SUCCESS);
    return true;
}

int isPeFile(const wstr& path) {
    // Non-blocking: opening a FIFO must not hang; only regular files count.
    Platform::UniqueFd fd(open(wstr::toUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0) {
        Platform::setLastErrorFromErrno();
        return -1;
    }
    if (!S_ISREG(st.st_mode) || st.st_size <= 64)
        return 0;
    uint8_t mz[2];
    uint8_t offset[4];
    uint8_t pe[4];
    if (!readAt(fd.get(), 0, mz, 2) || !readAt(fd.get(), 60, offset, 4)) {
        Platform::setLastErrorFromErrno(EIO);
        return -1;
    }
    Platform::setLastError(Platform::ERROR_SUCCESS);
    if (mz[0] != 'M' || mz[1] != 'Z')
        return 0;
    off_t peAt = offset[0] | offset[1] << 8 | offset[2] << 16 | off_t(offset[3]) << 24;
    if (!readAt(fd.get(), peAt, pe, 4))
        return 0;
    return pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0 ? 1 : 0;
}

uint32_t fileAttributes(const wstr& path, bool follow, int depth) {
    struct stat st;
    if (path.empty() || !statPath(path, st))
        return 0;
    uint32_t word = attributesOf(path, st);
    if (!follow || !(word & FileAttrLink) || depth <= 0)
        return word;
    ShellLink link;
    loadShellLink(link, path);
    wstr target = resolveMsiShortcut(link);
    return target.empty() ? 0 : fileAttributes(target, follow, depth - 1);
}

wstr longPathName(const wstr& path) {
    struct stat st;
    if (path.empty() || !statPath(path, st))
        return {};
    return path;
}

wstr finalPathName(const wstr& path) {
    Platform::setLastError(Platform::ERROR_SUCCESS);
    if (path.empty())
        return {};
    std::string narrow = wstr::toUtf8(path);
    struct stat st;
    if (lstat(narrow.c_str(), &st) != 0) {
        Platform::setLastErrorFromErrno();
        return path;
    }
    wstr name = Path::fileName(path);
    bool keepName = name != L"." && name != L".." && !path.ends_with(L"/");
    std::string folder = keepName ? wstr::toUtf8(Path::parent(path)) : narrow;
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved)) {
        Platform::setLastErrorFromErrno();
        return path;
    }
    wstr result = wstr::fromUtf8(resolved);
    return keepName ? Path::combine(result, name) : result;
}

wstr findFileNoCase(const wstr& path) {
    const wstr folder = Path::parent(path);
    const wstr wanted = Path::fileName(path);
    Platform::DirReader reader(wstr::toUtf8(folder));
    std::vector<wstr> matches;
    Platform::DirReader::Entry entry;
    while (reader.next(entry)) {
        wstr name = wstr::fromUtf8(entry.name.c_str());
        if (!entry.isDirectory && wstr::equals(name, wanted, false))
            matches.push_back(std::move(name));
    }
    if (matches.empty())
        return wstr();
    std::sort(matches.begin(), matches.end());
    auto exact = std::find(matches.begin(), matches.end(), wanted);
    const wstr& chosen = exact != matches.end() ? *exact : matches.front();
    for (const wstr& other : matches) {
        if (other == chosen)
            continue;
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message,
                                L"Two files differ only in letter case: {} is read, {} "
                                L"is ignored (in {})",
                                chosen, other, folder));
    }
    return Path::combine(folder, chosen);
}

} // namespace Sys

namespace Path {

bool isRemote(const wstr& path) {
    return Path::isRooted(path) && Platform::isNetworkFileSystem(wstr::toUtf8(path));
}

} // namespace Path
