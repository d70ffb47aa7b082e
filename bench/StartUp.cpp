// Start-up of the built program as a user starts it (<build>/quorvalent) on a
// fresh profile: the wall time until its "Init done" log line, against the
// time a bare start of the interpreter it embeds takes on the same machine.
// Each iteration starts both, one after the other, so that both see the same
// load; the program is then ended with "--exit".
//
// Counters (medians over the iterations): init_done_ms, python3_ms and their
// difference over_python_ms; the program's own figures from its log line,
// logged_init_ms and logged_python_ms (the interpreter's share).
//
// Run it where the program can open its windows (a display, or
// QT_QPA_PLATFORM=offscreen).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The interpreter the program is built against and embeds.
constexpr const char* systemPython = "/usr/bin/python3";
constexpr int timeLimitMs = 120000;
const std::string initDone = "] Init done in ";

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The build tree: this program runs from <build>/bench.
fs::path buildDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path();
}

// A child process with this process's environment, its end watched through a
// pidfd; killed and reaped if it is left running.
class Child {
public:
    explicit Child(std::vector<std::string> argv) {
        std::vector<char*> args;
        for (std::string& arg : argv)
            args.push_back(arg.data());
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0)
            throw std::runtime_error("cannot start " + argv[0]);
        fd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    }
    ~Child() {
        if (!ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(fd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Readable once the child has ended.
    int fd() const { return fd_; }
    // Whether it ended within the time limit.
    bool wait() {
        pollfd end{fd_, POLLIN, 0};
        if (!ended_ && poll(&end, 1, timeLimitMs) == 1)
            ended_ = waitpid(pid_, nullptr, 0) == pid_;
        return ended_;
    }

private:
    pid_t pid_ = 0;
    int fd_ = -1;
    bool ended_ = false;
};

// A fresh home and XDG tree, made this process's environment so that the
// programs it starts use it; removed with its contents afterwards.
class Profile {
public:
    Profile() {
        std::string pattern = (fs::temp_directory_path() / "qv-startup-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        root_ = pattern;
        for (const char* folder : {"home", "config", "runtime", "state/Quorvalent"})
            fs::create_directories(root_ / folder);
        fs::permissions(root_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        setenv("HOME", (root_ / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
    ~Profile() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // Where the program writes its log.
    fs::path localDir() const { return root_ / "state" / "Quorvalent"; }

private:
    fs::path root_;
};

// The text of the program's log once it holds the "Init done" line, or
// nothing when the program ended or the time limit passed before. Woken by
// changes in the log's folder and by the program's end, never by a timer.
std::optional<std::string> waitForInitDone(const fs::path& folder, const Child& program) {
    const int notify = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(notify, folder.c_str(), IN_CREATE | IN_MODIFY);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeLimitMs);
    std::optional<std::string> result;
    while (Clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() != ".log")
                continue;
            std::ifstream in(entry.path());
            std::string text{std::istreambuf_iterator<char>(in), {}};
            if (text.find(initDone) != std::string::npos)
                result = std::move(text);
        }
        if (result)
            break;
        pollfd fds[2] = {{notify, POLLIN, 0}, {program.fd(), POLLIN, 0}};
        if (poll(fds, 2, timeLimitMs) <= 0 || (fds[1].revents & POLLIN))
            break;
        char events[4096];
        [[maybe_unused]] ssize_t n = read(notify, events, sizeof events);
    }
    close(notify);
    return result;
}

// The seconds of the log's "Init done in {}s, including {}s" line: the
// program's own count since its image was loaded, and the interpreter's part.
std::pair<double, double> loggedSeconds(const std::string& log) {
    const std::size_t at = log.find(initDone) + initDone.size();
    const double total = std::strtod(log.c_str() + at, nullptr);
    const std::size_t including = log.find("including ", at);
    const double python = std::strtod(log.c_str() + including + 10, nullptr);
    return {total, python};
}

double barePythonMs() {
    const auto start = Clock::now();
    Child python({systemPython, "-c", "pass"});
    if (!python.wait())
        throw std::runtime_error("python3 -c pass did not end");
    return msSince(start);
}

void BM_StartUp(benchmark::State& state) {
    const fs::path program = buildDir() / "quorvalent";
    std::vector<double> initDoneMs, pythonMs, loggedInitMs, loggedPythonMs;
    for (auto _ : state) {
        pythonMs.push_back(barePythonMs());
        Profile profile;
        const auto start = Clock::now();
        Child running({program.string()});
        const std::optional<std::string> log = waitForInitDone(profile.localDir(), running);
        const double wall = msSince(start);
        Child({program.string(), "--exit"}).wait();
        running.wait();
        if (!log) {
            state.SkipWithError("the program ended or hung before \"Init done\"");
            return;
        }
        state.SetIterationTime(wall / 1000);
        initDoneMs.push_back(wall);
        const auto [total, python] = loggedSeconds(*log);
        loggedInitMs.push_back(total * 1000);
        loggedPythonMs.push_back(python * 1000);
    }
    state.counters["init_done_ms"] = median(initDoneMs);
    state.counters["python3_ms"] = median(pythonMs);
    state.counters["over_python_ms"] = median(initDoneMs) - median(pythonMs);
    state.counters["logged_init_ms"] = median(loggedInitMs);
    state.counters["logged_python_ms"] = median(loggedPythonMs);
}
BENCHMARK(BM_StartUp)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
