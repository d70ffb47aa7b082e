#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace qvtest {

// Sets environment variables for the life of the object and restores their
// previous values (or absence) afterwards.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    ScopedEnv& set(const std::string& name, const std::string& value) {
        remember(name);
        setenv(name.c_str(), value.c_str(), 1);
        return *this;
    }
    ScopedEnv& unset(const std::string& name) {
        remember(name);
        unsetenv(name.c_str());
        return *this;
    }

private:
    void remember(const std::string& name) {
        if (saved_.count(name))
            return;
        const char* value = std::getenv(name.c_str());
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace qvtest
