#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace Platform {

// Starts a program in a session of its own and returns at once. A detached
// waiter reaps the child when it ends, so no zombie is left behind. The child
// gets the standard streams only: every other descriptor is closed in it, and
// its signal mask and dispositions are reset to the defaults.
// `argv` holds argument 0 too; with `searchPath` a program name without '/'
// is looked up in PATH. An empty `workDir` keeps the current folder.
// Returns 0 or the errno of the failure; `pid` receives the child's id.
// Called from any thread.
int spawnDetached(const std::string& program, const std::vector<std::string>& argv,
                  const std::string& workDir, bool searchPath, pid_t* pid = nullptr);

// As spawnDetached, but the caller owns the child and must reap it (or hand
// it to reapInBackground). Called from any thread.
int spawnChild(const std::string& program, const std::vector<std::string>& argv,
               const std::string& workDir, bool searchPath, pid_t* pid);

// Waits for a child on a detached thread so that it leaves no zombie.
// Called from any thread.
void reapInBackground(pid_t child);

} // namespace Platform
