#include "gui/ImageList.h"

#include "core/Logger.h"

#include <cmath>

namespace Gui {

namespace {

int32_t nominalSize(int32_t number) {
    switch (number) {
    case ImageList::small:
    case ImageList::systemSmall:
        return 16;
    case ImageList::large:
        return 32;
    case ImageList::extraLarge:
        return 48;
    case ImageList::jumbo:
        return 256;
    default:
        return 0;
    }
}

} // namespace

bool ImageList::init(int32_t number, std::shared_ptr<const IconTheme> theme, double scale) {
    Mutex::Lock lock(mutex_);
    theme_.reset();
    size_ = 0;
    indexes_.clear();
    images_.clear();
    wstr message;
    const int32_t nominal = nominalSize(number);
    if (nominal == 0 || !theme) {
        logMessage(Logger::Error,
                   wstr::format(message, L"Failed to get shell's image list #{} (HRESULT {:#08X})!",
                                number, 0x80070057u));
        return false;
    }
    const double scaled = std::round(nominal * scale);
    if (!(scaled > 0 && scaled <= 4096)) {
        const int32_t shown =
            std::isfinite(scaled) && std::abs(scaled) < 1e9 ? static_cast<int32_t>(scaled) : 0;
        logMessage(Logger::Error,
                   wstr::format(message,
                                L"Unexpected icon size for the shell's image list #{} ({}x{})!",
                                number, shown, shown));
        return false;
    }
    size_ = static_cast<int32_t>(scaled);
    theme_ = std::move(theme);
    return true;
}

int32_t ImageList::indexOf(const std::vector<std::string>& iconNames) {
    if (!valid())
        return -1;
    for (const auto& name : iconNames) {
        if (name.empty())
            continue;
        const int32_t index = add(name);
        if (index >= 0)
            return index;
    }
    return -1;
}

// Rendering happens outside the lock: the user-interface thread draws
// from the list meanwhile. Two threads adding the same name at once would
// both render it; only the images thread adds.
int32_t ImageList::add(const std::string& iconName) {
    {
        Mutex::Lock lock(mutex_);
        if (auto it = indexes_.find(iconName); it != indexes_.end())
            return it->second;
    }
    const std::string path = theme_->findIcon(iconName, size_);
    Bitmap bitmap =
        path.empty() ? nullptr : toBitmap(IconTheme::readIcon(path, size_), size_, size_);
    Mutex::Lock lock(mutex_);
    if (!bitmap)
        return indexes_[iconName] = -1;
    images_.push_back(std::move(bitmap));
    return indexes_[iconName] = static_cast<int32_t>(images_.size() - 1);
}

Bitmap ImageList::image(int32_t index) const {
    Mutex::Lock lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= images_.size())
        return nullptr;
    return images_[index];
}

} // namespace Gui
