// Start-up outcomes of other configurations, each in a child process (the
// interpreter starts once per process): see probe/PythonProbe.cpp.
#include "python/Python.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

struct Probe {
    int status = -1;
    std::multimap<std::string, std::string> lines;

    std::vector<std::string> values(const std::string& key) const {
        std::vector<std::string> result;
        for (auto [at, end] = lines.equal_range(key); at != end; ++at)
            result.push_back(at->second);
        return result;
    }
    std::string value(const std::string& key) const {
        std::vector<std::string> all = values(key);
        return all.size() == 1 ? all[0] : "<" + std::to_string(all.size()) + " values>";
    }
};

Probe runProbe(const std::string& path, const std::string& overridePath = "") {
    std::string home = wstr::toUtf8(Python::systemHome());
    std::string bytecode = wstr::toUtf8(Python::bytecodeFolder(wstr::fromUtf8(QV_BUILD_DIR)));
    std::string command = "'" QV_PYTHON_PROBE "' '" + home + "' '" + path + "' '" + overridePath +
                          "' '" + bytecode + "'";
    Probe probe;
    FILE* output = popen(command.c_str(), "r");
    if (!output)
        return probe;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, output)) > 0;)
        text.append(buffer, n);
    int status = pclose(output);
    probe.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = text.substr(start, end - start);
        std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            probe.lines.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
    return probe;
}

// The system parts of the search path: standard library, lib-dynload, dist-packages.
std::vector<std::string> systemFolders() {
    std::vector<std::string> folders;
    for (const wstr& folder : wstr::split(Python::searchPath(L"", L""), L";", true, false))
        folders.push_back(wstr::toUtf8(folder));
    return folders;
}

std::string joined(const std::vector<std::string>& folders) {
    std::string path;
    for (const std::string& folder : folders)
        path += (path.empty() ? "" : ";") + folder;
    return path;
}

TEST(StartUp, ProgramModulesThatExistAreImportedAndFinalizeClearsTheNamespace) {
    qvtest::TempDir program;
    program.write("quorvalent.py", "NAME = 'quorvalent'\n");
    program.write("quorvalent_util.py", "import quorvalent\n");
    std::vector<std::string> path = systemFolders();
    path.push_back(program.str());
    Probe probe = runProbe(joined(path));
    EXPECT_EQ(probe.status, 0) << probe.value("error");
    EXPECT_EQ(probe.value("gil held"), "no");
    EXPECT_EQ(probe.value("override"), "None");
    EXPECT_EQ(probe.value("program modules"), "quorvalent quorvalent_util");
    EXPECT_EQ(probe.value("main namespace"), "None");
    EXPECT_THAT(probe.values("log 1"), ElementsAre(StartsWith("Python 3.11.")));
    EXPECT_THAT(probe.values("log 2"), IsEmpty());
}

// They would slow start-up several-fold: they wait for the first plugin.
TEST(StartUp, ModulesForPluginsAreImportedAfterStartUp) {
    Probe probe = runProbe(joined(systemFolders()));
    EXPECT_EQ(probe.status, 0) << probe.value("error");
    EXPECT_EQ(probe.value("heavy modules at start"), "");
    // The build's bytecode is where the interpreter looks for it.
    EXPECT_EQ(probe.value("bytecode"), "read");
    EXPECT_EQ(probe.value("heavy modules for plugins"),
              "ctypes decimal importlib.abc inspect ssl urllib.request zipfile");
}

// Imported once the first plugin needs them; each failure is logged.
TEST(StartUp, EachMissingOptionalModuleGivesOneWarning) {
    std::vector<std::string> folders = systemFolders();
    Probe probe = runProbe(joined({folders[0], folders[1]}));
    EXPECT_EQ(probe.status, 0) << probe.value("error");
    std::vector<std::string> expected;
    for (const char* name : {"chardet", "natsort", "socks", "sockshandler"})
        expected.push_back(std::string("Failed to load Python module ") + name +
                           ". Error: ModuleNotFoundError: No module named '" + name + "'");
    EXPECT_EQ(probe.values("log 2"), expected);
}

TEST(StartUp, MissingRequiredModuleEndsStartUp) {
    std::vector<std::string> folders = systemFolders();
    Probe probe = runProbe(joined({folders[0], folders[2]}));
    EXPECT_EQ(probe.status, 1);
    EXPECT_THAT(probe.value("error"),
                StartsWith("Failed to initialize Python environment. Python exception: "
                           "ModuleNotFoundError: No module named '"));
}

TEST(StartUp, FailingProgramModuleEndsStartUp) {
    qvtest::TempDir program;
    program.write("quorvalent_net.py", "raise ImportError('net is broken')\n");
    std::vector<std::string> path = systemFolders();
    path.push_back(program.str());
    Probe probe = runProbe(joined(path));
    EXPECT_EQ(probe.status, 1);
    EXPECT_THAT(probe.value("error"),
                StartsWith("Failed to initialize Python environment. Python exception: "
                           "ImportError: net is broken\\nTraceback (most recent call last):"));
}

TEST(StartUp, MissingStandardLibraryAsksForAReinstall) {
    qvtest::TempDir empty;
    Probe probe = runProbe(empty.str());
    EXPECT_EQ(probe.status, 1);
    EXPECT_EQ(probe.value("error"), "Initialization aborted, some files might be inaccessible or "
                                    "corrupted. Please reinstall Quorvalent.");
    EXPECT_THAT(probe.values("log 3"), ElementsAre(StartsWith("Python start-up failed: ")));
}

} // namespace
