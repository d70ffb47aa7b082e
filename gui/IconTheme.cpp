#include "gui/IconTheme.h"

#include "platform/KeyFile.h"
#include "platform/XdgDirs.h"

#include <QImageReader>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace Gui {

namespace {

using Group = Platform::KeyFileGroup;

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::istringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) {
        item = Platform::trimBlanks(item);
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

int32_t number(const Group& group, const char* key, int32_t fallback) {
    const auto it = group.find(key);
    if (it == group.end() || it->second.empty())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(it->second.c_str(), &end, 10);
    return *end == '\0' && value >= 0 && value <= INT32_MAX ? static_cast<int32_t>(value)
                                                            : fallback;
}

bool isFile(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

} // namespace

IconTheme::Dirs IconTheme::xdgDirs() {
    Dirs dirs;
    if (const std::string home = Platform::xdg::home(); !home.empty())
        dirs.base.push_back(home + "/.icons");
    if (const std::string data = Platform::xdg::dataHome(); !data.empty())
        dirs.base.push_back(data + "/icons");
    for (const auto& dir : Platform::xdg::dataDirs()) {
        dirs.base.push_back(dir + "/icons");
        dirs.pixmaps.push_back(dir + "/pixmaps");
    }
    return dirs;
}

IconTheme::IconTheme(const std::string& name, Dirs dirs)
    : name_(name.empty() ? "hicolor" : name), dirs_(std::move(dirs)) {
    // A PNG drawn for the size first; SVG only where Qt's image plug-in for
    // it is installed.
    extensions_ = {"png"};
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const char* vector : {"svg", "svgz"}) {
        if (formats.contains(vector))
            extensions_.push_back(vector);
    }
    extensions_.push_back("xpm");
    std::set<std::string> seen;
    addTheme(name_, seen);
    addTheme("hicolor", seen);
}

std::vector<std::string> IconTheme::chain() const {
    std::vector<std::string> names;
    for (const auto& theme : themes_)
        names.push_back(theme.name);
    return names;
}

// Depth first, each theme once: a cycle of Inherits ends where it closes.
void IconTheme::addTheme(const std::string& name, std::set<std::string>& seen) {
    if (name.find('/') != std::string::npos || name == "." || name == ".." ||
        !seen.insert(name).second)
        return;
    Theme theme{name, {}, {}};
    std::map<std::string, Group> index;
    for (const auto& base : dirs_.base) {
        const std::string root = base + "/" + name;
        if (index.empty() && isFile(root + "/index.theme"))
            index = Platform::readKeyFile(root + "/index.theme");
        std::error_code ignored;
        if (std::filesystem::is_directory(root, ignored))
            theme.roots.push_back(root);
    }
    const auto main = index.find("Icon Theme");
    if (main == index.end())
        return;
    std::vector<std::string> names = splitList(main->second["Directories"]);
    for (const auto& scaled : splitList(main->second["ScaledDirectories"]))
        names.push_back(scaled);
    for (const auto& path : names) {
        const auto found = index.find(path);
        if (found == index.end())
            continue;
        const Group& group = found->second;
        Subdir dir;
        dir.path = path;
        dir.size = number(group, "Size", 0);
        dir.scale = number(group, "Scale", 1);
        dir.minSize = number(group, "MinSize", dir.size);
        dir.maxSize = number(group, "MaxSize", dir.size);
        dir.threshold = number(group, "Threshold", 2);
        const std::string type = group.count("Type") ? group.at("Type") : "Threshold";
        dir.type = type == "Fixed"      ? Type::fixed
                   : type == "Scalable" ? Type::scalable
                                        : Type::threshold;
        if (dir.size > 0)
            theme.subdirs.push_back(dir);
    }
    const std::vector<std::string> parents = splitList(main->second["Inherits"]);
    themes_.push_back(std::move(theme));
    for (const auto& parent : parents)
        addTheme(parent, seen);
}

bool IconTheme::matchesSize(const Subdir& dir, int32_t size, int32_t scale) {
    if (dir.scale != scale)
        return false;
    switch (dir.type) {
    case Type::fixed:
        return dir.size == size;
    case Type::scalable:
        return dir.minSize <= size && size <= dir.maxSize;
    case Type::threshold:
        return dir.size - dir.threshold <= size && size <= dir.size + dir.threshold;
    }
    return false;
}

int32_t IconTheme::sizeDistance(const Subdir& dir, int32_t size, int32_t scale) {
    const int64_t wanted = int64_t(size) * scale;
    int64_t low = int64_t(dir.size) * dir.scale;
    int64_t high = low;
    if (dir.type == Type::scalable) {
        low = int64_t(dir.minSize) * dir.scale;
        high = int64_t(dir.maxSize) * dir.scale;
    } else if (dir.type == Type::threshold) {
        low = int64_t(dir.size - dir.threshold) * dir.scale;
        high = int64_t(dir.size + dir.threshold) * dir.scale;
    }
    const int64_t distance = wanted < low ? low - wanted : wanted > high ? wanted - high : 0;
    return static_cast<int32_t>(std::min<int64_t>(distance, INT32_MAX));
}

std::string IconTheme::findIcon(const std::string& iconName, int32_t size, int32_t scale) const {
    if (iconName.empty() || iconName.find('/') != std::string::npos)
        return {};
    for (const auto& theme : themes_) {
        std::string path = lookup(theme, iconName, size, scale);
        if (!path.empty())
            return path;
    }
    for (const auto& dir : dirs_.pixmaps) {
        std::string path = existing(dir, iconName);
        if (!path.empty())
            return path;
    }
    return {};
}

std::string IconTheme::lookup(const Theme& theme, const std::string& iconName, int32_t size,
                              int32_t scale) const {
    // A folder drawn for exactly this size comes before scalable ones that
    // also match, whatever the order the theme lists them in.
    for (const auto& dir : theme.subdirs) {
        if (dir.type == Type::scalable || dir.size != size || !matchesSize(dir, size, scale))
            continue;
        if (std::string path = inFolder(theme, dir, iconName); !path.empty())
            return path;
    }
    for (const auto& dir : theme.subdirs) {
        if (!matchesSize(dir, size, scale))
            continue;
        if (std::string path = inFolder(theme, dir, iconName); !path.empty())
            return path;
    }
    std::string closest;
    int32_t best = INT32_MAX;
    for (const auto& dir : theme.subdirs) {
        const int32_t distance = sizeDistance(dir, size, scale);
        if (distance >= best)
            continue;
        if (std::string path = inFolder(theme, dir, iconName); !path.empty()) {
            closest = std::move(path);
            best = distance;
        }
    }
    return closest;
}

std::string IconTheme::inFolder(const Theme& theme, const Subdir& dir,
                                const std::string& iconName) const {
    for (const auto& root : theme.roots) {
        std::string path = existing(root + "/" + dir.path, iconName);
        if (!path.empty())
            return path;
    }
    return {};
}

// Folders are listed once and kept: a lookup walks dozens of them.
std::string IconTheme::existing(const std::string& folder, const std::string& iconName) const {
    Mutex::Lock lock(mutex_);
    auto it = listings_.find(folder);
    if (it == listings_.end()) {
        std::set<std::string> names;
        std::error_code error;
        for (std::filesystem::directory_iterator entries(folder, error), end;
             !error && entries != end; entries.increment(error))
            names.insert(entries->path().filename().string());
        it = listings_.emplace(folder, std::move(names)).first;
    }
    for (const auto& extension : extensions_) {
        const std::string file = iconName + "." + extension;
        if (it->second.count(file))
            return folder + "/" + file;
    }
    return {};
}

QImage IconTheme::readIcon(const std::string& path, int32_t size) {
    QImageReader reader(QString::fromStdString(path));
    // Vector icons are drawn at the size, not scaled from a default one.
    if (size > 0 && (reader.format() == "svg" || reader.format() == "svgz"))
        reader.setScaledSize(QSize(size, size));
    return reader.read();
}

} // namespace Gui
