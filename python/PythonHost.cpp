#include "python/PythonHost.h"

#include <mutex>

namespace {

struct Registration {
    std::mutex mutex;
    std::weak_ptr<PythonHost> host;
};

Registration& registration() {
    static Registration instance;
    return instance;
}

} // namespace

std::shared_ptr<PythonHost> PythonHost::instance() {
    std::lock_guard lock(registration().mutex);
    return registration().host.lock();
}

void PythonHost::setInstance(std::weak_ptr<PythonHost> host) {
    std::lock_guard lock(registration().mutex);
    registration().host = std::move(host);
}
