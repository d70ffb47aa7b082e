#include "app/ConfigEdit.h"

#include "core/Hash.h"
#include "core/MessageBox.h"
#include "core/Path.h"
#include "core/SysInfo.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/LogRecords.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

wstr w(const fs::path& path) {
    return wstr::fromUtf8(path.string().c_str());
}

fs::path writeExecutable(const qvtest::TempDir& dir, const std::string& relative,
                         const std::string& content = "#!/bin/sh\n") {
    auto path = dir.write(relative, content);
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writable(const fs::path& path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
}

// Polls a condition until it holds or the time is up.
bool eventually(const std::function<bool()>& condition, milliseconds limit = seconds(30)) {
    return qvtest::waitFor(condition, limit, milliseconds(10));
}

class FakePackage : public ConfigEdit::Package {
public:
    FakePackage(uint32_t id, wstr name) : id_(id), name_(std::move(name)) {}
    uint32_t id() const override { return id_; }
    wstr name() const override { return name_; }
    std::vector<VDir::EntryInfo> resourceInfo(const wstr& resource) override {
        asked = resource;
        return layers;
    }
    std::optional<std::string> readTextResource(const wstr&, uint64_t limit) override {
        EXPECT_EQ(limit, ConfigEdit::resourceSizeLimit);
        return text;
    }

    std::vector<VDir::EntryInfo> layers;
    std::optional<std::string> text;
    wstr asked;

private:
    uint32_t id_;
    wstr name_;
};

// An install and profile tree in a temporary folder.
class FakeHost : public ConfigEdit::Host {
public:
    explicit FakeHost(const qvtest::TempDir& dir) {
        const wstr root = w(dir.path());
        f.install = root;
        f.program = Path::combine(root, L"bin/x64/quorvalent");
        f.defaultApp = Path::combine(root, L"default/App");
        f.local = Path::combine(root, L"local");
        f.profile = Path::combine(root, L"profile");
        f.profileUser = Path::combine(f.profile, L"User");
        fs::create_directories(wstr::toUtf8(f.defaultApp));
        fs::create_directories(wstr::toUtf8(f.local));
        fs::create_directories(wstr::toUtf8(f.profileUser));
    }
    const DataFs::Folders& folders() const override { return f; }
    std::optional<std::pair<wstr, bool>> editorSetting() override { return setting; }
    bool hasPackageManager() override { return packageManager; }
    std::shared_ptr<ConfigEdit::Package> findPackage(uint32_t id) override {
        auto it = packages.find(id);
        return it == packages.end() ? nullptr : it->second;
    }

    DataFs::Folders f;
    std::optional<std::pair<wstr, bool>> setting;
    bool packageManager = true;
    std::map<uint32_t, std::shared_ptr<FakePackage>> packages;
};

// A message box service that holds the thread that shows a box until the
// test lets it go.
class GateBox : public MessageBox {
public:
    int show(const wstr& text, const wstr&, uint32_t) override {
        {
            std::lock_guard lock(mutex_);
            shown_.push_back(text);
            threads_.push_back(gettid());
        }
        shownEvent.set();
        gate.wait(Platform::INFINITE);
        return IDOK;
    }
    std::vector<wstr> shown() {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    // The kernel ids of the threads that showed the boxes.
    std::vector<pid_t> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

    Event shownEvent{true};
    Event gate{false};

private:
    std::mutex mutex_;
    std::vector<wstr> shown_;
    std::vector<pid_t> threads_;
};

// Holds the worker at its nth look at the folders (1: as it starts, before
// it takes the queued requests; 2: preparing the first request's files)
// until the test lets it go.
class GatedHost : public FakeHost {
public:
    GatedHost(const qvtest::TempDir& dir, int holdAt) : FakeHost(dir), holdAt_(holdAt) {}
    const DataFs::Folders& folders() const override {
        if (std::this_thread::get_id() != testThread_ && ++workerLooks_ == holdAt_) {
            reached.set();
            gate.wait(Platform::INFINITE);
        }
        return f;
    }

    Event reached{false};
    Event gate{false};

private:
    const std::thread::id testThread_ = std::this_thread::get_id();
    const int holdAt_;
    mutable std::atomic<int> workerLooks_ = 0;
};

} // namespace

TEST(ConfigEdit, EditorsAreKnownByTheirFileName) {
    qvtest::TempDir dir;
    struct Row {
        const char* file;
        ConfigEdit::EditorKind in;
        ConfigEdit::EditorKind out;
    };
    const std::vector<Row> rows = {
        {"Notepad2.exe", ConfigEdit::MultiFile, ConfigEdit::Notepad2},
        {"notepad2", ConfigEdit::Plain, ConfigEdit::Notepad2},
        {"atom.cmd", ConfigEdit::Plain, ConfigEdit::Atom},
        {"atom", ConfigEdit::Plain, ConfigEdit::Atom},
        {"ATOM.EXE", ConfigEdit::Plain, ConfigEdit::Atom},
        {"subl", ConfigEdit::Plain, ConfigEdit::Sublime},
        {"subl.exe", ConfigEdit::Plain, ConfigEdit::Sublime},
        {"alone/sublime_text", ConfigEdit::Plain, ConfigEdit::MultiFile},
        {"notepad.exe", ConfigEdit::MultiFile, ConfigEdit::Plain},
        {"notepad", ConfigEdit::MultiFile, ConfigEdit::Plain},
        {"notepad++.exe", ConfigEdit::Plain, ConfigEdit::MultiFile},
        {"pn", ConfigEdit::Plain, ConfigEdit::MultiFile},
        {"pspad.exe", ConfigEdit::Plain, ConfigEdit::MultiFile},
        {"gedit", ConfigEdit::Plain, ConfigEdit::Plain},
        {"code", ConfigEdit::MultiFile, ConfigEdit::MultiFile},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::vector<wstr> args{w(writeExecutable(dir, row.file)), L"--flag"};
        const wstr path = args[0];
        EXPECT_EQ(ConfigEdit::recognize(args, row.in, L"Notepad2.exe"), row.out);
        EXPECT_EQ(args[0], path);
        EXPECT_EQ(args[1], L"--flag");
    }
}

TEST(ConfigEdit, SublimeTextIsStartedThroughSublBesideIt) {
    qvtest::TempDir dir;
    std::vector<wstr> args{w(writeExecutable(dir, "st/sublime_text"))};
    const auto subl = writeExecutable(dir, "st/subl");
    EXPECT_EQ(ConfigEdit::recognize(args, ConfigEdit::Plain, L"Notepad2.exe"), ConfigEdit::Sublime);
    EXPECT_EQ(args[0], w(subl));
}

TEST(ConfigEdit, ADesktopEntryStandsForItsProgram) {
    qvtest::TempDir dir;
    const auto program = writeExecutable(dir, "bin/subl");
    const auto entry =
        dir.write("Sublime.desktop",
                  "[Desktop Entry]\nType=Application\nName=S\nExec=" + program.string() + " %F\n");
    std::vector<wstr> args{w(entry)};
    EXPECT_EQ(ConfigEdit::recognize(args, ConfigEdit::Plain, L"Notepad2.exe"), ConfigEdit::Sublime);
    EXPECT_EQ(args[0], w(program));
}

TEST(ConfigEdit, CommandLinesSuitEachEditor) {
    const std::vector<ConfigEdit::EditFile> files = {
        {L"pkg.ini", L"/work/pkg.ini", true},
        {L"pkg.ini", L"/my profile/User/pkg.ini", false},
    };
    const Sys::Rect area{0, 0, 1600, 900};
    const wstr profile = L"/my profile";
    auto lines = [&](ConfigEdit::EditorKind kind, std::vector<wstr> args, wstr ini = {}) {
        return ConfigEdit::commandLines({kind, std::move(args), std::move(ini)}, files, profile,
                                        area);
    };
    using V = std::vector<wstr>;
    EXPECT_EQ(lines(ConfigEdit::Plain, {L"/bin/ed", L"-x"}),
              (V{L"/bin/ed -x /work/pkg.ini", L"/bin/ed -x \"/my profile/User/pkg.ini\""}));
    EXPECT_EQ(lines(ConfigEdit::MultiFile, {L"/bin/ed", L"-x"}),
              (V{L"/bin/ed -x /work/pkg.ini \"/my profile/User/pkg.ini\""}));
    EXPECT_EQ(lines(ConfigEdit::Sublime, {L"/opt/s t/subl"}),
              (V{L"\"/opt/s t/subl\" --new-window \"/my profile\" /work/pkg.ini \"/my "
                 L"profile/User/pkg.ini\""}));
    EXPECT_EQ(lines(ConfigEdit::Atom, {L"/bin/atom", L"--dropped"}),
              (V{L"/bin/atom \"/my profile\" /work/pkg.ini \"/my profile/User/pkg.ini\""}))
        << "further arguments are not passed, and no new window is asked for";
    EXPECT_EQ(lines(ConfigEdit::Notepad2, {L"/n/Notepad2.exe"}, L"/p/N2.ini"),
              (V{L"/n/Notepad2.exe /l /ns /q  /f /p/N2.ini /t pkg.ini /pl /work/pkg.ini",
                 L"/n/Notepad2.exe /l /ns /q  /f /p/N2.ini /pr \"/my profile/User/pkg.ini\""}));
}

TEST(ConfigEdit, Notepad2WindowsAreTiledOverTheWorkArea) {
    const Sys::Rect area{10, 20, 1611, 921}; // 1601 x 901: halves round down
    struct Row {
        size_t i, n;
        const wchar_t* placement;
    };
    const std::vector<Row> rows = {
        {0, 1, L""},
        {0, 2, L" /pl"},
        {1, 2, L" /pr"},
        {0, 3, L" /p 10,20,800,901"},
        {1, 3, L" /p 810,20,800,450"},
        {2, 3, L" /p 810,470,800,450"},
        {0, 4, L" /p 10,20,800,450"},
        {1, 4, L" /p 10,470,800,450"},
        {2, 5, L" /p 810,20,800,450"},
        {3, 5, L" /p 810,470,800,450"},
        {4, 5, L" /p 410,245,800,450"},
        {0, 6, L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.i << " of " << row.n);
        EXPECT_EQ(ConfigEdit::notepad2Placement(row.i, row.n, area), row.placement);
    }
}

TEST(ConfigEdit, TheApplicationsFilesAreTheExistingOnesAndTheUsersMainFile) {
    qvtest::TempDir dir;
    FakeHost host(dir);
    const auto paths = DataFs::appConfigFiles(host.f);
    std::ofstream(wstr::toUtf8(paths[0])) << "[app]\n";
    std::ofstream(wstr::toUtf8(paths[3])) << "[app]\n";
    std::vector<ConfigEdit::Report> reports;
    const auto files = ConfigEdit::prepareFiles(host, ConfigEdit::appTaskId, L"", reports);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], (ConfigEdit::EditFile{Path::fileName(paths[0]), paths[0], false}));
    EXPECT_EQ(files[1].path, paths[1]) << "the user's main file, even when missing";
    EXPECT_EQ(files[2].path, paths[3]);
    EXPECT_TRUE(reports.empty());
}

TEST(ConfigEdit, AnArchivedDefaultFileIsShownAsAReadOnlyCopy) {
    qvtest::TempDir dir;
    FakeHost host(dir);
    auto package = std::make_shared<FakePackage>(77, L"Clock");
    package->layers = {{L"/pkgs/Clock.quorvalent-package", L"clock.ini", 10, true, false, false},
                       {L"/live/Clock", L"clock.ini", 12, true, false, true}};
    package->text = "[clock]\nformat = %H\n";
    host.packages[77] = package;
    const wstr workPackages = w(dir.path() / "local/ConfigEdit/Packages");
    const wstr machineFile =
        Path::combine(host.f.profileUser, DataFs::configFileVariants(L"Clock", true)[1]);
    std::ofstream(wstr::toUtf8(machineFile)) << "";

    std::vector<ConfigEdit::Report> reports;
    const auto files = ConfigEdit::prepareFiles(host, 77, workPackages, reports);
    EXPECT_EQ(package->asked, L"clock.ini");
    ASSERT_EQ(files.size(), 4u);
    const wstr copy = Path::combine(workPackages, L"Clock/clock.ini");
    EXPECT_EQ(files[0], (ConfigEdit::EditFile{L"clock.ini", copy, true}));
    EXPECT_EQ(files[1], (ConfigEdit::EditFile{L"clock.ini", L"/live/Clock/clock.ini", false}));
    EXPECT_EQ(files[2].path, Path::combine(host.f.profileUser, L"clock.ini"));
    EXPECT_EQ(files[3].path, machineFile);
    EXPECT_EQ(readText(wstr::toUtf8(copy)), *package->text);
    EXPECT_FALSE(writable(wstr::toUtf8(copy))) << "the copy is read-only";

    // Opened again, the read-only copy is replaced.
    package->text = "[clock]\n";
    ConfigEdit::prepareFiles(host, 77, workPackages, reports);
    EXPECT_EQ(readText(wstr::toUtf8(copy)), "[clock]\n");
    EXPECT_TRUE(reports.empty());
}

TEST(ConfigEdit, APackageWithoutDefaultFileOpensNothing) {
    qvtest::TempDir dir;
    FakeHost host(dir);
    host.packages[5] = std::make_shared<FakePackage>(5, L"Bare");
    std::vector<ConfigEdit::Report> reports;
    const wstr work = w(dir.path() / "work");
    EXPECT_TRUE(ConfigEdit::prepareFiles(host, 5, work, reports).empty());
    EXPECT_TRUE(ConfigEdit::prepareFiles(host, 6, work, reports).empty()) << "unknown package";
    host.packageManager = false;
    EXPECT_TRUE(ConfigEdit::prepareFiles(host, 5, work, reports).empty());
    EXPECT_TRUE(reports.empty());
}

TEST(ConfigEdit, AMissingEditorFallsBackToNotepad2BesideTheProgram) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    host->setting = std::pair<wstr, bool>{L"/no/such/editor --x", true};
    const wstr notepad2 = DataFs::editorExePath(host->f);
    writeExecutable(dir, wstr::toUtf8(notepad2.substr(host->f.install.size() + 1)));
    const wstr shipped = DataFs::defaultEditorConfigPath(host->f);
    std::ofstream(wstr::toUtf8(shipped)) << "[Settings]\n";
    fs::permissions(wstr::toUtf8(shipped), fs::perms::owner_read);

    ConfigEdit edit(host);
    edit.resolveEditor();
    const auto editor = edit.editor();
    EXPECT_EQ(editor.kind, ConfigEdit::Notepad2);
    EXPECT_EQ(editor.args, std::vector<wstr>{notepad2});
    const wstr userIni = DataFs::userEditorConfigPath(host->f);
    EXPECT_EQ(editor.notepad2Ini, userIni);
    EXPECT_EQ(readText(wstr::toUtf8(userIni)), "[Settings]\n");
    EXPECT_TRUE(writable(wstr::toUtf8(userIni))) << "the user's copy is writable";
}

TEST(ConfigEdit, WithoutAConfiguredEditorTheEnvironmentChooses) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    const auto visual = writeExecutable(dir, "path/visual-editor");
    const auto editorProgram = writeExecutable(dir, "path/plain-editor");
    const auto opener = writeExecutable(dir, "path/xdg-open");
    qvtest::ScopedEnv env;
    env.set("PATH", (dir.path() / "path").string());
    ConfigEdit edit(host);

    env.set("VISUAL", "visual-editor --wait").set("EDITOR", "plain-editor");
    edit.resolveEditor();
    EXPECT_EQ(edit.editor().args, (std::vector<wstr>{w(visual), L"--wait"}));
    EXPECT_EQ(edit.editor().kind, ConfigEdit::Plain);

    env.set("VISUAL", "missing-editor");
    edit.resolveEditor();
    EXPECT_EQ(edit.editor().args, std::vector<wstr>{w(editorProgram)});

    env.unset("VISUAL").unset("EDITOR");
    edit.resolveEditor();
    EXPECT_EQ(edit.editor().args, std::vector<wstr>{w(opener)});

    fs::remove(opener);
    edit.resolveEditor();
    EXPECT_TRUE(edit.editor().args.empty()) << "then the shell's edit verb is used";
}

TEST(ConfigEdit, TheWorkerLivesWhileAnEditorRunsAndEndsAfterIt) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    const auto calls = dir.path() / "calls";
    // Records its arguments and process id, then stays until killed.
    const auto editorProgram = writeExecutable(
        dir, "editor", "#!/bin/sh\necho \"$$ $*\" >> '" + calls.string() + "'\nexec sleep 600\n");
    host->setting = std::pair<wstr, bool>{w(editorProgram), true};
    ConfigEdit edit(host);
    edit.resolveEditor();
    ASSERT_EQ(edit.editor().kind, ConfigEdit::MultiFile);

    edit.editApp();
    ASSERT_TRUE(eventually([&] { return !readText(calls).empty(); }));
    const std::string line = readText(calls);
    const wstr userFile = DataFs::appConfigFiles(host->f)[1];
    EXPECT_NE(line.find(wstr::toUtf8(userFile)), std::string::npos) << line;
    EXPECT_TRUE(fs::is_directory(dir.path() / "local/ConfigEdit/Packages"));
    EXPECT_TRUE(edit.running());

    kill(std::stoi(line), SIGKILL);
    EXPECT_TRUE(eventually([&] { return !edit.running(); }));
}

// The tray's Configure chosen again while the worker handles the first
// choice, without an editor (the desktop's opener gets each file): every
// file of both requests is opened.
TEST(ConfigEdit, ARequestRepeatedWhileTheFirstIsHandledIsNotLost) {
    for (int holdAt : {1, 2}) {
        SCOPED_TRACE(holdAt == 1 ? "as the worker starts" : "while it prepares the files");
        qvtest::TempDir dir;
        auto host = std::make_shared<GatedHost>(dir, holdAt);
        const auto files = DataFs::appConfigFiles(host->f);
        for (size_t i : {0, 1})
            std::ofstream(wstr::toUtf8(files[i])) << "[app]\n";
        const auto calls = dir.path() / "calls";
        writeExecutable(dir, "path/xdg-open",
                        "#!/bin/sh\necho \"$1\" >> '" + calls.string() + "'\n");
        qvtest::ScopedEnv env;
        env.unset("VISUAL").unset("EDITOR").set("PATH", (dir.path() / "nowhere").string());
        ConfigEdit edit(host);
        edit.resolveEditor();
        ASSERT_TRUE(edit.editor().args.empty());
        env.set("PATH", (dir.path() / "path").string());

        edit.editApp();
        ASSERT_EQ(host->reached.wait(30000), Platform::WAIT_OBJECT_0);
        // At the first hold the worker has the lock: ask from another thread.
        auto again = std::async(std::launch::async, [&] { edit.editApp(); });
        host->gate.set();
        again.wait();
        // The openers run on their own, so their lines may come in any order.
        auto opened = [&] {
            std::multiset<std::string> lines;
            std::istringstream in(readText(calls));
            for (std::string line; std::getline(in, line);)
                lines.insert(line);
            return lines;
        };
        const std::multiset<std::string> twice{wstr::toUtf8(files[0]), wstr::toUtf8(files[0]),
                                               wstr::toUtf8(files[1]), wstr::toUtf8(files[1])};
        EXPECT_TRUE(eventually([&] { return opened() == twice; })) << readText(calls);
        EXPECT_TRUE(eventually([&] { return !edit.running(); }));
    }
}

TEST(ConfigEdit, ARequestMadeWhileTheWorkerEndsIsNotLost) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    // Not executable: starting it fails with a message box, shown by the
    // worker after it decided to end.
    const auto broken = dir.write("broken-editor", "#!/bin/sh\n");
    host->setting = std::pair<wstr, bool>{w(broken), true};
    auto gate = std::make_shared<GateBox>();
    auto previous = MessageBox::install(gate);
    ConfigEdit edit(host);
    edit.resolveEditor();
    ASSERT_EQ(edit.editor().args.size(), 1u);

    edit.editApp();
    ASSERT_EQ(gate->shownEvent.wait(30000), Platform::WAIT_OBJECT_0);
    // The worker holds the box open: a second request must neither wait for
    // it nor be dropped.
    auto request = std::async(std::launch::async, [&] { edit.editApp(); });
    const bool returned = request.wait_for(seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "the request waited for the box: it was shown under the lock";
    EXPECT_EQ(gate->shownEvent.wait(30000), Platform::WAIT_OBJECT_0)
        << "the second request was handled";
    gate->gate.set();
    request.wait();
    EXPECT_TRUE(eventually([&] { return !edit.running(); }));
    const auto shown = gate->shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(
        shown[0].starts_with(L"Failed to launch editor: Access is denied.\nCommand line was:\n"))
        << wstr::toUtf8(shown[0]);
    MessageBox::install(previous);
}

// A worker that decided to end, and ends only after a newer one started,
// leaves the newer one's running flag alone.
TEST(ConfigEdit, AnOlderWorkerEndingLateLeavesTheNewerOneRunning) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    const auto broken = dir.write("broken-editor", "#!/bin/sh\n");
    const auto calls = dir.path() / "calls";
    const auto editorProgram = writeExecutable(
        dir, "editor", "#!/bin/sh\necho \"$$\" >> '" + calls.string() + "'\nexec sleep 600\n");
    auto gate = std::make_shared<GateBox>();
    auto previous = MessageBox::install(gate);
    ConfigEdit edit(host);
    host->setting = std::pair<wstr, bool>{w(broken), true};
    edit.resolveEditor();
    edit.editApp();
    // The first worker has decided to end and reports its failure.
    ASSERT_EQ(gate->shownEvent.wait(30000), Platform::WAIT_OBJECT_0);

    host->setting = std::pair<wstr, bool>{w(editorProgram), true};
    edit.resolveEditor();
    edit.editApp();
    ASSERT_TRUE(eventually([&] { return !readText(calls).empty(); }));
    const pid_t older = gate->threads().at(0);
    gate->gate.set();
    ASSERT_TRUE(
        eventually([&] { return !fs::exists("/proc/self/task/" + std::to_string(older)); }));
    EXPECT_TRUE(edit.running()) << "the newer worker still waits for its editor";

    kill(std::stoi(readText(calls)), SIGKILL);
    EXPECT_TRUE(eventually([&] { return !edit.running(); }));
    MessageBox::install(previous);
}

TEST(ConfigEdit, AnUnknownPackageNameIsReported) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    qvtest::RecordingMessageBox::Installed boxes;
    qvtest::LogRecords log;
    ConfigEdit edit(host);
    edit.editPackage(L"Nowhere");
    EXPECT_EQ(log.matching(Logger::Warning, L"Package not found: \"Nowhere\"").size(), 1u);
    ASSERT_EQ(boxes.box->shown().size(), 1u);
    EXPECT_EQ(boxes.box->shown()[0].style & MessageBox::MB_ICONMASK, MessageBox::MB_ICONWARNING);
    EXPECT_FALSE(edit.running());
}

TEST(ConfigEdit, APackageIsFoundByItsNameInAnyLetterCase) {
    qvtest::TempDir dir;
    auto host = std::make_shared<FakeHost>(dir);
    const uint32_t id = hashWstr32(L"clock");
    host->packages[id] = std::make_shared<FakePackage>(id, L"Clock");
    qvtest::RecordingMessageBox::Installed boxes;
    ConfigEdit edit(host);
    edit.editPackage(L"CLOCK");
    EXPECT_TRUE(boxes.box->shown().empty());
    EXPECT_TRUE(eventually([&] { return !edit.running(); }));
}
