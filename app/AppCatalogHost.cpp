#include "app/AppCatalogHost.h"

#include "app/App.h"

void AppCatalogHost::setTimer(uint32_t id, uint32_t delayMs) {
    if (auto app = app_.lock())
        app->setTimer(id, delayMs);
}

std::set<uint64_t> AppCatalogHost::knownIds() {
    return {};
}

std::optional<wstr> AppCatalogHost::pluginFullName(uint64_t) {
    return std::nullopt;
}
