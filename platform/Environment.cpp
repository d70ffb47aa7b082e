#include "platform/Environment.h"

#include <mutex>

extern char** environ;

namespace Platform::env {
namespace {

struct Table {
    std::mutex mutex;
    Variables variables;

    // The process environment is read once, before any thread of ours could
    // have a reason to change it.
    Table() {
        for (char** entry = environ; entry && *entry; ++entry) {
            std::string text = *entry;
            const size_t eq = text.find('=');
            if (eq != std::string::npos && eq > 0)
                variables[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
};

Table& table() {
    static Table instance;
    return instance;
}

} // namespace

std::optional<std::string> get(const std::string& name) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.variables.find(name);
    if (it == t.variables.end())
        return std::nullopt;
    return it->second;
}

std::string value(const std::string& name) {
    return get(name).value_or(std::string());
}

Variables all() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.variables;
}

std::vector<std::string> block() {
    std::vector<std::string> entries;
    for (const auto& [name, value] : all())
        entries.push_back(name + "=" + value);
    return entries;
}

bool replace(Variables variables) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (variables == t.variables)
        return false;
    t.variables = std::move(variables);
    return true;
}

} // namespace Platform::env
