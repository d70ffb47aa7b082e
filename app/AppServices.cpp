#include "app/AppServices.h"

#include <mutex>

namespace {

struct Registration {
    std::mutex mutex;
    std::weak_ptr<AppServices> app;
};

Registration& registration() {
    static Registration instance;
    return instance;
}

} // namespace

std::shared_ptr<AppServices> AppServices::instance() {
    std::lock_guard lock(registration().mutex);
    return registration().app.lock();
}

void AppServices::setInstance(std::weak_ptr<AppServices> app) {
    std::lock_guard lock(registration().mutex);
    registration().app = std::move(app);
}
