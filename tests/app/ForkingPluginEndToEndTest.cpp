// A plugin that starts processes, run by the built program: processes forked
// from plugin code (multiprocessing's fork and forkserver methods, os.fork)
// are ordinary Python processes that end as they are told to, spawned ones
// run the system's Python, and the program still ends in order and starts
// again on the same profile.

#include "tests/app/EndToEnd.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace qvtest::e2e;

namespace {

// Run by the children; imports nothing of the program's, which a spawned
// child (a new Python process) does not have.
const char* workModule = R"(import os, time
def report(queue):
    queue.put(os.getpid())
def sleep():
    time.sleep(1000)
)";

// Each start method: a child that reports its process id back through a
// queue and ends, and one that sleeps until it is terminated. Then os.fork
// from a message and from a plugin thread: a child that calls os._exit,
// sys.exit, raises, calls the program (refused) or returns into the program. The line "forker
// pids:" lists the processes multiprocessing started.
const char* forkerScript = R"(import multiprocessing, os, sys, threading
import quorvalent
import quorvalent_api as api
from Forker import work

def status(pid):
    return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])

def fork_in_thread(seen):
    pid = os.fork()
    if pid == 0:
        return
    seen.append('thread=%d' % status(pid))

class Forker(quorvalent.Plugin):
    def on_start(self):
        seen, pids = [], []
        for method in ('fork', 'forkserver', 'spawn'):
            context = multiprocessing.get_context(method)
            queue = context.Queue()
            child = context.Process(target=work.report, args=(queue,))
            child.start()
            reported = queue.get(timeout=120) == child.pid
            child.join(120)
            sleeper = context.Process(target=work.sleep)
            sleeper.start()
            sleeper.terminate()
            sleeper.join(120)
            seen.append('%s=%s,%s,%s' % (method, reported, child.exitcode, sleeper.exitcode))
            pids += [child.pid, sleeper.pid]
        from multiprocessing import forkserver, resource_tracker
        pids += [forkserver._forkserver._forkserver_pid, resource_tracker._resource_tracker._pid]
        for how in ('os._exit', 'sys.exit', 'raise', 'api', 'return'):
            pid = os.fork()
            if pid == 0:
                if how == 'api':
                    try:
                        api.log('', 0, 1, 'logged from a forked child')
                    except RuntimeError:
                        os._exit(3)
                if how == 'os._exit':
                    os._exit(7)
                if how == 'sys.exit':
                    sys.exit(5)
                if how == 'raise':
                    raise KeyError('raised in a forked child')
                return
            seen.append('%s=%d' % (how, status(pid)))
        thread = threading.Thread(target=fork_in_thread, args=(seen,))
        thread.start()
        thread.join()
        print('forker saw: ' + ' '.join(seen))
        print('forker pids: ' + ' '.join(str(pid) for pid in pids) + ' .')
)";

std::vector<pid_t> pidsIn(const std::string& log) {
    const std::string marker = "Python: forker pids: ";
    std::vector<pid_t> pids;
    const auto at = log.find(marker);
    if (at == std::string::npos)
        return pids;
    std::istringstream in(log.substr(at + marker.size()));
    for (pid_t pid; in >> pid;)
        pids.push_back(pid);
    return pids;
}

// Kills the process when the test ends, however it ends.
struct KilledAtEnd {
    pid_t pid;
    ~KilledAtEnd() { kill(pid, SIGKILL); }
};

// The next start on the same profile, without the package, runs and ends on
// request.
void expectTheNextStartWorks(const UserTree& user, const fs::path& package) {
    auto report = [&] { return readText(user.output) + readText(user.log); };
    fs::remove_all(package);
    fs::remove(user.log);
    Program next({}, user.env, user.output);
    ASSERT_TRUE(waitForText(user.log, "] Init done in ")) << report();
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << report();
    EXPECT_EQ(next.exitCode(), std::optional<int>(0)) << report();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

} // namespace

TEST(EndToEnd, APluginsChildProcessesEndAsToldAndTheProgramEndsInOrder) {
#ifdef __SANITIZE_THREAD__
    // The thread sanitizer mistakes a thread that a forked child starts (the
    // queue's feeder) for one of the parent's, and the child hangs.
    GTEST_SKIP() << "threads in a forked child hang under the thread sanitizer";
#endif
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Forker";
    writeFile(package / "work.py", workModule);
    writeFile(package / "forker.py", forkerScript);
    auto report = [&] { return readText(user.output) + readText(user.log); };

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Python: forker pids: ")) << report();
    const std::string log = readText(user.log);
    EXPECT_NE(log.find("Python: forker saw: fork=True,0,-15 forkserver=True,0,-15 "
                       "spawn=True,0,-15 os._exit=7 sys.exit=5 raise=1 api=3 return=0 "
                       "thread=0\r\n"),
              std::string::npos)
        << log;
    const std::vector<pid_t> pids = pidsIn(log);
    EXPECT_EQ(pids.size(), 8u) << log;

    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << report();
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << report();
    const std::string ended = readText(user.log);
    EXPECT_NE(ended.find("] Shutting down with code 0.\r\n"), std::string::npos) << ended;
    // A child's SIGTERM was its own, and no child ran the program's teardown
    // or wrote to its log: the child that raised printed to its own stderr.
    for (const char* noise : {"Received SIGTERM", "Traceback", "Error"})
        EXPECT_EQ(ended.find(noise), std::string::npos) << noise << " in\n" << ended;
    const std::string output = readText(user.output);
    EXPECT_NE(output.find("KeyError: 'raised in a forked child'"), std::string::npos) << output;
    EXPECT_EQ(output.find("from another thread"), std::string::npos) << output;
    for (pid_t pid : pids)
        EXPECT_TRUE(waitFor([pid] { return !running(pid); })) << "process " << pid << " is left";

    expectTheNextStartWorks(user, package);
}

// A child that outlives the program holds neither its instance lock nor its
// socket: the next start runs and answers, and ends on request.
TEST(EndToEnd, AChildForkedFromAPluginThatOutlivesTheProgramHoldsNoInstance) {
    UserTree user;
    const fs::path package = user.config / "Quorvalent/Packages/Lingerer";
    writeFile(package / "lingerer.py", R"(import os, time
import quorvalent
class Lingerer(quorvalent.Plugin):
    def on_start(self):
        pid = os.fork()
        if pid == 0:
            time.sleep(1000)
        print('lingerer child: %d .' % pid)
)");
    auto report = [&] { return readText(user.output) + readText(user.log); };

    Program program({}, user.env, user.output);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitForText(user.log, "Python: lingerer child: ")) << report();
    const std::string log = readText(user.log);
    const pid_t child = std::stoi(log.substr(log.find("lingerer child: ") + 16));
    const KilledAtEnd killed{child};
    Program exit({"--exit"}, user.env, user.output);
    EXPECT_EQ(exit.exitCode(), std::optional<int>(0)) << report();
    EXPECT_EQ(program.exitCode(), std::optional<int>(0)) << report();
    ASSERT_TRUE(running(child)) << "the child is meant to outlive the program";

    expectTheNextStartWorks(user, package);
}
