#pragma once

#include "app/AppWindows.h"
#include "app/RunningInstance.h"
#include "core/Wstr.h"

#include <cstdint>
#include <string>
#include <vector>

// The process entry: forward a request to the instance that already runs,
// or become the one instance of this user and run the application.

// The start command, which doubles as the private message sent to a
// running instance.
enum StartCommand : uint32_t {
    StartNormal = 1500, // never sent
    StartExit = 1501,   // "--exit"
    StartShow = 1510,   // "--show"
    StartHide = 1511,   // "--hide"
};

// How long "--exit" waits for the running instance to end before it ends it
// by force: the whole shutdown budget and a margin.
extern const uint32_t exitWaitMs;

// The command of the arguments after argument 0: "--exit", "--show" and
// "--hide", matched whole and with case; a later one replaces an earlier
// one, anything else is ignored.
uint32_t parseStartCommand(const std::vector<wstr>& args);

// Forwards the command of the arguments to the running instance. True when
// the request was handled and the process must end with exitCode. "--exit"
// follows the instance's process until it ends (0); one that outlives
// exitWaitMs is killed, with a line on stderr, and the exit code is 3. When
// the instance that holds the profile cannot be reached, the request ends
// with a line on stderr and the exit code 2.
bool forwardToRunningInstance(const std::vector<wstr>& args, RunningInstance& instance,
                              uint32_t& command, uint32_t& exitCode);

// The single-instance lock file and the instance socket; empty when there is
// no runtime folder.
std::string instanceLockPath();
std::string instanceSocketPath();

// Forwards or runs the application, whose windows the factory makes (none:
// no windows); returns the process exit code: the main loop's, 0 after
// forwarding, 2 while another instance runs for this user's runtime folder
// or holds the profile. Throws what the application's
// start-up and loop throw. Main thread.
int runApplication(int argc, char** argv, AppWindows::Factory windows = {});
