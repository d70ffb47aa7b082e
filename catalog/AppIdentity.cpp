#include "catalog/AppIdentity.h"

#include <mutex>

namespace {

std::mutex& identityMutex() {
    static std::mutex mutex;
    return mutex;
}

AppIdentity& installed() {
    static AppIdentity identity;
    return identity;
}

} // namespace

wstr AppIdentity::versionString() const {
    wstr out;
    return wstr::format(out, L"{} ({})", version, revision.substr(0, 7));
}

AppIdentity AppIdentity::get() {
    std::lock_guard lock(identityMutex());
    return installed();
}

void AppIdentity::set(AppIdentity identity) {
    std::lock_guard lock(identityMutex());
    installed() = std::move(identity);
}
