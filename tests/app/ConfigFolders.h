#pragma once

#include "files/DataFs.h"
#include "tests/app/FakeApp.h"
#include "tests/app/PythonForTests.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <memory>

namespace qvtest {

// An installation and a profile in temporary folders, an environment that
// points the XDG folders there and sets no proxy, and the application that
// names the folders.
struct ConfigFolders {
    ConfigFolders() {
        ensurePython();
        for (const char* name : {"http_proxy", "https_proxy", "ftp_proxy", "all_proxy",
                                 "HTTP_PROXY", "HTTPS_PROXY", "FTP_PROXY", "ALL_PROXY"})
            env.unset(name);
        env.set("HOME", root.str())
            .set("XDG_CONFIG_HOME", root.str() + "/config")
            .set("XDG_DATA_HOME", root.str() + "/data")
            .set("XDG_STATE_HOME", root.str() + "/state");
        folders.install = wide(root.path() / "install");
        folders.bootstrap = wide(root.path() / "install/quorvalent");
        folders.defaultApp = wide(root.path() / "install/default/App");
        folders.profile = wide(root.path() / "profile");
        folders.profileUser = wide(root.path() / "profile/User");
        app = FakeApp::install(folders);
    }

    static wstr wide(const std::filesystem::path& path) { return wstr::fromUtf8(path.c_str()); }

    TempDir root;
    ScopedEnv env;
    DataFs::Folders folders;
    std::shared_ptr<FakeApp> app;
};

} // namespace qvtest
