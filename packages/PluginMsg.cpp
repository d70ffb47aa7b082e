#include "packages/PluginMsg.h"

#include "packages/Package.h"
#include "packages/PackageHost.h"
#include "packages/Plugin.h"
#include "platform/BatchScheduling.h"

#include <fmt/format.h>

namespace {

const PluginMsg::KindInfo* findKind(uint32_t kind) {
    for (const PluginMsg::KindInfo& info : PluginMsg::kinds()) {
        if (info.id == kind)
            return &info;
    }
    return nullptr;
}

const std::string& emptyName() {
    static const std::string name;
    return name;
}

bool isActivation(uint32_t kind) {
    return kind == PluginMsg::kindActivated || kind == PluginMsg::kindDeactivated;
}

} // namespace

const std::vector<PluginMsg::KindInfo>& PluginMsg::kinds() {
    static const std::vector<KindInfo> table = {
        {kindStart, "start", false},         {kindCatalog, "catalog", false},
        {kindSuggest, "suggest", true},      {kindExecute, "execute", true},
        {kindActivated, "activated", false}, {kindDeactivated, "deactivated", false},
        {kindEvents, "events", true},
    };
    return table;
}

const std::string& PluginMsg::kindName(uint32_t kind) {
    const KindInfo* info = findKind(kind);
    return info ? info->name : emptyName();
}

std::shared_ptr<PluginMsg> PluginMsg::create(const std::shared_ptr<Package>& package,
                                             const std::shared_ptr<Plugin>& plugin, uint32_t kind,
                                             const Data& data) {
    if (!package || !plugin || package->isUnloaded())
        return nullptr;
    return std::make_shared<PluginMsg>(package, plugin, kind, data, 0);
}

PluginMsg::PluginMsg(const std::shared_ptr<Package>& package, const std::shared_ptr<Plugin>& plugin,
                     uint32_t kind, const Data& data, uint32_t delayMs)
    : PackageTask(package, delayMs, plugin), kindName_(&emptyName()) {
    pluginId_ = plugin ? plugin->id() : 0;
    const KindInfo* info = findKind(kind);
    if (pluginId_ == 0 || !info)
        return;
    switch (kind) {
    case kindEvents:
        flags_ = data.flags;
        break;
    case kindExecute:
        if (!data.item)
            return;
        items_.push_back(data.item);
        action_ = data.action;
        break;
    case kindSuggest:
        if (!PackageHost::instance())
            return;
        text_ = data.text;
        items_ = data.items;
        break;
    default:
        break;
    }
    kind_ = kind;
    kindName_ = &info->name;
}

std::string PluginMsg::describe() const {
    const std::shared_ptr<Plugin> owner = plugin().lock();
    const std::string name = owner ? wstr::toUtf8(owner->fullName()) : "an unloaded plugin";
    return fmt::format("{}.on_{} (instance #{})", name, kindName(), packageRevision());
}

bool PluginMsg::isValid() const {
    return pluginId_ != 0 && kind_ != 0 && !kindName_->empty();
}

bool PluginMsg::isSameAs(const PackageTask& other) const {
    auto msg = dynamic_cast<const PluginMsg*>(&other);
    return msg && PackageTask::isSameAs(other) && pluginId_ == msg->pluginId_ &&
           kind_ == msg->kind_;
}

bool PluginMsg::merge(PackageTask& other) {
    auto msg = dynamic_cast<PluginMsg*>(&other);
    if (!msg || !isSameAs(*msg))
        return false;
    switch (kind_) {
    case kindStart:
    case kindCatalog:
    case kindActivated:
    case kindDeactivated:
        break;
    case kindSuggest:
        text_ = msg->text_;
        items_ = msg->items_;
        break;
    case kindExecute:
        if (!mergeExecution(*msg))
            return false;
        break;
    case kindEvents:
        flags_ |= msg->flags_;
        break;
    default:
        return false;
    }
    PackageTask::merge(other);
    return true;
}

// The same item with the same arguments (the item id covers them) and the
// same action, or no action in both.
bool PluginMsg::mergeExecution(const PluginMsg& other) const {
    const CatalogItemPtr& item = items_.front();
    const CatalogItemPtr& otherItem = other.items_.front();
    if (item->id() != otherItem->id())
        return false;
    if (!action_ || !other.action_)
        return !action_ && !other.action_;
    return action_->id() == other.action_->id();
}

bool PluginMsg::mustWaitFor(const PackageTask& running) const {
    auto msg = dynamic_cast<const PluginMsg*>(&running);
    if (!msg || !PackageTask::isSameAs(running) || pluginId_ != msg->pluginId_)
        return false;
    const uint32_t pending = kind_;
    const uint32_t active = msg->kind_;
    if (pending == kindStart || active == kindStart)
        return true;
    if (pending == kindEvents || active == kindEvents)
        return true;
    if (pending == kindCatalog)
        return active == kindCatalog;
    return isActivation(pending) && isActivation(active);
}

void PluginMsg::execute() {
    std::shared_ptr<Plugin> target = plugin().lock();
    if (!target || target->shouldTerminate(true))
        return;
    if (kind_ != kindCatalog) {
        target->dispatchEvent(*this);
        return;
    }
    Platform::BatchSchedulingScope background;
    target->dispatchEvent(*this);
}

namespace PackageKeys {

const wstr& iconSchemeResource() {
    static const wstr key = L"res";
    return key;
}

const wstr& iconSchemeCache() {
    static const wstr key = L"cache";
    return key;
}

const wstr& packConfigPrefix() {
    static const wstr key = L"pack_config ";
    return key;
}

const wstr& packRefreshPrefix() {
    static const wstr key = L"pack_refresh ";
    return key;
}

} // namespace PackageKeys

wstr formatPluginId(uint32_t id) {
    if (id == 0)
        return L"None";
    if (id == 1)
        return L"App";
    wstr text;
    return wstr::format(text, L"{:#08x}", id);
}

wstr formatFullId(uint64_t id) {
    if (id == 0)
        return L"None";
    if (id == 0x100000001ull)
        return L"App";
    wstr text;
    return wstr::format(text, L"{}.{:#08x}", formatPluginId(static_cast<uint32_t>(id >> 32)),
                        static_cast<uint32_t>(id));
}
