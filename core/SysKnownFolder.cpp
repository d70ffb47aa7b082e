#include "core/SysKnownFolder.h"

#include <string>
#include <sys/stat.h>

#include "core/SysInfo.h"
#include "platform/Error.h"
#include "platform/XdgDirs.h"

namespace Sys {
namespace {

std::string below(const std::string& base, const char* name) {
    return base.empty() ? base : base + "/" + name;
}

std::string lastOf(const std::vector<std::string>& dirs) {
    return dirs.empty() ? "" : dirs.back();
}
std::string firstOf(const std::vector<std::string>& dirs) {
    return dirs.empty() ? "" : dirs.front();
}

// The folder's path; false when the folder has no meaning here.
bool xdgPath(KnownFolder folder, std::string& path) {
    namespace xdg = Platform::xdg;
    switch (folder) {
    case KnownFolder::Profile:
        path = xdg::home();
        return true;
    case KnownFolder::LocalAppData:
        path = xdg::stateHome();
        return true;
    case KnownFolder::RoamingAppData:
        path = xdg::configHome();
        return true;
    case KnownFolder::Desktop:
        path = xdg::userDir("DESKTOP");
        return true;
    case KnownFolder::Documents:
        path = xdg::userDir("DOCUMENTS");
        return true;
    case KnownFolder::Downloads:
        path = xdg::userDir("DOWNLOAD");
        return true;
    case KnownFolder::Music:
        path = xdg::userDir("MUSIC");
        return true;
    case KnownFolder::Pictures:
        path = xdg::userDir("PICTURES");
        return true;
    case KnownFolder::Videos:
        path = xdg::userDir("VIDEOS");
        return true;
    case KnownFolder::StartMenu:
    case KnownFolder::Programs:
        path = below(xdg::dataHome(), "applications");
        return true;
    case KnownFolder::CommonStartMenu:
        path = below(lastOf(xdg::dataDirs()), "applications");
        return true;
    case KnownFolder::Startup:
        path = below(xdg::configHome(), "autostart");
        return true;
    case KnownFolder::CommonStartup:
        path = below(firstOf(xdg::configDirs()), "autostart");
        return true;
    default:
        return false;
    }
}

wstr failWith(uint32_t error, int32_t* hresult) {
    Platform::setLastError(error);
    if (hresult)
        *hresult = hresultFromError(error);
    return {};
}

} // namespace

wstr knownFolderPath(KnownFolder folder, bool verify, int32_t* hresult) {
    std::string path;
    if (!xdgPath(folder, path))
        return failWith(Platform::ERROR_NOT_SUPPORTED, hresult);
    struct stat st;
    if (path.empty() || (verify && (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))))
        return failWith(Platform::ERROR_FILE_NOT_FOUND, hresult);
    Platform::setLastError(Platform::ERROR_SUCCESS);
    if (hresult)
        *hresult = 0;
    return wstr::fromUtf8(path.c_str());
}

} // namespace Sys
