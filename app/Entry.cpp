#include "app/Entry.h"

#include "app/App.h"
#include "app/EnvironmentSource.h"
#include "app/ProfileClaim.h"
#include "app/ShutdownBudget.h"
#include "app/UiThreadOwner.h"
#include "core/Format.h"
#include "core/Logger.h"
#include "gui/QtSession.h"
#include "platform/Error.h"
#include "platform/InstanceLock.h"
#include "platform/RuntimeDir.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

const uint32_t exitWaitMs = ShutdownBudget::totalMs + ShutdownBudget::exitMarginMs;

namespace {

// "--exit" had to end the instance by force.
constexpr uint32_t exitKilled = 3;

std::string runtimePath(const char* name) {
    const std::string dir = Platform::runtimeDir();
    return dir.empty() ? dir : dir + "/" + name;
}

uint32_t forwardExit(RunningInstance& instance) {
    const uint32_t pid = instance.processId();
    // Watched before the request, so that the id cannot name another
    // process by the time we wait.
    const bool opened = pid != 0 && instance.openProcess();
    instance.send(StartExit);
    if (pid == 0 || !opened)
        return 1;
    switch (instance.waitForExit(exitWaitMs)) {
    case RunningInstance::Ended:
        return 0;
    case RunningInstance::TimedOut:
        std::fprintf(
            stderr, "Quorvalent (process %u) did not end within %u ms of the exit request%s\n", pid,
            exitWaitMs, instance.terminate() ? "; it was killed." : " and could not be killed.");
        return exitKilled;
    default:
        return 1;
    }
}

std::optional<ProfileClaim::Holder> profileHolder() {
    DataFs::Folders folders;
    try {
        DataFs::locateFolders(folders);
    } catch (const std::runtime_error&) {
        // No profile: the start, if any, tells why.
        return std::nullopt;
    }
    return ProfileClaim::holder(folders);
}

// Only the instance that holds the profile and the local folder writes
// there: another start with a different runtime folder would find no
// instance in its own.
bool claimProfile(ProfileClaim& claim) {
    DataFs::Folders folders;
    DataFs::resolveFolders(folders);
    switch (claim.claim(folders, instanceSocketPath())) {
    case ProfileClaim::Claimed:
        return true;
    case ProfileClaim::HeldByOther: {
        const auto holder = ProfileClaim::holder(folders);
        std::fprintf(stderr, "Quorvalent already runs%s with this profile (%s is held).\n",
                     holder && holder->pid > 0 ? formatNarrow(" as process {}", holder->pid).c_str()
                                               : "",
                     claim.failedPath().c_str());
        return false;
    }
    default:
        throw std::runtime_error(formatNarrow("Failed to lock {} (error {})", claim.failedPath(),
                                              Platform::lastError()));
    }
}

std::vector<wstr> arguments(int argc, char** argv) {
    std::vector<wstr> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(wstr::fromUtf8(argv[i]));
    return args;
}

} // namespace

uint32_t parseStartCommand(const std::vector<wstr>& args) {
    uint32_t command = StartNormal;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"--exit")
            command = StartExit;
        else if (args[i] == L"--show")
            command = StartShow;
        else if (args[i] == L"--hide")
            command = StartHide;
    }
    return command;
}

bool forwardToRunningInstance(const std::vector<wstr>& args, RunningInstance& instance,
                              uint32_t& command, uint32_t& exitCode) {
    exitCode = 0;
    command = parseStartCommand(args);
    if (command == StartNormal)
        return false;
    if (!instance.find()) {
        const std::string why = instance.unreachable();
        if (!why.empty()) {
            std::fprintf(stderr, "%s\n", why.c_str());
            exitCode = 2;
            return true;
        }
        // Without an instance, "--show" runs and shows the LaunchBox itself.
        exitCode = command == StartHide ? 1 : 0;
        return command != StartShow;
    }
    if (command == StartExit)
        exitCode = forwardExit(instance);
    else
        instance.send(command);
    return true;
}

std::string instanceLockPath() {
    return runtimePath("quorvalent_appmutex.lock");
}

std::string instanceSocketPath() {
    return runtimePath(App::instanceSocketName());
}

int runApplication(int argc, char** argv, AppWindows::Factory windows) {
    // Taken now: the environment reload falls back to the one we started with.
    EnvironmentSource::current();
    uint32_t command = StartNormal;
    uint32_t exitCode = 0;
    SocketRunningInstance running(instanceSocketPath(), profileHolder);
    if (forwardToRunningInstance(arguments(argc, argv), running, command, exitCode))
        return static_cast<int>(exitCode);

    Platform::InstanceLock lock;
    const std::string lockPath = instanceLockPath();
    const auto locked = lockPath.empty() ? Platform::InstanceLock::Failed : lock.acquire(lockPath);
    if (locked == Platform::InstanceLock::HeldByOther)
        return 2;
    if (locked == Platform::InstanceLock::Failed)
        throw std::runtime_error(formatNarrow(
            "Failed to create unique application instance (error {})", Platform::lastError()));
    ProfileClaim claim;
    if (!claimProfile(claim))
        return 2;

    Gui::QtSession qt(argc, argv);
    // Qt takes the user's locale; numbers read from files must not depend on it.
    std::setlocale(LC_NUMERIC, "C");

    UiThreadOwner<App> app;
    app.get()->setWindowsFactory(std::move(windows));
    int code = app.get()->init(command);
    if (code == 0)
        code = static_cast<int>(app.get()->run());
    wstr text;
    logMessage(Logger::Info, wstr::format(text, L"Shutting down with code {}.", code));
    app.get()->shutdown();
    if (app.get()->pythonLeftRunning()) {
        // Threads still run plugin code: destroying the application or the
        // program's static objects under them could crash the exit. The log
        // is written and closed by now.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    app.release(ShutdownBudget::appReleaseMs);
    return code;
}
