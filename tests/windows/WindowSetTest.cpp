// The program's windows over the real application, as the program makes
// them: a package whose plugin lists two items and holds each execution
// until the test lets it end, the real catalog and history file, the item
// menu and the LaunchBox.
#include <boost/python.hpp>

#include "windows/WindowSet.h"

#include "app/App.h"
#include "app/Entry.h"
#include "catalog/Catalog.h"
#include "gui/CtrlEditPadded.h"
#include "python/GilLock.h"
#include "tests/app/PythonForTests.h"
#include "tests/core/ScopedEnv.h"
#include "tests/support/PrivateHome.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RecordingMessageBox.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"
#include "windows/TrayMenu.h"
#include "windows/WndRun.h"

#include <QApplication>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace bp = boost::python;
namespace fs = std::filesystem;

namespace {

wstr wide(const fs::path& path) {
    return wstr::fromUtf8(path.c_str());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the archive of a one-plugin package: items "Gate one" and "Gate
// two"; executing one waits until the gate file exists.
void writePackage(const fs::path& archive, const fs::path& gate) {
    const std::string script = R"(import os, time
import quorvalent
import quorvalent_api as api
class Gate(quorvalent.Plugin):
    def on_catalog(self):
        self.set_catalog([api.CatalogItem(self, 30, label, '', '/opt/gate/' + label, 0, False,
                                          0, 0, '') for label in ('Gate one', 'Gate two')])
    def on_execute(self, item, action):
        while not os.path.exists(')" +
                               gate.string() +
                               R"('):
            time.sleep(0.01)
)";
    GilLock gil;
    bp::dict names;
    names["path"] = archive.string();
    names["script"] = script;
    bp::exec("import zipfile\n"
             "with zipfile.ZipFile(path, 'w') as archive:\n"
             "    archive.writestr('gate.py', script)\n",
             names);
}

class WindowSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        qvtest::ensurePython();
        qvtest::qtApp();
        qvtest::pointHomeAt(root, env);
        root.write("install/quorvalent", "");
        // A theme with the status line.
        root.write("install/default/App/Quorvalent.ini",
                   "[app]\n[gui]\ntheme = lined\n[theme/lined]\nlayout = all\n");
        fs::create_directories(root.path() / "install/default/Packages");
        writePackage(root.path() / "install/default/Packages/Gate.quorvalent-package", gate);
        const auto program = root.write("install/bin/x64/quorvalent", "");
        app = std::make_shared<App>(wide(program));
        app->setWindowsFactory(&WindowSet::create);
        ASSERT_EQ(app->init(StartNormal), 0);
        windows = dynamic_cast<WindowSet*>(app->windows());
        ASSERT_NE(windows, nullptr);
        ASSERT_TRUE(spin([&] { return found(L"Gate one") && found(L"Gate two"); }))
            << "the package's items did not reach the catalog\n"
            << logText();
    }
    void TearDown() override {
        std::ofstream(gate).put('\n');
        if (app)
            app->shutdown();
        app.reset();
    }

    // Runs the user-interface thread's events and the App timers until the
    // condition holds.
    template <typename Condition> bool spin(Condition condition) {
        return qvtest::waitFor([&] {
            QApplication::processEvents();
            app->processTimers();
            return condition();
        });
    }

    WndRun& box() { return windows->launchBox(); }

    // The LaunchBox lists the label first when the user types it.
    bool found(const wstr& label) {
        windows->showLaunchBox(WndRun::ShowSearch);
        box().searchBox().setText(label);
        const bool first =
            !box().results()->empty() && (*box().results())[0]->item()->label() == label;
        windows->hideLaunchBox();
        return first;
    }

    // Types the label and presses Enter; the plugin's execution then waits
    // at the gate.
    void execute(const wstr& label) {
        windows->showLaunchBox(WndRun::ShowSearch);
        box().searchBox().setText(label);
        ASSERT_FALSE(box().results()->empty());
        ASSERT_EQ((*box().results())[0]->item()->label(), label);
        box().executeSelection(0);
    }

    std::vector<wstr> listed() {
        std::vector<wstr> labels;
        for (const auto& result : *box().results())
            labels.push_back(result->item()->label());
        return labels;
    }

    std::string logText() {
        std::string text;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(root.path() / "state", error))
            if (entry.path().extension() == ".log")
                text += readFile(entry.path());
        return text;
    }

    fs::path historyFile() {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(root.path() / "config", error))
            if (entry.path().extension() == ".history")
                return entry.path();
        return {};
    }

    qvtest::TempDir root;
    qvtest::ScopedEnv env;
    qvtest::RecordingMessageBox::Installed answers;
    const fs::path gate = root.path() / "gate";
    std::shared_ptr<App> app;
    WindowSet* windows = nullptr;
};

// The item menu's "Remove from History" then OK, twice: each time the
// history view drops the item at once, and the history file follows.
TEST_F(WindowSetTest, TheItemMenusRemovalLeavesTheHistoryView) {
    std::ofstream(gate).put('\n');
    execute(L"Gate one");
    execute(L"Gate two");
    ASSERT_TRUE(
        spin([&] { return readFile(historyFile()).find("Gate two") != std::string::npos; }));

    windows->showLaunchBox(WndRun::ShowHistory);
    ASSERT_EQ(box().mode(), WndRun::ModeHistory);
    ASSERT_EQ(listed().size(), 2u);
    ItemMenu& menu = windows->mainWindow().itemMenu();
    for (std::size_t left = 2; left > 0; --left) {
        const CatalogItemPtr item = box().selectedItem();
        ASSERT_TRUE(item);
        const wstr label = item->label();
        EXPECT_TRUE(menu.run(TrayMenu::RemoveItem, item, &box()));
        EXPECT_EQ(answers.box->shown().size(), 3 - left) << "one confirmation per removal";
        EXPECT_EQ(box().mode(), WndRun::ModeHistory);
        const std::vector<wstr> now = listed();
        EXPECT_EQ(now.size(), left - 1) << wstr::toUtf8(label);
        EXPECT_EQ(std::find(now.begin(), now.end(), label), now.end()) << wstr::toUtf8(label);
        EXPECT_EQ(readFile(historyFile()).find(wstr::toUtf8(label)), std::string::npos);
    }
    EXPECT_EQ(box().title(), L"History is empty (press Esc)");
}

// While the plugin's execution runs the status line counts its worker, and
// when the last one ends the line says so without anything else happening
// in the LaunchBox.
TEST_F(WindowSetTest, TheStatusLineFollowsThePluginTasks) {
    for (const wchar_t* label : {L"Gate one", L"Gate two"}) {
        execute(label);
        windows->showLaunchBox(WndRun::ShowSearch);
        // The execution, and on a slow machine a message of the search typed
        // before it that is still queued behind it.
        ASSERT_TRUE(spin([&] { return box().statusText().find(L" active") != wstr::npos; }))
            << wstr::toUtf8(box().statusText());
        std::ofstream(gate).put('\n');
        EXPECT_TRUE(spin([&] { return box().statusText().find(L"worker") == wstr::npos; }))
            << wstr::toUtf8(box().statusText());
        EXPECT_TRUE(box().isVisible());
        fs::remove(gate);
        windows->hideLaunchBox();
    }
}

} // namespace
