#pragma once

#include <string>

namespace Platform {

// A shared library opened with dlopen and closed with dlclose when the
// object goes away (unless released). Move-only. Any thread.
class DynLib {
public:
    DynLib() = default;
    ~DynLib() { close(); }
    DynLib(DynLib&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    DynLib& operator=(DynLib&& other) noexcept;
    DynLib(const DynLib&) = delete;
    DynLib& operator=(const DynLib&) = delete;

    // Opens the library (RTLD_NOW | RTLD_LOCAL); false with the loader's
    // message in `error` when it cannot be loaded.
    bool open(const std::string& name, std::string* error = nullptr);
    void close();

    // The address of an exported symbol, or null.
    void* symbol(const std::string& name) const;

    void* handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

} // namespace Platform
