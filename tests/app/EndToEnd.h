#pragma once

// Runs the built program from the build tree's install layout, with a
// temporary home and XDG tree, as a user would.

#include "core/SysInfo.h"
#include "core/Wstr.h"
#include "platform/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace qvtest::e2e {

namespace fs = std::filesystem;
using namespace std::chrono;

// Generous: a sanitizer build starts the interpreter slowly.
inline constexpr auto timeLimit = seconds(120);

// One start of the program, killed if the test leaves it running.
class Program {
public:
    Program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const fs::path& output) {
        std::vector<std::string> argv{std::string(QV_BUILD_DIR) + "/quorvalent"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp;
        for (auto& a : argv)
            argp.push_back(a.data());
        argp.push_back(nullptr);
        std::vector<std::string> envs;
        for (const auto& [name, value] : env)
            envs.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : envs)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        spawnError_ =
            posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawnError_ == 0)
            watcher_.open(pid_);
    }
    ~Program() {
        if (!exitCode_ && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return spawnError_ == 0; }
    pid_t pid() const { return pid_; }

    // The exit code once the program ended within the time limit.
    std::optional<int> exitCode() {
        if (exitCode_)
            return exitCode_;
        if (watcher_.wait(static_cast<int>(milliseconds(timeLimit).count())) !=
            Platform::Process::Ended)
            return std::nullopt;
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_)
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
    }

private:
    pid_t pid_ = 0;
    int spawnError_ = 0;
    Platform::Process watcher_;
    std::optional<int> exitCode_;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Alive, and not a zombie that has ended.
inline bool running(pid_t pid) {
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// The first file below root with that extension (".png"), empty when none is.
inline fs::path findFile(const fs::path& root, const std::string& extension) {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(root, error))
        if (entry.path().extension() == extension)
            return entry.path();
    return {};
}

// How many times the part occurs in the text.
inline size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// What the shell command printed, without the trailing line breaks.
inline std::string runCommand(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// Polls until the condition holds or the time is up.
inline bool waitFor(const std::function<bool()>& condition) {
    return qvtest::waitFor(condition, timeLimit, milliseconds(20));
}

inline bool waitForText(const fs::path& path, const std::string& text) {
    return waitFor([&] { return readText(path).find(text) != std::string::npos; });
}

// A user of the program: a temporary home and XDG tree, the environment that
// points at it, and where the program writes its output, log and catalog.
struct UserTree {
    UserTree() {
        for (const auto& folder : {home, runtime})
            fs::create_directories(folder);
        chmod(runtime.c_str(), 0700);
        for (char** entry = environ; *entry; ++entry) {
            std::string text = *entry;
            const auto eq = text.find('=');
            if (eq != std::string::npos)
                env[text.substr(0, eq)] = text.substr(eq + 1);
        }
        // Runs are timed, and the sanitizer's exit-time leak scan of a Qt
        // application takes seconds of its own on a busy machine; the unit
        // tests check for leaks.
        env["ASAN_OPTIONS"] =
            env["ASAN_OPTIONS"] + (env["ASAN_OPTIONS"].empty() ? "" : ":") + "detect_leaks=0";
        env["HOME"] = home.string();
        env["XDG_CONFIG_HOME"] = config.string();
        env["XDG_STATE_HOME"] = state.string();
        env["XDG_RUNTIME_DIR"] = runtime.string();
        env.erase("XDG_DATA_HOME");
    }

    // The program's file in its local folder with this extension.
    fs::path localFile(const std::string& extension) const {
        return state / "Quorvalent" /
               ("Quorvalent." + wstr::toUtf8(wstr::lowerCopy(Sys::computerName())) + extension);
    }

    qvtest::TempDir dir;
    const fs::path home = dir.path() / "home", config = dir.path() / "config",
                   state = dir.path() / "state", runtime = dir.path() / "runtime";
    const fs::path output = dir.path() / "output.txt";
    const fs::path log = localFile(".log");
    std::map<std::string, std::string> env;
};

} // namespace qvtest::e2e
