#pragma once

#include <string>

namespace Platform {

// True when the path lies on a network file system (NFS, SMB/CIFS, 9P or a
// FUSE sshfs mount), as statfs reports it. A missing path is not remote.
// Any thread.
bool isNetworkFileSystem(const std::string& path);

} // namespace Platform
