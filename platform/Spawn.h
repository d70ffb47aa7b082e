#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace Platform {

// Starts a program in a session of its own and returns at once. The child
// is reaped when it ends by the one thread that reaps every child handed to
// reapInBackground, so no zombie is left behind. The child gets the program's
// environment (Platform::env), and a bare name is searched in its PATH. Its
// standard streams are /dev/null, every other descriptor is closed in it, and
// its signal mask and dispositions are reset to the defaults.
// `argv` holds argument 0 too; with `searchPath` a program name without '/'
// is looked up in PATH. An empty `workDir` keeps the current folder.
// Returns 0 or the errno of the failure; `pid` receives the child's id.
// Called from any thread.
int spawnDetached(const std::string& program, const std::vector<std::string>& argv,
                  const std::string& workDir, bool searchPath, pid_t* pid = nullptr);

// As spawnDetached, but the child keeps our standard streams, and the caller
// owns the child and must reap it (or hand it to reapInBackground). Called
// from any thread.
int spawnChild(const std::string& program, const std::vector<std::string>& argv,
               const std::string& workDir, bool searchPath, pid_t* pid);

// Hands a child to the reaping thread so that it leaves no zombie.
// Called from any thread.
void reapInBackground(pid_t child);

} // namespace Platform
