#include "catalog/CatalogHost.h"

#include <atomic>

namespace {

std::atomic<std::shared_ptr<CatalogHost>>& installed() {
    static std::atomic<std::shared_ptr<CatalogHost>> host;
    return host;
}

} // namespace

std::shared_ptr<CatalogHost> CatalogHost::instance() {
    return installed().load();
}

void CatalogHost::setInstance(std::shared_ptr<CatalogHost> host) {
    installed().store(std::move(host));
}
