#pragma once

#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <filesystem>

#include <sys/stat.h>

namespace qvtest {

// Points HOME and the XDG folders, a private runtime folder among them, into
// root, so that an application started by the test reads and writes nothing
// of the user's.
inline void pointHomeAt(const TempDir& root, ScopedEnv& env) {
    std::filesystem::create_directories(root.path() / "runtime");
    chmod((root.path() / "runtime").c_str(), 0700);
    env.set("HOME", root.str())
        .set("XDG_CONFIG_HOME", root.str() + "/config")
        .set("XDG_DATA_HOME", root.str() + "/data")
        .set("XDG_STATE_HOME", root.str() + "/state")
        .set("XDG_RUNTIME_DIR", root.str() + "/runtime");
}

} // namespace qvtest
