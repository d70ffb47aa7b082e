#include "platform/KeyFile.h"

#include "platform/ReadFile.h"

#include <sstream>

namespace Platform {

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::map<std::string, KeyFileGroup> readKeyFile(const std::string& path) {
    std::map<std::string, KeyFileGroup> groups;
    std::string text;
    if (!readFile(path, text))
        return groups;
    std::istringstream lines(text);
    KeyFileGroup* group = nullptr;
    for (std::string line; std::getline(lines, line);) {
        line = trimBlanks(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            group = &groups[line.substr(1, line.size() - 2)];
            continue;
        }
        const auto eq = line.find('=');
        if (group && eq != std::string::npos)
            (*group)[trimBlanks(line.substr(0, eq))] = trimBlanks(line.substr(eq + 1));
    }
    return groups;
}

} // namespace Platform
