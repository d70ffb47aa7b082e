#include "platform/MimeApps.h"

#include "platform/Environment.h"
#include "platform/KeyFile.h"
#include "platform/ReadFile.h"
#include "platform/XdgDirs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace Platform::mimeapps {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void addFolder(std::vector<std::string>& files, const std::string& folder) {
    if (folder.empty())
        return;
    for (const auto& desktop : split(env::value("XDG_CURRENT_DESKTOP"), ':'))
        files.push_back(folder + "/" + lowered(desktop) + "-mimeapps.list");
    files.push_back(folder + "/mimeapps.list");
}

bool isFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The ids listed for the type in one file's [Default Applications] group.
std::vector<std::string> defaultIds(const std::string& file, const std::string& mimeType) {
    std::string content;
    Platform::readFile(file, content);
    std::istringstream in(content);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        std::string text = trimBlanks(line);
        if (!text.empty() && text.front() == '[') {
            inGroup = text == "[Default Applications]";
            continue;
        }
        size_t eq = text.find('=');
        if (inGroup && eq != std::string::npos && trimBlanks(text.substr(0, eq)) == mimeType)
            return split(trimBlanks(text.substr(eq + 1)), ';');
    }
    return {};
}

std::string findBelow(const std::string& applications, const std::string& id) {
    std::string direct = applications + "/" + id;
    if (isFile(direct))
        return direct;
    for (size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
        std::string nested =
            findBelow(applications + "/" + id.substr(0, dash), id.substr(dash + 1));
        if (!nested.empty())
            return nested;
    }
    return {};
}

} // namespace

std::vector<std::string> listFiles() {
    std::vector<std::string> files;
    addFolder(files, xdg::configHome());
    for (const auto& dir : xdg::configDirs())
        addFolder(files, dir);
    addFolder(files, xdg::dataHome().empty() ? "" : xdg::dataHome() + "/applications");
    for (const auto& dir : xdg::dataDirs())
        addFolder(files, dir + "/applications");
    return files;
}

std::string findApplication(const std::string& desktopId) {
    if (desktopId.empty() || desktopId.find('/') != std::string::npos)
        return {};
    std::vector<std::string> roots;
    if (!xdg::dataHome().empty())
        roots.push_back(xdg::dataHome());
    for (const auto& dir : xdg::dataDirs())
        roots.push_back(dir);
    for (const auto& root : roots) {
        std::string found = findBelow(root + "/applications", desktopId);
        if (!found.empty())
            return found;
    }
    return {};
}

std::vector<std::string> defaultApplications(const std::string& mimeType) {
    std::vector<std::string> found;
    for (const auto& file : listFiles()) {
        for (const auto& id : defaultIds(file, mimeType)) {
            std::string path = findApplication(id);
            if (!path.empty() && std::find(found.begin(), found.end(), path) == found.end())
                found.push_back(path);
        }
    }
    return found;
}

} // namespace Platform::mimeapps
