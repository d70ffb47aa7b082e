#pragma once

#include <cstdint>

#include "core/Wstr.h"

namespace Sys {

// A shortcut: here a freedesktop desktop entry (.desktop). Exec gives the
// target (a bare program name resolved through PATH) and the arguments
// (field codes dropped), Path the working folder, Comment the description,
// Icon the icon; a Type=Link entry's target is its URL. Environment
// variables written as %NAME% are expanded in the target, working folder and
// icon path, not in the arguments.
// One object belongs to one thread at a time.
class ShellLink {
public:
    // True when a desktop entry was loaded.
    bool loaded() const { return loaded_; }
    const wstr& path() const { return path_; }
    const wstr& target() const { return target_; }
    const wstr& arguments() const { return arguments_; }
    const wstr& workingDirectory() const { return workingDirectory_; }
    const wstr& description() const { return description_; }
    const wstr& iconPath() const { return iconPath_; }
    int32_t iconIndex() const { return 0; }

    // Empties every field.
    void clear();

private:
    friend void loadShellLink(ShellLink& link, const wstr& path);

    bool loaded_ = false;
    wstr path_;
    wstr target_;
    wstr arguments_;
    wstr workingDirectory_;
    wstr description_;
    wstr iconPath_;
};

// Loads the desktop entry into the link, which is cleared first. A file that
// is not a desktop entry leaves every field empty.
void loadShellLink(ShellLink& link, const wstr& path);

// The link's target (empty for a link that did not load). Desktop entries
// have no installer-advertised targets; the name is kept for callers.
inline wstr resolveMsiShortcut(const ShellLink& link) {
    return link.target();
}

} // namespace Sys
