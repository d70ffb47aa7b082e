#pragma once

#include <string>

namespace Platform {

// The folder for this user's runtime files (the single-instance lock and the
// instance socket): $XDG_RUNTIME_DIR when it is an absolute path, else a
// private folder "<$TMPDIR or /tmp>/quorvalent-runtime-<uid>", created with
// mode 0700 and accepted only when it is a real folder of ours that no one
// else may enter. Another user can make that name first (or plant a link
// there): then the folder is "<home>/.cache/quorvalent-runtime-<host>",
// which only the user can make, and refused (when given) names the folder
// that was passed over. Empty, with the last error set, when there is none.
// Any thread.
std::string runtimeDir(std::string* refused = nullptr);

// The folder runtimeDir uses or refuses, for messages that must name it.
// Any thread.
std::string runtimeDirCandidate();

} // namespace Platform
