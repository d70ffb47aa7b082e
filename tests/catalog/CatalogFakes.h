#pragma once

#include "catalog/CatalogHost.h"
#include "catalog/CatalogItem.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace qvtest {

// Stands for the application and its package manager.
class FakeHost : public CatalogHost {
public:
    void setTimer(uint32_t id, uint32_t delayMs) override {
        std::lock_guard lock(mutex_);
        timers_.emplace_back(id, delayMs);
    }
    std::set<uint64_t> knownIds() override {
        probe();
        std::lock_guard lock(mutex_);
        return known_;
    }
    std::optional<wstr> pluginFullName(uint64_t pluginId) override {
        probe();
        std::lock_guard lock(mutex_);
        auto found = names_.find(pluginId);
        return found == names_.end() ? std::nullopt : std::optional<wstr>(found->second);
    }

    std::optional<uint64_t> pendingCatalogMessages() override {
        probe();
        return pendingCatalogMessages_.load();
    }

    void setPendingCatalogMessages(uint64_t count) { pendingCatalogMessages_ = count; }
    void setKnown(std::set<uint64_t> ids) {
        std::lock_guard lock(mutex_);
        known_ = std::move(ids);
    }
    void setName(uint64_t id, wstr name) {
        std::lock_guard lock(mutex_);
        names_[id] = std::move(name);
    }
    // Runs on every call that stands for the package manager.
    void setProbe(std::function<void()> probe) {
        std::lock_guard lock(mutex_);
        probe_ = std::move(probe);
    }
    int probeCalls() const { return probeCalls_; }
    std::vector<std::pair<uint32_t, uint32_t>> takeTimers() {
        std::lock_guard lock(mutex_);
        return std::exchange(timers_, {});
    }

private:
    void probe() {
        std::function<void()> probe;
        {
            std::lock_guard lock(mutex_);
            probe = probe_;
        }
        if (probe) {
            ++probeCalls_;
            probe();
        }
    }

    std::mutex mutex_;
    std::function<void()> probe_;
    std::atomic<int> probeCalls_ = 0;
    std::atomic<uint64_t> pendingCatalogMessages_ = 0;
    std::vector<std::pair<uint32_t, uint32_t>> timers_;
    std::set<uint64_t> known_;
    std::map<uint64_t, wstr> names_;
};

// Installs a FakeHost for the life of a test.
class HostScope {
public:
    HostScope() : host_(std::make_shared<FakeHost>()) { CatalogHost::setInstance(host_); }
    ~HostScope() { CatalogHost::setInstance(nullptr); }
    FakeHost& operator*() const { return *host_; }
    FakeHost* operator->() const { return host_.get(); }

private:
    std::shared_ptr<FakeHost> host_;
};

// A plugin; terminateAfter > 0 makes shouldTerminate answer true from that
// many calls on.
class FakePlugin : public CatalogPlugin {
public:
    explicit FakePlugin(uint64_t id, wstr name = L"Fake", bool internal = false)
        : id_(id), name_(std::move(name)), internal_(internal) {}

    uint64_t id() const override { return id_; }
    const wstr& name() const override { return name_; }
    bool isInternal() const override { return internal_; }
    bool shouldTerminate(bool aboutCaller) override {
        aboutCaller_ = aboutCaller;
        ++calls_;
        return terminateAfter_ > 0 && calls_ >= terminateAfter_;
    }

    void terminateAfter(int calls) { terminateAfter_ = calls; }
    int terminateCalls() const { return calls_; }
    bool askedAboutCaller() const { return aboutCaller_; }

    // A valid item of this plugin.
    CatalogItemPtr item(const wstr& label, const wstr& target, uint32_t category = CatalogItem::url,
                        uint32_t argsHint = CatalogItem::accepted) const {
        return std::make_shared<CatalogItem>(id_, category, label, L"", target, argsHint, false,
                                             CatalogItem::keepall, 0, L"");
    }

private:
    uint64_t id_;
    wstr name_;
    bool internal_;
    int terminateAfter_ = 0;
    int calls_ = 0;
    bool aboutCaller_ = false;
};

} // namespace qvtest
