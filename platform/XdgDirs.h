#pragma once

#include <string>
#include <vector>

// The freedesktop base and user folders, read from the environment on every
// call (tests and the environment reload change it). Paths are UTF-8 bytes.
// All functions may be called from any thread.
namespace Platform::xdg {

// $HOME, else the password database's home folder; empty when neither is known.
std::string home();

// $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_STATE_HOME, each with the XDG
// default below the home folder when unset or not absolute; empty when the
// home folder is unknown.
std::string configHome();
std::string dataHome();
std::string stateHome();

// $XDG_CONFIG_DIRS and $XDG_DATA_DIRS split at ':' with their defaults;
// relative entries are dropped.
std::vector<std::string> configDirs();
std::vector<std::string> dataDirs();

// A user folder of user-dirs.dirs in the configuration home, by its key
// without prefix and suffix ("DESKTOP", "DOCUMENTS", "DOWNLOAD", "MUSIC",
// "PICTURES", "VIDEOS", "TEMPLATES", "PUBLICSHARE"). An unset DESKTOP is
// "$HOME/Desktop"; any other unset folder is empty.
std::string userDir(const std::string& key);

} // namespace Platform::xdg
