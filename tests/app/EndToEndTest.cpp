// Starts the built program from the build tree's install layout, with a
// temporary home and XDG tree, as a user would.

#include "core/SysInfo.h"
#include "core/Wstr.h"
#include "platform/Process.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// Generous: a sanitizer build starts the interpreter slowly.
constexpr auto timeLimit = seconds(120);

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

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Polls the file until it holds the text or the time is up.
bool waitForText(const fs::path& path, const std::string& text) {
    const auto deadline = steady_clock::now() + timeLimit;
    while (readText(path).find(text) == std::string::npos) {
        if (steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

} // namespace

TEST(EndToEnd, OneInstanceStartsRefusesASecondAndEndsOnRequest) {
    qvtest::TempDir dir;
    const fs::path home = dir.path() / "home", config = dir.path() / "config",
                   state = dir.path() / "state", runtime = dir.path() / "runtime";
    for (const auto& folder : {home, runtime})
        fs::create_directories(folder);
    chmod(runtime.c_str(), 0700);
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        const auto eq = text.find('=');
        if (eq != std::string::npos)
            env[text.substr(0, eq)] = text.substr(eq + 1);
    }
    env["HOME"] = home.string();
    env["XDG_CONFIG_HOME"] = config.string();
    env["XDG_STATE_HOME"] = state.string();
    env["XDG_RUNTIME_DIR"] = runtime.string();
    env.erase("XDG_DATA_HOME");
    const fs::path output = dir.path() / "output.txt";

    Program first({}, env, output);
    ASSERT_TRUE(first.started());
    const fs::path log =
        state / "Quorvalent" /
        ("Quorvalent." + wstr::toUtf8(wstr::lowerCopy(Sys::computerName())) + ".log");
    ASSERT_TRUE(waitForText(log, "Init done in ")) << readText(output) << readText(log);
    const std::string text = readText(log);
    for (const std::string& line :
         {std::string("] Quorvalent 2.24 ("), std::string(") for x64\r\n"),
          std::string("] System: Linux"), std::string("] Installed mode\r\n"),
          std::string("] Monitor #1: Name["),
          std::string("] Official packages: " QV_BUILD_DIR "/default/Packages\r\n"),
          "] Profile dir: " + (config / "Quorvalent").string() + "\r\n",
          "] Local dir: " + (state / "Quorvalent").string() + "\r\n",
          std::string("%) for the Python interpreter.\r\n")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

    // A changed configuration file is noticed and applied while it runs.
    fs::create_directories(config / "Quorvalent/User");
    std::ofstream(config / "Quorvalent/User/Quorvalent.ini") << "[gui]\nmax_results = 20\n";
    EXPECT_TRUE(waitForText(log, "] Application configuration has changed\r\n")) << readText(log);

    Program second({}, env, output);
    EXPECT_EQ(second.exitCode(), std::optional<int>(2)) << readText(output);

    Program exit({"--exit"}, env, output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << readText(output);
    EXPECT_EQ(first.exitCode(), std::optional<int>(0)) << readText(output);
    EXPECT_NE(readText(log).find("] Shutting down with code 0.\r\n"), std::string::npos)
        << readText(log);
}
