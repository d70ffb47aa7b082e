#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/Environment.h"

namespace qvtest {

// Sets environment variables, in the process environment and in the
// program's table (Platform::env) alike, for the life of the object and
// restores their previous values (or absence) afterwards.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_)
            apply(name, value);
    }

    ScopedEnv& set(const std::string& name, const std::string& value) {
        remember(name);
        apply(name, value);
        return *this;
    }
    ScopedEnv& unset(const std::string& name) {
        remember(name);
        apply(name, std::nullopt);
        return *this;
    }

private:
    void remember(const std::string& name) {
        if (saved_.count(name))
            return;
        saved_[name] = Platform::env::get(name);
    }

    static void apply(const std::string& name, const std::optional<std::string>& value) {
        Platform::env::Variables variables = Platform::env::all();
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
            variables[name] = *value;
        } else {
            unsetenv(name.c_str());
            variables.erase(name);
        }
        Platform::env::replace(std::move(variables));
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace qvtest
