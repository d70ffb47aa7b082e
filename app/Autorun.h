#pragma once

#include <string>

#include "core/Wstr.h"

// Starting the program with the desktop session: a desktop entry in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart) that runs the
// bootstrap with "--autorun". User-interface thread.
namespace Autorun {

// The entry's file name, "Quorvalent.desktop".
const wstr& entryFileName();
// The autostart folder's entry file; empty when the folder is unknown.
wstr entryPath();

// The text of the entry that runs the bootstrap.
std::string entryText(const wstr& bootstrap);

// With `on`, writes the entry (every time, whatever it held); without,
// deletes it (a missing entry is success). Failures are logged as warnings;
// returns true on success.
bool apply(bool on, const wstr& bootstrap);

} // namespace Autorun
