#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QImage>

#include "core/Mutex.h"

// A freedesktop icon theme, looked up by hand from its index.theme files:
// the theme, the themes it inherits (depth first, in the order listed), then
// "hicolor", then the plain pixmap folders. This stands where QIcon's theme
// lookup would, because that one may only be used on the user-interface
// thread and the images thread must find icons by itself. Paths are UTF-8.
// Immutable once built, apart from a cache of folder listings under its own
// lock: any thread.
namespace Gui {

class IconTheme {
public:
    // Where themes and plain pixmaps are looked for, in precedence order.
    struct Dirs {
        std::vector<std::string> base;    // each holds one folder per theme
        std::vector<std::string> pixmaps; // icons by file name, no themes
    };

    // $HOME/.icons, $XDG_DATA_HOME/icons and icons below every
    // $XDG_DATA_DIRS folder; pixmaps: pixmaps below the system data folders.
    static Dirs xdgDirs();

    // Reads the index.theme of the theme and of every theme it inherits;
    // a theme found in no base folder is skipped. An empty name is "hicolor".
    IconTheme(const std::string& name, Dirs dirs);
    IconTheme(const IconTheme&) = delete;
    IconTheme& operator=(const IconTheme&) = delete;

    const std::string& name() const { return name_; }
    // The themes searched, in order ("hicolor" last when it was found).
    std::vector<std::string> chain() const;

    // The file of the icon for size x scale: in each theme of the chain a
    // folder of exactly that size first, then one whose range matches (a
    // scalable one), else the folder of the closest size; then the pixmap
    // folders. In a folder a PNG comes before an SVG or SVGZ (read when Qt's
    // image plug-in for them is installed) and an XPM. Empty when no theme
    // has the icon.
    std::string findIcon(const std::string& iconName, int32_t size, int32_t scale = 1) const;

    // Reads the icon file at size x size (SVG and SVGZ drawn at that size);
    // size 0 reads it at its natural size. Null on failure. Any thread.
    static QImage readIcon(const std::string& path, int32_t size);

private:
    enum class Type { fixed, scalable, threshold };
    struct Subdir {
        std::string path; // relative to the theme folder
        Type type = Type::threshold;
        int32_t size = 0;
        int32_t scale = 1;
        int32_t minSize = 0;
        int32_t maxSize = 0;
        int32_t threshold = 2;
    };
    struct Theme {
        std::string name;
        std::vector<std::string> roots; // base/name for each base that has it
        std::vector<Subdir> subdirs;
    };

    void addTheme(const std::string& name, std::set<std::string>& seen);
    static bool matchesSize(const Subdir& dir, int32_t size, int32_t scale);
    static int32_t sizeDistance(const Subdir& dir, int32_t size, int32_t scale);
    std::string lookup(const Theme& theme, const std::string& iconName, int32_t size,
                       int32_t scale) const;
    std::string inFolder(const Theme& theme, const Subdir& dir, const std::string& iconName) const;
    std::string existing(const std::string& folder, const std::string& iconName) const;

    std::string name_;
    Dirs dirs_;
    std::vector<Theme> themes_;
    std::vector<std::string> extensions_;
    mutable Mutex mutex_;
    mutable std::map<std::string, std::set<std::string>> listings_;
};

} // namespace Gui
