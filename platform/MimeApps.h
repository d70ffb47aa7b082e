#pragma once

#include <string>
#include <vector>

// Default applications of the freedesktop MIME association lists. Reads the
// environment and the files on every call. Any thread.
namespace Platform::mimeapps {

// The mimeapps.list files in precedence order: the user's configuration
// folder, the system configuration folders, then the same below the user's
// and the system's "applications" data folders; each preceded by its
// desktop-specific variant for every name in $XDG_CURRENT_DESKTOP.
std::vector<std::string> listFiles();

// The path of an installed desktop file by its id ("firefox.desktop"),
// looked up in the "applications" folder of the user's, then the system's
// data folders; a '-' in the id may also stand for a subfolder. Empty when
// none exists.
std::string findApplication(const std::string& desktopId);

// The desktop files of the default applications for a MIME type, best
// first: the ids of the type's [Default Applications] entries in file
// precedence order, each once, that name an installed file.
std::vector<std::string> defaultApplications(const std::string& mimeType);

} // namespace Platform::mimeapps
