#include "gui/ImageManager.h"

#include "catalog/CatalogItem.h"
#include "core/Logger.h"
#include "core/TextLocale.h"
#include "platform/Error.h"

#include <QPainter>

#include <algorithm>
#include <wctype.h>

namespace {

bool isSignalled(const Event::Handle& event) {
    return event && Event::waitAny({event}, 0) == Platform::WAIT_OBJECT_0;
}

uint32_t packageIdOf(uint64_t id) {
    return static_cast<uint32_t>(id >> 32);
}

} // namespace

uint32_t ImageManager::Host::wait(std::span<const Event::Handle> handles, uint32_t timeoutMs) {
    return Event::waitAny(handles, timeoutMs);
}

std::shared_ptr<ImageManager> ImageManager::create(std::shared_ptr<Host> host) {
    std::shared_ptr<ImageManager> manager(new ImageManager(host));
    Thread::launch(manager->thread_, [weak = std::weak_ptr<ImageManager>(manager), host,
                                      queueEvent = manager->queueEvent_.handle()] {
        threadProc(weak, host, queueEvent);
    });
    return manager;
}

ImageManager::ImageManager(std::shared_ptr<Host> host) : host_(std::move(host)) {
    initSystemImageLists();
}

ImageManager::~ImageManager() {
    stop(destroyStopMs);
}

void ImageManager::stop(uint32_t timeoutMs) {
    if (thread_.running())
        Thread::stop(thread_, timeoutMs, true);
}

bool ImageManager::QueuedItem::sameRequest(const QueuedItem& other) const {
    const auto a = item.lock();
    const auto b = other.item.lock();
    if (!a || !b || size != other.size)
        return false;
    if (a == b)
        return true;
    if (a->category() != b->category())
        return false;
    return a->category() == CatalogItem::url ? key == other.key : a->id() == b->id();
}

ImageManager::Status ImageManager::requestIcon(const std::shared_ptr<CatalogItem>& item,
                                               int32_t size, bool atFront, Gui::Bitmap* image) {
    if (image)
        image->reset();
    IconPtr icon;
    Status status;
    {
        Mutex::Lock lock(mutex_);
        wstr key;
        status = lookup(item, size, icon, key);
        if (status == queued) {
            QueuedItem request{item, size, std::move(key)};
            const bool known = std::any_of(queue_.begin(), queue_.end(), [&](const auto& other) {
                return other.sameRequest(request);
            });
            if (!known) {
                if (atFront)
                    queue_.push_front(std::move(request));
                else
                    queue_.push_back(std::move(request));
                queueEvent_.set();
            }
        }
    }
    if (status != have || !image)
        return status;
    // Outside the lock: a package icon may read its files.
    *image = imageOf(*icon);
    return *image ? have : none;
}

// have with the icon, none, or queued when it must be resolved. Under the lock.
ImageManager::Status ImageManager::lookup(const std::shared_ptr<CatalogItem>& item, int32_t size,
                                          IconPtr& icon, wstr& key) {
    if (!item || size < 0)
        return none;
    if (item->category() == CatalogItem::url) {
        key = normalizeIconKey(item->target());
        if (urlFailures_.count(key))
            return none;
        const auto entry = urlIcons_.find(key);
        if (entry == urlIcons_.end())
            return queued;
        const auto found = entry->second.find(size);
        if (found == entry->second.end())
            return queued;
        icon = found->second;
        return have;
    }
    const auto found = itemIcons_.find({item->baseId(), size});
    if (found != itemIcons_.end()) {
        // An entry of a list that a reset replaced while it was being resolved.
        if (found->second->isListEntry() && found->second->list.expired()) {
            itemIcons_.erase(found);
            return queued;
        }
        icon = found->second;
        return have;
    }
    const bool failed = item->category() == CatalogItem::file
                            ? iconlessFiles_.count(item->baseId()) != 0
                            : iconlessItems_.count(item->baseId()) != 0;
    return failed ? none : queued;
}

ImageManager::Status ImageManager::drawItemIcon(const std::shared_ptr<CatalogItem>& item,
                                                int32_t size, uint32_t flags, QPainter& painter,
                                                int32_t x, int32_t y) {
    Gui::Bitmap bitmap;
    const Status status = requestIcon(item, size, false, &bitmap);
    if (status != have)
        return status;
    return Gui::alphaBlendBitmap(bitmap, painter, x, y, 0, 0, flags) ? have : none;
}

Gui::Bitmap ImageManager::imageOf(const IconHandle& icon) const {
    if (icon.bitmap)
        return icon.bitmap;
    if (icon.packageIconId != 0) {
        const auto packageIcon = host_->findPackageIcon(icon.packageIconId);
        return packageIcon ? packageIcon->getIcon(icon.size) : nullptr;
    }
    const auto list = icon.list.lock();
    return list ? list->image(icon.index) : nullptr;
}

void ImageManager::initSystemImageLists() {
    IconSetup setup = host_->iconSetup();
    auto theme = std::make_shared<const Gui::IconTheme>(setup.themeName, std::move(setup.dirs));
    Mutex::Lock lock(mutex_);
    theme_ = theme;
    systemLists_.clear();
    for (const int32_t number :
         {Gui::ImageList::small, Gui::ImageList::systemSmall, Gui::ImageList::large,
          Gui::ImageList::extraLarge, Gui::ImageList::jumbo}) {
        auto list = std::make_shared<Gui::ImageList>();
        if (list->init(number, theme, setup.scale))
            systemLists_.emplace(list->size(), std::move(list));
    }
}

void ImageManager::reset() {
    {
        Mutex::Lock lock(mutex_);
        itemIcons_.clear();
        iconlessFiles_.clear();
        iconlessItems_.clear();
        folderIcons_.clear();
        urlIcons_.clear();
        urlFailures_.clear();
        browserCommand_.clear();
    }
    initSystemImageLists();
    host_->setTimer(timerIcons, 0);
}

void ImageManager::onConfigChanged() {
    const wstr command = host_->webBrowser();
    {
        Mutex::Lock lock(mutex_);
        if (command == browserCommand_)
            return;
        urlIcons_.erase(L"http");
        urlFailures_.erase(L"http");
        browserCommand_.clear();
    }
    host_->setTimer(timerIcons, 0);
}

void ImageManager::forgetPackage(uint32_t packageId) {
    size_t erased = 0;
    {
        Mutex::Lock lock(mutex_);
        erased += std::erase_if(itemIcons_, [&](const auto& entry) {
            const uint64_t id = entry.second->packageIconId;
            return id != 0 && packageIdOf(id) == packageId;
        });
        // A package loaded again may have the icons it lacked.
        std::erase_if(iconlessItems_, [&](const auto& entry) { return entry.second == packageId; });
    }
    if (erased)
        host_->setTimer(timerIcons, 0);
}

void ImageManager::forgetPackageIcon(uint64_t iconId) {
    size_t erased = 0;
    {
        Mutex::Lock lock(mutex_);
        erased = std::erase_if(
            itemIcons_, [&](const auto& entry) { return entry.second->packageIconId == iconId; });
    }
    if (erased)
        host_->setTimer(timerIcons, 0);
}

// Timer 10 is armed once no work came for quietMs after icons were
// resolved: a steady stream of work postpones it.
void ImageManager::threadProc(std::weak_ptr<ImageManager> weak, std::shared_ptr<Host> host,
                              Event::Handle queueEvent) {
    const Event::Handle handles[] = {Thread::currentStopEvent(), std::move(queueEvent)};
    uint32_t timeout = Platform::INFINITE;
    uint32_t resolved = 0;
    for (;;) {
        const uint32_t result = host->wait(handles, timeout);
        if (result == Platform::WAIT_OBJECT_0)
            return;
        if (result == Platform::WAIT_OBJECT_0 + 1) {
            if (auto self = weak.lock())
                resolved += self->processQueue();
            if (weak.expired())
                return;
            timeout = resolved ? quietMs : Platform::INFINITE;
        } else if (result == Platform::WAIT_TIMEOUT) {
            if (resolved)
                host->setTimer(timerIcons, 0);
            resolved = 0;
            timeout = Platform::INFINITE;
        } else {
            wstr message;
            logMessage(Logger::Error,
                       wstr::format(message,
                                    L"Images manager unexpectedly stopped (result {}; waitTime "
                                    L"{:#08x}; error {})",
                                    result, timeout, Platform::lastError()));
            return;
        }
    }
}

// Remote files wait for a second pass, so that local icons come first;
// timer 10 is armed when that pass starts.
uint32_t ImageManager::processQueue() {
    std::vector<QueuedItem> deferred;
    uint32_t resolved = 0;
    int pass = 0;
    const Event::Handle& stopEvent = Thread::currentStopEvent();
    for (;;) {
        QueuedItem request;
        bool notify = false;
        {
            Mutex::Lock lock(mutex_);
            if (queue_.empty()) {
                queueEvent_.reset();
                if (deferred.empty())
                    return resolved;
                queue_.insert(queue_.begin(), deferred.begin(), deferred.end());
                deferred.clear();
                ++pass;
                notify = resolved != 0;
            } else {
                request = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (notify) {
            host_->setTimer(timerIcons, 0);
            resolved = 0;
        }
        if (request.item.expired())
            continue;
        if (isSignalled(stopEvent))
            return resolved;
        if (auto item = request.item.lock())
            resolved += processOne(request, item, pass, deferred);
    }
}

uint32_t ImageManager::processOne(const QueuedItem& request,
                                  const std::shared_ptr<CatalogItem>& item, int pass,
                                  std::vector<QueuedItem>& deferred) {
    const int32_t size = request.size;
    if (item->category() == CatalogItem::url)
        return resolveUrlIcon(request.key, size) ? 1 : 0;
    if (item->category() != CatalogItem::file) {
        IconPtr icon = resolvePackageIcon(*item, size);
        if (!icon) {
            const uint64_t source = item->iconHandle() ? item->iconHandle() : item->pluginId();
            Mutex::Lock lock(mutex_);
            iconlessItems_[item->baseId()] = packageIdOf(source);
            return 0;
        }
        storeItemIcon(item->baseId(), size, icon);
        return 1;
    }
    {
        Mutex::Lock lock(mutex_);
        if (iconlessFiles_.count(item->baseId()))
            return 0;
    }
    if (pass == 0 && host_->isRemote(item->target())) {
        deferred.push_back(request);
        return 0;
    }
    bool plainFolder = false;
    IconPtr icon = resolveFileIcon(*item, size, plainFolder);
    if (!icon)
        return 0;
    if (plainFolder && size >= 1) {
        Mutex::Lock lock(mutex_);
        folderIcons_.emplace(size, icon);
    }
    storeItemIcon(item->baseId(), size, icon);
    return 1;
}

void ImageManager::storeItemIcon(uint64_t itemId, int32_t size, const IconPtr& icon) {
    Mutex::Lock lock(mutex_);
    itemIcons_[{itemId, size}] = icon;
    if (size == 0 && icon->size > 0)
        itemIcons_[{itemId, icon->size}] = icon;
}

// Letters are lowered and collected, digits and "+-." collected after a
// letter; blanks and control characters before the scheme are skipped and
// end it after; anything else is skipped.
wstr ImageManager::normalizeIconKey(const wstr& target) {
    const size_t colon = target.find(L':');
    if (colon == wstr::npos || colon == 0)
        return L"http";
    wstr key;
    for (size_t i = 0; i < colon; ++i) {
        const wchar_t c = target[i];
        const auto wc = static_cast<wint_t>(c);
        if (c <= L' ' || iswspace_l(wc, textLocale()) || iswcntrl_l(wc, textLocale())) {
            if (key.empty())
                continue;
            return L"http";
        }
        if (iswalpha_l(wc, textLocale())) {
            key += c;
            continue;
        }
        if ((c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.') {
            if (key.empty())
                return L"http";
            key += c;
        }
    }
    wstr::toLower(key);
    if (key.empty() || key == L"http" || key == L"https" || key == L"ftp")
        return L"http";
    return key;
}
