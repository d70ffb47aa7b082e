#include "platform/XdgDirs.h"

#include <cstdlib>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

#include "platform/Environment.h"
#include "platform/ReadFile.h"

namespace Platform::xdg {
namespace {

std::string env(const char* name) {
    return Platform::env::value(name);
}

std::string absoluteOr(const char* name, const std::string& below) {
    std::string value = env(name);
    if (!value.empty() && value.front() == '/')
        return value;
    std::string h = home();
    return h.empty() ? std::string() : h + below;
}

std::vector<std::string> dirList(const char* name, const char* fallback) {
    std::string value = env(name);
    if (value.empty())
        value = fallback;
    std::vector<std::string> dirs;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(':', start);
        if (end == std::string::npos)
            end = value.size();
        std::string part = value.substr(start, end - start);
        while (part.size() > 1 && part.back() == '/')
            part.pop_back();
        if (!part.empty() && part.front() == '/')
            dirs.push_back(part);
        start = end + 1;
    }
    return dirs;
}

std::string passwdHome() {
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->pw_dir ? found->pw_dir : "";
}

// A user-dirs.dirs value is a double-quoted shell word: "$HOME/name" or an
// absolute path, with backslash escapes.
std::string userDirValue(const std::string& raw) {
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')
        return {};
    std::string quoted = raw.substr(1, raw.size() - 2);
    std::string value;
    size_t i = 0;
    if (quoted.rfind("$HOME", 0) == 0) {
        value = home();
        i = 5;
    } else if (quoted.empty() || quoted.front() != '/') {
        return {};
    }
    for (; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 1 < quoted.size())
            ++i;
        value += quoted[i];
    }
    return value;
}

std::string readUserDir(const std::string& key) {
    std::string config = configHome();
    if (config.empty())
        return {};
    std::string content;
    Platform::readFile(config + "/user-dirs.dirs", content);
    std::istringstream in(content);
    std::string wanted = "XDG_" + key + "_DIR=";
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, wanted.size(), wanted) == 0)
            found = userDirValue(line.substr(first + wanted.size()));
    }
    return found;
}

} // namespace

std::string home() {
    std::string value = env("HOME");
    return value.empty() ? passwdHome() : value;
}

std::string configHome() {
    return absoluteOr("XDG_CONFIG_HOME", "/.config");
}
std::string dataHome() {
    return absoluteOr("XDG_DATA_HOME", "/.local/share");
}
std::string stateHome() {
    return absoluteOr("XDG_STATE_HOME", "/.local/state");
}

std::vector<std::string> configDirs() {
    return dirList("XDG_CONFIG_DIRS", "/etc/xdg");
}
std::vector<std::string> dataDirs() {
    return dirList("XDG_DATA_DIRS", "/usr/local/share/:/usr/share/");
}

std::string userDir(const std::string& key) {
    std::string value = readUserDir(key);
    if (value.empty() && key == "DESKTOP" && !home().empty())
        return home() + "/Desktop";
    return value;
}

} // namespace Platform::xdg
