#include "files/VDir.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

#include "core/FileInfo.h"
#include "core/Logger.h"
#include "core/MappedFile.h"
#include "core/Path.h"
#include "files/FileScanner.h"
#include "platform/DirReader.h"

namespace {

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// The components of an archive-syntax name: '/' and '\' separate, and runs of
// separators give no empty component.
std::vector<wstr> splitComponents(const wstr& name) {
    return wstr::tokenize(name, L"/\\");
}

bool hasWildcard(const wstr& name) {
    return name.find_first_of(L"*?") != wstr::npos;
}

struct PathKind {
    bool exists = false;
    bool isDirectory = false;
};

PathKind kindOf(const wstr& path) {
    struct stat st;
    if (::stat(wstr::toUtf8(path.data(), int64_t(path.size())).c_str(), &st) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode)};
}

bool isRegularFile(const wstr& path) {
    struct stat st;
    return ::stat(wstr::toUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The name of the folder's entry that equals component without case; the
// smallest such name when several do, empty when none.
wstr findFolded(const wstr& folder, const wstr& component) {
    Platform::DirReader reader(wstr::toUtf8(folder.data(), int64_t(folder.size())));
    wstr best;
    Platform::DirReader::Entry entry;
    while (reader.next(entry)) {
        wstr name = wstr::fromUtf8(entry.name.c_str());
        if (wstr::equals(name, component, false) && (best.empty() || name < best))
            best = name;
    }
    return best;
}

// The path with every link resolved; empty when it cannot be resolved.
std::string realPath(const wstr& path) {
    char buffer[PATH_MAX];
    const char* real = ::realpath(wstr::toUtf8(path).c_str(), buffer);
    return real ? std::string(real) : std::string();
}

void warn(const wstr& text) {
    logMessage(Logger::Warning, text);
}

} // namespace

bool VDir::isPackageRelative(const wstr& name) {
    if (name.empty() || isSeparator(name.front()))
        return false;
    auto components = splitComponents(name);
    return std::find(components.begin(), components.end(), L"..") == components.end();
}

std::shared_ptr<VDir> VDir::create(const wstr& path) {
    auto kind = kindOf(path);
    if (!kind.exists)
        return nullptr;
    std::shared_ptr<VDir> dir;
    // A file that is no readable archive fails to open.
    if (kind.isDirectory)
        dir = std::make_shared<VDirPhys>();
    else
        dir = std::make_shared<VDirZip>();
    if (!dir->open(path))
        return nullptr;
    return dir;
}

bool VDir::open(const wstr& path) {
    close();
    path_ = path;
    return true;
}

bool VDirPhys::open(const wstr& path) {
    VDir::open(path);
    if (!kindOf(path).isDirectory) {
        path_.clear();
        return false;
    }
    return true;
}

wstr VDirPhys::resolve(const wstr& name, bool caseSensitive) const {
    if (!isPackageRelative(name))
        return wstr();
    auto components = splitComponents(name);
    if (components.empty())
        return wstr();
    wstr relative;
    for (size_t i = 0; i < components.size(); ++i) {
        wstr folder = Path::combine(path_, relative);
        wstr component = components[i];
        auto kind = kindOf(Path::combine(folder, component));
        if (!kind.exists && !caseSensitive) {
            component = findFolded(folder, component);
            if (!component.empty())
                kind = kindOf(Path::combine(folder, component));
        }
        if (!kind.exists || (i + 1 < components.size() && !kind.isDirectory))
            return wstr();
        Path::join(relative, component);
    }
    return staysInside(relative) ? relative : wstr();
}

bool VDirPhys::staysInside(const wstr& relative) const {
    const std::string root = realPath(path_);
    const std::string real = realPath(Path::combine(path_, relative));
    if (!root.empty() && real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
        (root == "/" || real[root.size()] == '/'))
        return true;
    if (warned_.insert(relative).second) {
        wstr message;
        warn(wstr::format(message, L"Refused package file {}/{}: it leads outside the package ({})",
                          path_, relative, wstr::fromUtf8(real.c_str())));
    }
    return false;
}

// Only regular files are the package's files: a FIFO or a device would
// block or never end a read, so that they are neither found nor listed (with
// one warning); folders are no files either.
bool VDirPhys::isPackageFile(const wstr& relative) const {
    const wstr full = Path::combine(path_, relative);
    if (isRegularFile(full))
        return true;
    if (!kindOf(full).isDirectory && warned_.insert(relative).second) {
        wstr message;
        warn(wstr::format(message, L"Refused package file {}/{}: it is not a regular file", path_,
                          relative));
    }
    return false;
}

wstr VDirPhys::findFile(const wstr& name, bool caseSensitive) {
    if (!isOpen() || (caseSensitive && hasWildcard(name)))
        return wstr();
    wstr found = resolve(name, caseSensitive);
    if (found.empty() || !isPackageFile(found))
        return wstr();
    return found;
}

std::vector<wstr> VDirPhys::listFiles(const wstr& pattern, bool recursive, bool caseSensitive) {
    std::vector<wstr> files;
    if (!isOpen())
        return files;
    uint32_t flags = FileScanner::Files;
    if (caseSensitive)
        flags |= FileScanner::CaseSensitive;
    if (FileScanner::scan(files, path_, pattern, flags,
                          recursive ? FileScanner::unlimitedDepth : 0) != 0)
        files.clear();
    std::erase_if(files,
                  [&](const wstr& file) { return !staysInside(file) || !isPackageFile(file); });
    return files;
}

VDir::ReadResult VDirPhys::readFile(const wstr& name, uint64_t limit) {
    ReadResult result;
    wstr found = isOpen() ? resolve(name, false) : wstr();
    if (found.empty())
        return result;
    wstr full = Path::combine(path_, found);
    MappedFile file;
    if (file.open(full, limit)) {
        auto view = file.view();
        result.bytes.assign(view, view + file.viewSize());
        result.status = ReadResult::Done;
    } else if (file.error() != 0) {
        result.status = ReadResult::ReadFailed;
        if (kindOf(full).exists && !isRegularFile(full)) {
            result.status = ReadResult::NotRegular;
            wstr message;
            if (warned_.insert(found).second)
                warn(wstr::format(message, L"Refused package file {}/{}: it is not a regular file",
                                  path_, found));
        }
    } else {
        // Nothing read without an error: the file is empty or above the limit.
        FileInfo info;
        uint64_t allowed = limit == 0 ? MappedFile::hardLimit : limit;
        bool tooLarge = info.open(full) && info.size() > allowed;
        result.status = tooLarge ? ReadResult::TooLarge : ReadResult::Done;
    }
    return result;
}

VDir::EntryInfo VDirPhys::stat(const wstr& name) {
    EntryInfo entry{path_, name};
    wstr found = isOpen() ? resolve(name, false) : wstr();
    FileInfo info;
    if (found.empty() || !info.open(Path::combine(path_, found)))
        return entry;
    entry.name = found;
    entry.size = info.size();
    entry.exists = true;
    entry.readOnly = !(info.info().stx_mode & S_IWUSR);
    entry.onDisk = true;
    return entry;
}

bool VDirZip::open(const wstr& path) {
    VDir::open(path);
    if (!archive_.open(path)) {
        close();
        return false;
    }
    return true;
}

void VDirZip::close() {
    archive_.close();
    VDir::close();
}

wstr VDirZip::findFile(const wstr& name, bool caseSensitive) {
    if (!isPackageRelative(name))
        return wstr();
    auto entry = archive_.findEntry(name, caseSensitive);
    return entry ? entry->name : wstr();
}

std::vector<wstr> VDirZip::listFiles(const wstr& pattern, bool recursive, bool caseSensitive) {
    std::vector<wstr> files;
    for (const auto& entry : archive_.entries()) {
        if (!wstr::wildcardMatch(Path::fileName(entry->name), pattern, caseSensitive) ||
            !isPackageRelative(entry->name))
            continue;
        if (recursive || std::none_of(entry->name.begin(), entry->name.end(), isSeparator))
            files.push_back(entry->name);
    }
    return files;
}

VDir::ReadResult VDirZip::readFile(const wstr& name, uint64_t limit) {
    ReadResult result;
    if (!isPackageRelative(name))
        return result;
    auto entry = archive_.findEntry(name, isCaseSensitive());
    if (!entry)
        return result;
    if (limit != 0 && entry->size > limit) {
        result.status = ReadResult::TooLarge;
        return result;
    }
    auto extracted = archive_.extract(entry, limit);
    result.status = extracted.ok ? ReadResult::Done : ReadResult::ReadFailed;
    if (!extracted.ok && !extracted.error.empty()) {
        wstr message;
        warn(wstr::format(message, L"Cannot read {} from {}: {}", entry->name, path_,
                          extracted.error));
    }
    result.bytes = std::move(extracted.bytes);
    return result;
}

VDir::EntryInfo VDirZip::stat(const wstr& name) {
    EntryInfo entry{path_, name};
    auto found = isPackageRelative(name) ? archive_.findEntry(name, isCaseSensitive()) : nullptr;
    if (!found || found->folder)
        return entry;
    entry.name = found->name;
    entry.size = found->size;
    entry.exists = true;
    entry.readOnly = true;
    return entry;
}
