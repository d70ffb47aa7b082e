#include "catalog/CatalogItem.h"
#include "core/Path.h"
#include "core/ShellLink.h"
#include "core/SysCommandLine.h"
#include "core/SysFile.h"
#include "gui/IconLocation.h"
#include "gui/ImageManager.h"
#include "platform/DesktopEntry.h"
#include "platform/MimeApps.h"

#include <QMimeDatabase>

// How the images thread finds an icon. The order of the ways, first success
// winning, follows the desktop's own: what a desktop entry points to, a
// folder, the icon of the file type by name, the entry's Icon key, the
// type's icon at any size or its default application's, and last the type
// found from the file's content.
namespace {

// Icons of size 0 are looked up in the theme at this size and kept at
// their natural size.
constexpr int32_t kNaturalLookupSize = 256;
// Desktop entries followed at most for one item.
constexpr int kMaxLinkHops = 3;

QString qtPath(const wstr& path) {
    return QString::fromStdWString(path);
}

bool isDesktopEntry(const wstr& path) {
    return wstr::endsWithAny(path, {L".desktop"}) == 0;
}

// A desktop entry's own type says nothing about its icon, which is per file.
bool typeTellsIcon(const QMimeType& type) {
    return type.isValid() && !type.isDefault() && type.name() != "application/x-desktop";
}

std::vector<std::string> iconNamesOf(const QMimeType& type) {
    return {type.iconName().toStdString(), type.genericIconName().toStdString()};
}

} // namespace

std::shared_ptr<const Gui::IconTheme> ImageManager::currentTheme() {
    Mutex::Lock lock(mutex_);
    return theme_;
}

std::shared_ptr<Gui::ImageList> ImageManager::listOfSize(int32_t size) {
    Mutex::Lock lock(mutex_);
    const auto found = systemLists_.find(size);
    return found == systemLists_.end() ? nullptr : found->second;
}

ImageManager::IconPtr ImageManager::bitmapIcon(Bitmap bitmap, int32_t size) {
    if (!bitmap)
        return nullptr;
    auto icon = std::make_shared<IconHandle>();
    icon->size = size > 0 ? size : bitmap->width();
    icon->bitmap = std::move(bitmap);
    return icon;
}

// A theme icon at a list's size is an entry of that list, shared by every
// item of the type; at other sizes it is drawn for the item.
ImageManager::IconPtr ImageManager::themeIcon(const std::vector<std::string>& names, int32_t size) {
    if (auto list = size > 0 ? listOfSize(size) : nullptr) {
        const int32_t index = list->indexOf(names);
        if (index < 0)
            return nullptr;
        auto icon = std::make_shared<IconHandle>();
        icon->size = list->size();
        icon->list = list;
        icon->index = index;
        return icon;
    }
    const auto theme = currentTheme();
    for (const auto& name : names) {
        const std::string path = theme->findIcon(name, size > 0 ? size : kNaturalLookupSize);
        if (path.empty())
            continue;
        if (IconPtr icon =
                bitmapIcon(Gui::toBitmap(Gui::IconTheme::readIcon(path, size), size, size), size))
            return icon;
    }
    return nullptr;
}

// An Icon key: a file by its absolute path, else a theme icon's name (an
// image extension written after the name is dropped, as old entries do).
ImageManager::IconPtr ImageManager::iconOfLocation(const wstr& location, int32_t size) {
    if (location.empty())
        return nullptr;
    if (location.front() == L'/') {
        Bitmap bitmap = Gui::loadImageFromModule(location, size, size);
        if (!bitmap)
            bitmap =
                Gui::toBitmap(Gui::IconTheme::readIcon(wstr::toUtf8(location), size), size, size);
        return bitmapIcon(std::move(bitmap), size);
    }
    if (location.find(L'/') != wstr::npos)
        return nullptr;
    wstr name = location;
    if (wstr::endsWithAny(name, {L".png", L".svg", L".xpm"}) >= 0)
        name.resize(name.size() - 4);
    return themeIcon({wstr::toUtf8(name)}, size);
}

ImageManager::IconPtr ImageManager::mimeListIcon(const wstr& path, int32_t size) {
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(qtPath(path), QMimeDatabase::MatchExtension);
    return typeTellsIcon(type) ? themeIcon(iconNamesOf(type), size) : nullptr;
}

ImageManager::IconPtr ImageManager::typeIcon(const wstr& path, bool byContent, int32_t size) {
    const QMimeType type =
        byContent ? QMimeDatabase().mimeTypeForFile(qtPath(path))
                  : QMimeDatabase().mimeTypeForFile(qtPath(path), QMimeDatabase::MatchExtension);
    if (!type.isValid() || (!byContent && !typeTellsIcon(type)))
        return nullptr;
    return themeIcon(iconNamesOf(type), size);
}

ImageManager::IconPtr ImageManager::desktopEntryIcon(const std::string& desktopFile, int32_t size) {
    Platform::DesktopEntry entry;
    if (!entry.load(desktopFile))
        return nullptr;
    return iconOfLocation(wstr::fromUtf8(entry.value("Icon").c_str()), size);
}

ImageManager::IconPtr ImageManager::defaultAppIcon(const wstr& path, int32_t size) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(qtPath(path));
    if (!type.isValid())
        return nullptr;
    for (const auto& file : Platform::mimeapps::defaultApplications(type.name().toStdString())) {
        if (IconPtr icon = desktopEntryIcon(file, size))
            return icon;
    }
    return nullptr;
}

ImageManager::IconPtr ImageManager::resolveFileIcon(const CatalogItem& item, int32_t size,
                                                    bool& plainFolder) {
    const wstr& target = item.target();
    wstr path = target;
    wstr location;
    for (int hop = 0; hop < kMaxLinkHops && isDesktopEntry(path); ++hop) {
        Sys::ShellLink link;
        Sys::loadShellLink(link, path);
        if (!link.loaded()) {
            path = target;
            break;
        }
        // The first Icon met along the chain wins.
        if (location.empty())
            location = link.iconPath();
        const wstr next = Sys::resolveMsiShortcut(link);
        if (next.empty())
            break;
        path = next;
        if (Sys::isDirectory(path) < 0)
            break;
    }
    plainFolder = Sys::isDirectory(path) == 1;
    if (plainFolder && size >= 1) {
        Mutex::Lock lock(mutex_);
        if (const auto found = folderIcons_.find(size); found != folderIcons_.end())
            return found->second;
    }
    IconPtr icon;
    if (!plainFolder && size >= 1 && listOfSize(size)) {
        icon = mimeListIcon(target, size);
        if (!icon && path != target && Sys::isDirectory(path) == 0)
            icon = mimeListIcon(path, size);
    }
    if (!icon && !location.empty())
        icon = iconOfLocation(location, size);
    if (!icon && plainFolder)
        icon = themeIcon(iconNamesOf(QMimeDatabase().mimeTypeForName("inode/directory")), size);
    if (!icon && !plainFolder)
        icon = typeIcon(path, false, size);
    if (!icon && !plainFolder)
        icon = defaultAppIcon(path, size);
    if (!icon && !plainFolder)
        icon = typeIcon(path, true, size);
    if (icon)
        return icon;
    Mutex::Lock lock(mutex_);
    iconlessFiles_.insert(item.baseId());
    return nullptr;
}

ImageManager::IconPtr ImageManager::resolvePackageIcon(const CatalogItem& item, int32_t size) {
    const auto packageIcon = host_->itemPackageIcon(item.pluginId(), item.iconHandle());
    if (!packageIcon || packageIcon->id() == 0)
        return nullptr;
    const Bitmap bitmap = packageIcon->getIcon(size);
    if (!bitmap)
        return nullptr;
    auto icon = std::make_shared<IconHandle>();
    icon->size = size > 0 ? size : bitmap->width();
    icon->packageIconId = packageIcon->id();
    return icon;
}

bool ImageManager::hasUrlIcon(const wstr& key, int32_t size) {
    Mutex::Lock lock(mutex_);
    const auto entry = urlIcons_.find(key);
    return entry != urlIcons_.end() && entry->second.count(size) != 0;
}

void ImageManager::storeUrlIcon(const wstr& key, int32_t size, const IconPtr& icon) {
    Mutex::Lock lock(mutex_);
    auto& sizes = urlIcons_[key];
    sizes[size] = icon;
    if (size == 0 && icon->size > 0)
        sizes[icon->size] = icon;
    urlFailures_.erase(key);
}

// The configured web browser: a desktop entry, or a program whose desktop
// entry or theme icon is named after it.
bool ImageManager::resolveBrowserIcon(int32_t size) {
    const wstr command = host_->webBrowser();
    {
        Mutex::Lock lock(mutex_);
        if (browserCommand_.empty())
            browserCommand_ = command;
    }
    if (hasUrlIcon(L"http", size))
        return true;
    const wstr program = wstr::trimCopy(command).empty() ? wstr() : Sys::firstArgument(command);
    if (program.empty())
        return false;
    IconPtr icon;
    if (isDesktopEntry(program)) {
        icon = desktopEntryIcon(wstr::toUtf8(program), size);
    } else {
        const std::string name = wstr::toUtf8(Path::fileName(program));
        const std::string desktopFile = Platform::mimeapps::findApplication(name + ".desktop");
        if (!desktopFile.empty())
            icon = desktopEntryIcon(desktopFile, size);
        if (!icon)
            icon = themeIcon({name}, size);
    }
    if (!icon)
        return false;
    storeUrlIcon(L"http", size, icon);
    return true;
}

// The scheme's default applications (x-scheme-handler) in order; each one
// that gives no icon is remembered, and so is the key when none does.
bool ImageManager::resolveUrlIcon(const wstr& key, int32_t size) {
    if (key == L"http" && resolveBrowserIcon(size))
        return true;
    const auto handlers =
        Platform::mimeapps::defaultApplications("x-scheme-handler/" + wstr::toUtf8(key));
    for (const auto& file : handlers) {
        const wstr candidate = wstr::fromUtf8(file.c_str());
        {
            Mutex::Lock lock(mutex_);
            if (urlFailures_.count(candidate))
                continue;
        }
        if (hasUrlIcon(key, size))
            return false;
        if (IconPtr icon = desktopEntryIcon(file, size)) {
            storeUrlIcon(key, size, icon);
            return true;
        }
        Mutex::Lock lock(mutex_);
        urlFailures_.insert(candidate);
    }
    Mutex::Lock lock(mutex_);
    urlFailures_.insert(key);
    return false;
}
