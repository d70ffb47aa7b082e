#include "app/AppState.h"

#include "core/SysTime.h"
#include "tests/app/FakeApp.h"
#include "tests/app/WstrPrint.h"
#include "tests/support/FakeDisplay.h"
#include "tests/support/LogRecords.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const wstr twoSideBySide = L"monitors(0,0,1920,1080,96dpi|1920,0,1920,1080,96dpi)";
const wstr oneWide = L"monitors(0,0,3840,2160,96dpi)";

using qvtest::Screens;

// A monitor at the default DPI with a taskbar of 40 pixels at its bottom.
std::shared_ptr<Sys::MonitorInfo> monitor(uintptr_t handle, Sys::Rect rect, bool primary) {
    return qvtest::monitor(handle, rect, {rect.left, rect.top, rect.right, rect.bottom - 40}, 96,
                           primary);
}

class Console : public AppState::ConsoleWindow {
public:
    bool visible = true;
    Sys::Rect frame;
    bool readable = true;
    AppState::WindowPlacement current;

    bool isVisible() const override { return visible; }
    Sys::Rect rect() const override { return frame; }
    bool placement(AppState::WindowPlacement& out) const override {
        out = current;
        return readable;
    }
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Json::Value parse(const std::string& text) {
    Json::Value root;
    std::istringstream in(text);
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr)) << text;
    return root;
}

std::string launchbox(const wstr& monitors, const std::string& pos, const std::string& size) {
    return "{\".monitors\": \"" + wstr::toUtf8(monitors) + "\", \"pos\": " + pos +
           ", \"size\": " + size + "}";
}

std::string file101(const std::string& geometry) {
    return "{\".header\": {\"format\": 101, \"type\": \"state\"}, \"geometry\": " + geometry + "}";
}

// A state file in a temporary folder, the screens, and the application with
// persistent geometry for both windows.
class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        screens->list = {monitor(1, {0, 0, 3840, 2160}, true)};
        Sys::setDisplayService(screens);
        auto config = std::make_shared<AppConfig>();
        config->geometry.mode = GeometrySetting::Persistent;
        config->consoleGeometry.mode = GeometrySetting::Persistent;
        app->setConfig(config);
    }
    void TearDown() override { Sys::setDisplayService(nullptr); }

    wstr path() const { return wstr::fromUtf8(file.c_str()); }
    void write(const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }
    std::vector<wstr> warnings() const {
        std::vector<wstr> texts;
        for (const auto& item : log.all())
            texts.push_back(item->message);
        return texts;
    }

    std::shared_ptr<Screens> screens = std::make_shared<Screens>();
    std::shared_ptr<qvtest::FakeApp> app = qvtest::FakeApp::install();
    qvtest::TempDir folder;
    std::filesystem::path file = folder.path() / "Quorvalent.state";
    qvtest::LogRecords log;
};

TEST_F(AppStateTest, PointsAreReadWithBaseDetectionAndClamped) {
    struct Case {
        const wchar_t* text;
        AppState::Point point;
    };
    for (const Case& c :
         std::initializer_list<Case>{{L"-8x-8", {-8, -8}},
                                     {L"1024x768", {1024, 768}},
                                     {L"010x20", {8, 20}},
                                     {L"100X200", {0, 0}},
                                     {L" 3 * 4 ", {3, 4}},
                                     {L"0x10", {0, 10}},
                                     {L"12", {12, 0}},
                                     {L"ax5", {0, 5}},
                                     {L"", {0, 0}},
                                     {L"99999999999x-99999999999", {INT32_MAX, INT32_MIN}}})
        EXPECT_EQ(AppState::parsePoint(c.text), c.point) << wstr::toUtf8(c.text);
    EXPECT_EQ(AppState::formatPoint(-8, 1024), L"-8x1024");
}

TEST_F(AppStateTest, MissingAndEmptyFilesLoadNothingQuietly) {
    AppState state;
    state.load(path());
    write("");
    state.load(path());
    EXPECT_TRUE(state.runStates.empty());
    EXPECT_TRUE(state.consoleStates.empty());
    EXPECT_TRUE(warnings().empty());
    EXPECT_EQ(app->timers.back(), (qvtest::FakeApp::Timer{11, 1000}));
}

// The save a second after start replaces a file too large to read: the log
// says so first.
TEST_F(AppStateTest, AHugeFileIsReportedBeforeItIsReplaced) {
    write("{}");
    std::filesystem::resize_file(file, AppState::maxFileSize + 1);
    AppState state;
    state.load(path());
    EXPECT_TRUE(state.runStates.empty());
    const wstr expected = L"State file " + path() +
                          L" is larger than 16777216 bytes: it is ignored and will be replaced";
    const auto all = warnings();
    EXPECT_EQ(std::count(all.begin(), all.end(), expected), 1);
    state.save();
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A kill during a write leaves the writer's side file; the next start
// removes those of writers that are gone, and nothing else.
TEST_F(AppStateTest, LeftoverSideFilesOfEndedWritersAreRemovedAtLoad) {
    pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const std::string stale = file.string() + "." + std::to_string(ended) + ".";
    for (int n = 1; n <= 3; ++n)
        folder.write(std::filesystem::path(stale + std::to_string(n) + ".tmp").filename(), "{");
    const std::string live = file.filename().string() + "." + std::to_string(getpid()) + ".9.tmp";
    const std::vector<std::string> kept = {live, "Quorvalent.state.x.1.tmp", "Other.state.1.1.tmp",
                                           "Quorvalent.state.1.tmp"};
    for (const auto& name : kept)
        folder.write(name, "{");
    AppState state;
    state.load(path());
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
}

TEST_F(AppStateTest, TextThatIsNotJsonIsDeleted) {
    write("{\"geometry\": ");
    AppState state;
    state.load(path());
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(warnings().size(), 1u);
    EXPECT_TRUE(warnings()[0].starts_with(L"Failed to parse state file " + path() + L". "));
}

TEST_F(AppStateTest, ReadsAndWritesFormat101) {
    write(file101("{\"launchbox\": [" + launchbox(oneWide, "\"100x200\"", "640") + ", " +
                  launchbox(twoSideBySide, "\"2000x10\"", "\"500x300\"") + ", " +
                  launchbox(twoSideBySide, "\"10x10\"", "50") + ", " +
                  launchbox(oneWide, "\"9000x10\"", "640") + ", " +
                  launchbox(oneWide, "123", "640") + ", " +
                  launchbox(L"monitors(nonsense)", "\"1x1\"", "640") +
                  "], \"console\": [{\".monitors\": \"" + wstr::toUtf8(oneWide) +
                  "\", \"maximized\": true, \"normal_pos\": \"-8x-8\", \"normal_size\": "
                  "\"800x600\", \"max_pos\": \"1x2\"}, {\".monitors\": \"" +
                  wstr::toUtf8(oneWide) + "\", \"normal_pos\": \"0x0\"}]}"));
    AppState state;
    state.load(path());
    EXPECT_EQ(warnings(),
              (std::vector<wstr>{
                  L"Invalid .monitors value found in state file: \"monitors(nonsense)\""}));
    ASSERT_EQ(state.runStates.size(), 3u);
    auto it = state.runStates.begin();
    EXPECT_EQ((*it)->pos, (AppState::Point{100, 200}));
    EXPECT_EQ((*it)->size, 640);
    EXPECT_EQ((*it)->monitorIndex, 0u);
    ++it;
    EXPECT_EQ((*it)->size, 500);
    EXPECT_EQ((*it)->monitorIndex, 1u);
    ++it;
    EXPECT_EQ((*it)->size, 100) << "widths below 100 are raised";
    ASSERT_EQ(state.consoleStates.size(), 1u);
    const auto& console = *state.consoleStates.front();
    EXPECT_TRUE(console.maximized);
    EXPECT_EQ(console.normalSize, (AppState::Point{800, 600}));
    EXPECT_EQ(console.maxPos, (AppState::Point{1, 2}));

    state.save();
    Json::Value root = parse(readFile(file));
    EXPECT_EQ(root[".header"]["format"].asUInt(), 101u);
    EXPECT_EQ(root[".header"]["type"].asString(), "state");
    EXPECT_EQ(root[".header"]["creator"].asString(), "Quorvalent v2.24 (0123abc)");
    int64_t time = 0;
    int64_t offset = 0;
    EXPECT_TRUE(Sys::parseIsoTimestamp(wstr::fromUtf8(root[".header"]["modified"].asCString()),
                                       &time, &offset));
    const Json::Value& boxes = root["geometry"]["launchbox"];
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1][".monitors"].asString(), wstr::toUtf8(twoSideBySide));
    EXPECT_EQ(boxes[1]["pos"].asString(), "2000x10");
    EXPECT_EQ(boxes[1]["size"].asInt(), 500);
    const Json::Value& consoles = root["geometry"]["console"];
    ASSERT_EQ(consoles.size(), 1u);
    EXPECT_EQ(consoles[0]["normal_pos"].asString(), "-8x-8");
    EXPECT_EQ(consoles[0]["normal_size"].asString(), "800x600");
    EXPECT_EQ(consoles[0]["max_pos"].asString(), "1x2");
    EXPECT_TRUE(consoles[0]["maximized"].asBool());
    EXPECT_NE(readFile(file).find("\n   \""), std::string::npos) << "styled, indent of three";
}

TEST_F(AppStateTest, ReadsFormat100IntoTheCurrentMonitorSet) {
    write("{\".header\": {\"format\": 100}, \"launchbox\": {\"pos\": \"10x20\", \"size\": "
          "\"300x1\"}, \"console\": {\"normal_pos\": \"1x2\", \"normal_size\": \"3x4\"}}");
    AppState state;
    state.load(path());
    ASSERT_EQ(state.runStates.size(), 1u);
    EXPECT_EQ(state.runStates.front()->monitors, oneWide);
    EXPECT_EQ(state.runStates.front()->size, 300);
    ASSERT_EQ(state.consoleStates.size(), 1u);
    EXPECT_FALSE(state.consoleStates.front()->maximized);
    state.save();
    Json::Value root = parse(readFile(file));
    EXPECT_EQ(root[".header"]["format"].asUInt(), 101u);
    EXPECT_EQ(root["geometry"]["launchbox"][0]["pos"].asString(), "10x20");
    EXPECT_FALSE(root.isMember("launchbox"));
}

TEST_F(AppStateTest, StructureFaultsAreReportedAndTheFileIsLeftAsItIs) {
    struct Case {
        const char* name;
        std::string text;
        std::string warning;
        size_t runStates;
    };
    const std::string invalid = "Invalid value or structure (error #";
    for (const Case& c : std::initializer_list<Case>{
             {"array root", "[1]", invalid + "365/2.24).", 0},
             {"no header", "{\"a\": 1}", invalid + "366/2.24).", 0},
             {"header not an object", "{\".header\": 5}", invalid + "367/2.24).", 0},
             {"no format", "{\".header\": {}}", invalid + "368/2.24).", 0},
             {"format not a number", "{\".header\": {\"format\": \"101\"}}", invalid + "369/2.24).",
              0},
             {"launchbox not a list", file101("{\"launchbox\": {}}"), invalid + "443/2.24).", 0},
             {"console not a list",
              file101("{\"launchbox\": [" + launchbox(oneWide, "\"1x1\"", "500") +
                      "], \"console\": 5}"),
              invalid + "506/2.24).", 1},
             {"newer format", "{\".header\": {\"format\": 102}, \"geometry\": {}}",
              "Unknown format version \"102\".", 0},
             {"element not an object",
              file101("{\"launchbox\": [" + launchbox(oneWide, "\"1x1\"", "500") + ", 7]}"),
              "Error while loading state from", 1}}) {
        SCOPED_TRACE(c.name);
        qvtest::LogRecords caseLog;
        write(c.text);
        AppState state;
        state.load(path());
        ASSERT_EQ(caseLog.all().size(), 1u);
        EXPECT_NE(wstr::toUtf8(caseLog.all()[0]->message).find(c.warning), std::string::npos)
            << wstr::toUtf8(caseLog.all()[0]->message);
        EXPECT_EQ(state.runStates.size(), c.runStates);

        // Neither deleted nor rewritten with the part that was read...
        state.save();
        EXPECT_EQ(readFile(file), c.text);
        // ...until the user places a window again.
        state.captureRunGeometry({5, 5, 505, 105});
        state.save();
        EXPECT_NE(readFile(file), c.text);
        EXPECT_EQ(parse(readFile(file))[".header"]["format"].asUInt(), 101u);
    }
}

TEST_F(AppStateTest, GeometryThatIsNotAnObjectLoadsNothingQuietly) {
    write(file101("\"none\""));
    AppState state;
    state.load(path());
    EXPECT_TRUE(warnings().empty());
    state.save();
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing stored: the file goes";
}

TEST_F(AppStateTest, CapturesOnlyPersistentGeometryAndSchedulesTheSave) {
    AppState state;
    auto config = std::make_shared<AppConfig>();
    app->setConfig(config);
    app->timers.clear();
    state.captureRunGeometry({10, 10, 610, 100});
    EXPECT_TRUE(state.runStates.empty());
    EXPECT_TRUE(app->timers.empty());

    config = std::make_shared<AppConfig>();
    config->geometry.mode = GeometrySetting::Persistent;
    app->setConfig(config);
    state.captureRunGeometry({10, 10, 610, 100});
    state.captureRunGeometry({20, 30, 520, 100});
    ASSERT_EQ(state.runStates.size(), 1u);
    EXPECT_EQ(state.runStates.front()->pos, (AppState::Point{20, 30}));
    EXPECT_EQ(state.runStates.front()->size, 500);
    EXPECT_EQ(state.runStates.front()->monitors, oneWide);
    EXPECT_EQ(app->timers, (std::vector<qvtest::FakeApp::Timer>{{11, 1000}, {11, 1000}}));

    // Another monitor set: a new set-up at the front.
    screens->list.push_back(monitor(2, {3840, 0, 5760, 1080}, false));
    state.monitors.describe();
    state.captureRunGeometry({4000, 10, 4500, 100});
    ASSERT_EQ(state.runStates.size(), 2u);
    EXPECT_EQ(state.runStates.front()->monitorIndex, 1u);
    EXPECT_EQ(state.runStates.front()->pos.x, 4000);

    // Nothing is captured without an application.
    app.reset();
    state.captureRunGeometry({0, 0, 500, 100});
    EXPECT_EQ(state.runStates.front()->pos.x, 4000);
}

// The program ends before the save timer fires: the capture is written
// then, and only a capture that was not saved yet is.
TEST_F(AppStateTest, AScheduledSaveIsWrittenWhenTheProgramEnds) {
    AppState state;
    state.load(path());
    state.save();
    ASSERT_FALSE(std::filesystem::exists(file)) << "nothing stored yet";
    state.captureRunGeometry({20, 30, 520, 100});
    ASSERT_FALSE(std::filesystem::exists(file));
    state.savePending();
    EXPECT_NE(readFile(file).find("\"20x30\""), std::string::npos) << readFile(file);

    std::filesystem::remove(file);
    state.savePending();
    EXPECT_FALSE(std::filesystem::exists(file)) << "saved already";
    state.captureRunGeometry({40, 30, 540, 100});
    state.save();
    std::filesystem::remove(file);
    state.savePending();
    EXPECT_FALSE(std::filesystem::exists(file)) << "the timer saved it";
}

TEST_F(AppStateTest, DerivesAGeometryFromTheMostRecentSetUp) {
    write(file101("{\"launchbox\": [" + launchbox(twoSideBySide, "\"1940x100\"", "800") + ", " +
                  launchbox(L"monitors(0,0,1024,768,96dpi)", "\"0x0\"", "500") + "]}"));
    AppState state;
    state.load(path());
    Sys::Rect rect = state.applyRunGeometry(300);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 200);
    EXPECT_EQ(rect.right, 1640);
    EXPECT_EQ(rect.bottom, 500);
    ASSERT_EQ(state.runStates.size(), 3u);
    EXPECT_TRUE(state.runStates.front()->derived);

    // Shown again: the derived set-up answers; it is not written.
    rect = state.applyRunGeometry(300);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(state.runStates.size(), 3u);
    state.save();
    EXPECT_EQ(parse(readFile(file))["geometry"]["launchbox"].size(), 2u);

    // Moving the window makes it a set-up of its own.
    state.captureRunGeometry({50, 60, 1650, 360});
    state.save();
    Json::Value boxes = parse(readFile(file))["geometry"]["launchbox"];
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0][".monitors"].asString(), wstr::toUtf8(oneWide));
    EXPECT_EQ(boxes[0]["pos"].asString(), "50x60");
}

// The primary monitor right of another one: a derived position lies on it.
TEST_F(AppStateTest, ADerivedGeometryGoesOnThePrimaryMonitorWhereverItIs) {
    screens->list = {monitor(1, {0, 0, 1920, 1080}, false),
                     monitor(2, {1920, 0, 3840, 1080}, true)};
    write(file101("{\"launchbox\": [" +
                  launchbox(L"monitors(0,0,960,540,96dpi)", "\"100x50\"", "500") + "]}"));
    AppState state;
    state.load(path());
    const Sys::Rect rect = state.applyRunGeometry(300);
    EXPECT_EQ(rect.left, 1920 + 200);
    EXPECT_EQ(rect.top, 100);
    EXPECT_EQ(rect.right, 1920 + 200 + 1000);
}

TEST_F(AppStateTest, WithoutMonitorsStoredSetUpsAreKept) {
    write(file101("{\"launchbox\": [" + launchbox(twoSideBySide, "\"1940x100\"", "800") + "]}"));
    screens->list.clear();
    AppState state;
    state.load(path());
    Sys::Rect rect = state.applyRunGeometry(300);
    EXPECT_EQ(rect.right, 400) << "the default rectangle";
    EXPECT_EQ(rect.bottom, 300);
    EXPECT_EQ(state.runStates.size(), 1u);
    EXPECT_TRUE(warnings().empty());
    state.save();
    EXPECT_EQ(parse(readFile(file))["geometry"]["launchbox"].size(), 1u);

    screens->list = {monitor(1, {0, 0, 1920, 1080}, true),
                     monitor(2, {1920, 0, 3840, 1080}, false)};
    state.monitors.describe();
    EXPECT_EQ(state.applyRunGeometry(300).left, 1940);
}

TEST_F(AppStateTest, InvalidStoredSetUpsAreDroppedWhenChoosing) {
    AppState state;
    state.load(path());
    auto bad = std::make_shared<AppState::GeometryState<AppState::WndRunGeoState>>();
    bad->monitors = L"monitors()";
    state.runStates.push_back(bad);
    state.save();
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(state.applyRunGeometry(120).right, 400);
    EXPECT_TRUE(state.runStates.empty());
    EXPECT_EQ(warnings(),
              (std::vector<wstr>{
                  L"Invalid geometry description setup found: \"monitors()\" (deleting)"}));
    state.save();
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(AppStateTest, HandEditedExtremesStayWithinRange) {
    write(file101(
        "{\"launchbox\": [" +
        launchbox(L"monitors(2147483000,0,640,1000,96dpi)", "\"2147483600x0\"", "2147483000") +
        "], \"console\": [{\".monitors\": \"monitors(-2147483000,0,10,10,96dpi)\", "
        "\"normal_pos\": \"-2147483000x0\", \"normal_size\": \"2147483647x2147483647\", "
        "\"max_pos\": \"-2147483647x-2147483647\"}]}"));
    AppState state;
    state.load(path());
    ASSERT_EQ(state.runStates.size(), 1u);
    ASSERT_EQ(state.consoleStates.size(), 1u);
    // Scaled onto the current monitor the sizes exceed 32 bits: they end at
    // the limit instead of wrapping around.
    Sys::Rect rect = state.applyRunGeometry(300);
    EXPECT_GE(rect.left, 0);
    EXPECT_LE(rect.left, 3840);
    EXPECT_EQ(rect.right, INT32_MAX);
    EXPECT_EQ(rect.bottom, rect.top + 300);
    AppState::WindowPlacement placement = state.applyConsoleGeometry(100, 100);
    EXPECT_GE(placement.normalRect.left, 0);
    EXPECT_EQ(placement.normalRect.right, INT32_MAX);
    EXPECT_EQ(placement.normalRect.bottom, INT32_MAX);
}

TEST_F(AppStateTest, ConsolePlacement) {
    AppState state;
    AppState::WindowPlacement fallback = state.applyConsoleGeometry(300, 200);
    EXPECT_EQ(fallback.showCmd, 1u);
    EXPECT_EQ(fallback.normalRect.right, 301);
    EXPECT_EQ(fallback.normalRect.bottom, 201);

    Console window;
    window.frame = {100, 100, 900, 700};
    window.current.normalRect = {100, 100, 900, 700};
    window.current.maxPosition = {-8, -8};
    state.captureConsoleGeometry(window, true);
    ASSERT_EQ(state.consoleStates.size(), 1u);
    EXPECT_EQ(state.consoleStates.front()->normalSize, (AppState::Point{800, 600}));

    // Maximized, then sized while the user drags: the normal rectangle stays.
    window.current.showCmd = AppState::WindowPlacement::showMaximized;
    window.current.normalRect = {0, 0, 3840, 2120};
    state.captureConsoleGeometry(window, true);
    EXPECT_TRUE(state.consoleStates.front()->maximized);
    EXPECT_EQ(state.consoleStates.front()->normalPos, (AppState::Point{100, 100}));

    AppState::WindowPlacement shown = state.applyConsoleGeometry(1000, 100);
    EXPECT_EQ(shown.showCmd, 3u);
    EXPECT_EQ(shown.maxPosition, (AppState::Point{-8, -8}));
    EXPECT_EQ(shown.normalRect.left, 100);
    EXPECT_EQ(shown.normalRect.right, 1100) << "widened to the minimum width";
    EXPECT_EQ(shown.normalRect.bottom, 700);

    // Hidden, or its placement unreadable: nothing is recorded.
    window.current.showCmd = AppState::WindowPlacement::showNormal;
    window.visible = false;
    state.captureConsoleGeometry(window, false);
    window.visible = true;
    window.readable = false;
    state.captureConsoleGeometry(window, false);
    EXPECT_TRUE(state.consoleStates.front()->maximized);
    EXPECT_EQ(state.consoleStates.size(), 1u);
}

} // namespace
