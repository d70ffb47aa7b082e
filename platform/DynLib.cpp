#include "platform/DynLib.h"

#include <dlfcn.h>

namespace Platform {

DynLib& DynLib::operator=(DynLib&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

bool DynLib::open(const std::string& name, std::string* error) {
    close();
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_ && error) {
        const char* message = dlerror();
        *error = message ? message : "";
    }
    return handle_ != nullptr;
}

void DynLib::close() {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

void* DynLib::symbol(const std::string& name) const {
    return handle_ ? dlsym(handle_, name.c_str()) : nullptr;
}

} // namespace Platform
