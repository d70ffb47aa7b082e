#include "packages/PackageHost.h"

#include <atomic>

namespace {

std::atomic<std::shared_ptr<PackageHost>>& installed() {
    static std::atomic<std::shared_ptr<PackageHost>> host;
    return host;
}

} // namespace

std::shared_ptr<PackageHost> PackageHost::instance() {
    return installed().load();
}

void PackageHost::setInstance(std::shared_ptr<PackageHost> host) {
    installed().store(std::move(host));
}
