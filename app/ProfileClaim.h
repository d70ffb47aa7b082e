#pragma once

#include "files/DataFs.h"
#include "platform/InstanceLock.h"

#include <optional>
#include <string>
#include <sys/types.h>

// The running instance's hold on its profile and local folder: a lock file
// in each, which also tells other starts where the instance listens. Two
// starts whose environments give them different runtime folders (with and
// without XDG_RUNTIME_DIR) still find each other here, so only one of them
// ever writes the files of a profile. Main thread, before the application
// exists.
class ProfileClaim {
public:
    enum Result { Claimed, HeldByOther, Failed };

    // The instance that holds a profile, as its lock file tells it.
    struct Holder {
        pid_t pid = 0;
        std::string socketPath;
        std::string lockPath;
    };

    // Takes both locks without waiting and records this process and the
    // instance socket it will listen at. Failed sets the last error; both
    // leave failedPath naming the lock file.
    Result claim(const DataFs::Folders& folders, const std::string& socketPath);
    const std::string& failedPath() const { return failedPath_; }

    // The instance that holds the profile or the local folder of folders;
    // nothing when none does. Reads only.
    static std::optional<Holder> holder(const DataFs::Folders& folders);

private:
    Platform::InstanceLock profile_;
    Platform::InstanceLock local_;
    std::string failedPath_;
};
