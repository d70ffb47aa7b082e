#include "packages/Plugin.h"

#include "catalog/Catalog.h"
#include "catalog/PluginFullName.h"
#include "core/Hash.h"
#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/PackageManager.h"
#include "packages/PluginMsg.h"

namespace {

std::shared_ptr<PackageManager> packageManager() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host ? host->packageManager() : nullptr;
}

std::shared_ptr<Catalog> catalog() {
    std::shared_ptr<PackageHost> host = PackageHost::instance();
    return host ? host->catalog() : nullptr;
}

} // namespace

Plugin::Plugin(const wstr& fullName) {
    if (fullName.empty() || !PackageHost::instance())
        return;
    id_ = parseFullName(fullName, packageName_);
    if (id_ != 0)
        fullName_ = fullName;
}

uint32_t Plugin::nameHash(const wstr& text) {
    const uint32_t hash = hashWstr32(text);
    return hash < 2 ? 2 : hash;
}

uint64_t Plugin::parseFullName(const wstr& name, wstr& packageName) {
    return parsePluginFullName(name, &packageName);
}

std::shared_ptr<Package> Plugin::package() const {
    std::shared_ptr<PackageManager> manager = packageManager();
    return manager ? manager->findPackage(packageId(), revision_) : nullptr;
}

void Plugin::markObsolete() {
    Mutex::Lock lock(mutex_);
    obsolete_ = true;
    for (const auto& [kind, sequence] : sequences_)
        cancelledKinds_.insert(kind);
}

bool Plugin::isObsolete() const {
    Mutex::Lock lock(mutex_);
    return obsolete_;
}

// The caller's state is asked without the plugin's lock: it takes the lock
// of the plugin whose task the thread runs, which may be another one.
bool Plugin::shouldTerminate(bool aboutCaller) {
    if (isObsolete())
        return true;
    if (!aboutCaller)
        return false;
    std::shared_ptr<PackageManager> manager = packageManager();
    return manager && manager->callerState() == PackageManager::callerShouldTerminate;
}

uint64_t Plugin::nextSequence(uint32_t kind) {
    Mutex::Lock lock(mutex_);
    cancelledKinds_.erase(kind);
    uint64_t& sequence = sequences_[kind];
    if (++sequence == 0)
        ++sequence;
    return sequence;
}

bool Plugin::isCurrent(uint32_t kind, uint64_t sequence) const {
    Mutex::Lock lock(mutex_);
    if (sequence == 0 || cancelledKinds_.count(kind) != 0)
        return false;
    auto found = sequences_.find(kind);
    return found != sequences_.end() && found->second == sequence;
}

bool Plugin::mayChangeCatalog(bool needsPackage) const {
    std::shared_ptr<PackageManager> manager = packageManager();
    if (!manager || (needsPackage && !package()))
        return false;
    std::shared_ptr<PackageTask> task;
    if (manager->callerState(&task) != PackageManager::callerCurrent)
        return false;
    auto msg = std::dynamic_pointer_cast<PluginMsg>(task);
    return msg && msg->pluginId() == id_;
}

void Plugin::updateCatalog(const std::vector<CatalogItemPtr>& items, bool replace) {
    std::shared_ptr<Catalog> target = catalog();
    if (target && mayChangeCatalog(true))
        target->insertPluginItems(*this, items, replace);
}

void Plugin::setSuggestions(const std::vector<CatalogItemPtr>& items, uint32_t matchMethod,
                            uint32_t sortMethod) {
    std::shared_ptr<Catalog> target = catalog();
    if (target && mayChangeCatalog(true))
        target->setSuggestions(*this, items, matchMethod, sortMethod);
}

uint64_t Plugin::setActions(uint32_t category, const std::vector<CatalogActionPtr>& actions) {
    std::shared_ptr<Catalog> target = catalog();
    if (!target || !mayChangeCatalog(false))
        return 0;
    return target->setPluginActions(*this, category, actions);
}

void Plugin::clearActions(uint32_t category) {
    std::shared_ptr<Catalog> target = catalog();
    if (target && mayChangeCatalog(false))
        target->setPluginActions(*this, category, {});
}

void Plugin::clearAllActions() {
    std::shared_ptr<Catalog> target = catalog();
    if (!target || !mayChangeCatalog(false))
        return;
    if (target->removePluginActions(id_) != 0)
        Catalog::notifyChanged(Catalog::actionsChanged);
}
