#include "packages/PackageInternal.h"

#include "core/Logger.h"
#include "packages/PluginAbout.h"

PackageInternal::PackageInternal(uint64_t revision) : Package(packageName(), revision) {}

const wstr& PackageInternal::packageName() {
    static const wstr name = L"Internal";
    return name;
}

bool PackageInternal::load() {
    auto about = std::make_shared<PluginAbout>();
    if (about->id() == 0)
        return false;
    about->setRevision(revision());
    addPlugin(about);
    wstr message;
    logMessage(Logger::Info, wstr::format(message, L"Plugin loaded: {}", about->fullName()));
    return true;
}
