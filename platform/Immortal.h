#pragma once

#include <new>
#include <utility>

namespace Platform {

// A process-wide object that is built on first use and never destroyed, for
// state that a thread left to end by itself may still touch while the process
// exits. What it owns stays reachable, so leak checkers do not report it.
template <typename T> class Immortal {
public:
    template <typename... Args> explicit Immortal(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    Immortal(const Immortal&) = delete;
    Immortal& operator=(const Immortal&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

} // namespace Platform
