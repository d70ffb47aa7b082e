#include "app/AppState.h"

#include <json/json.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>
#include <unistd.h>

#include "app/AppConfig.h"
#include "app/AppServices.h"
#include "core/Logger.h"
#include "core/SysFile.h"
#include "core/SysTime.h"
#include "core/Utf.h"
#include "files/DataFs.h"

namespace {

using RunState = AppState::GeometryState<AppState::WndRunGeoState>;
using ConsoleState = AppState::GeometryState<AppState::WndConsoleGeoState>;

void warn(wstr message) {
    logMessage(Logger::Warning, std::move(message));
}

wstr fromUtf8(const std::string& text) {
    return wstr::fromUtf8(text.c_str());
}

int32_t clamp32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// value × scale, rounded by adding 0.5 and truncating, kept within 32 bits.
int32_t scaled(int64_t value, double scale) {
    double result = std::trunc(double(value) * scale + 0.5);
    if (std::isnan(result))
        return 0;
    return static_cast<int32_t>(std::clamp<double>(result, INT32_MIN, INT32_MAX));
}

Sys::Rect rectOf(int32_t x, int32_t y, int64_t width, int64_t height) {
    return {x, y, clamp32(x + width), clamp32(y + height)};
}

// The geometry setting of the LaunchBox or the console, when the
// application runs with settings.
bool isPersistent(bool console) {
    std::shared_ptr<AppServices> app = AppServices::instance();
    std::shared_ptr<const AppConfig> config = app ? app->config() : nullptr;
    if (!config)
        return false;
    const GeometrySetting& setting = console ? config->consoleGeometry : config->geometry;
    return setting.mode == GeometrySetting::Persistent;
}

// The element's ".monitors" when it describes a monitor set; empty (after a
// warning for a malformed text) when the element is to be skipped.
wstr monitorsOf(const Json::Value& element) {
    wstr text = fromUtf8(element[".monitors"].asString());
    std::vector<Monitors::Record> records;
    if (!Monitors::parseDescription(text, records)) {
        wstr message;
        warn(wstr::format(message, L"Invalid .monitors value found in state file: \"{}\"", text));
        return {};
    }
    return element[".monitors"].isString() ? text : wstr();
}

// "size" as a number, or the first value of a "WxH" text; 0 otherwise.
int32_t widthOf(const Json::Value& size) {
    if (size.isInt())
        return size.asInt();
    return size.isString() ? AppState::parsePoint(fromUtf8(size.asString())).x : 0;
}

// A point member when it is a text.
bool readPoint(const Json::Value& object, const char* name, AppState::Point& point) {
    const Json::Value& value = object[name];
    if (!value.isString())
        return false;
    point = AppState::parsePoint(fromUtf8(value.asString()));
    return true;
}

std::shared_ptr<RunState> readRunElement(const Json::Value& element) {
    auto entry = std::make_shared<RunState>();
    entry->monitors = monitorsOf(element);
    if (entry->monitors.empty() || !readPoint(element, "pos", entry->pos))
        return nullptr;
    entry->size = std::max(widthOf(element["size"]), 100);
    int64_t index = Monitors::indexByLargestOverlap(
        entry->monitors, rectOf(entry->pos.x, entry->pos.y, entry->size, 2));
    if (index < 0)
        return nullptr;
    entry->monitorIndex = static_cast<uint64_t>(index);
    return entry;
}

std::shared_ptr<ConsoleState> readConsoleElement(const Json::Value& element) {
    auto entry = std::make_shared<ConsoleState>();
    entry->monitors = monitorsOf(element);
    if (entry->monitors.empty())
        return nullptr;
    entry->maximized = element["maximized"].isBool() && element["maximized"].asBool();
    readPoint(element, "max_pos", entry->maxPos);
    if (!readPoint(element, "normal_pos", entry->normalPos) ||
        !readPoint(element, "normal_size", entry->normalSize))
        return nullptr;
    int64_t index = Monitors::indexByLargestOverlap(
        entry->monitors,
        rectOf(entry->normalPos.x, entry->normalPos.y, entry->normalSize.x, entry->normalSize.y));
    if (index < 0)
        return nullptr;
    entry->monitorIndex = static_cast<uint64_t>(index);
    return entry;
}

Json::Value runElement(const RunState& entry) {
    Json::Value element(Json::objectValue);
    element[".monitors"] = wstr::toUtf8(entry.monitors);
    element["pos"] = wstr::toUtf8(AppState::formatPoint(entry.pos.x, entry.pos.y));
    element["size"] = entry.size;
    return element;
}

Json::Value consoleElement(const ConsoleState& entry) {
    Json::Value element(Json::objectValue);
    element[".monitors"] = wstr::toUtf8(entry.monitors);
    element["maximized"] = entry.maximized;
    element["normal_pos"] =
        wstr::toUtf8(AppState::formatPoint(entry.normalPos.x, entry.normalPos.y));
    element["normal_size"] =
        wstr::toUtf8(AppState::formatPoint(entry.normalSize.x, entry.normalSize.y));
    element["max_pos"] = wstr::toUtf8(AppState::formatPoint(entry.maxPos.x, entry.maxPos.y));
    return element;
}

template <typename T, typename F>
Json::Value arrayOf(const AppState::StateList<T>& list, F element) {
    Json::Value array(Json::arrayValue);
    for (const auto& entry : list)
        if (!entry->derived)
            array.append(element(*entry));
    return array;
}

// Derives a position: relative to the source's monitor, scaled, placed on
// the primary monitor, which need not sit at 0,0.
template <typename T>
AppState::Point derivePoint(const AppState::Point& point,
                            const AppState::BestGeometryState<T>& best) {
    return {scaled(int64_t(point.x) - best.origin.x, best.scaleX) + best.target.x,
            scaled(int64_t(point.y) - best.origin.y, best.scaleY) + best.target.y};
}

// Moves a rectangle that lies on no current monitor into the work area of
// its nearest one.
Sys::Rect onSomeMonitor(const wstr& description, Sys::Rect rect) {
    if (Monitors::indexByLargestOverlap(description, rect) < 0)
        Monitors::fitRectToWorkArea(rect);
    return rect;
}

} // namespace

AppState::AppState() {
    monitors.describe();
}

// --- Loading ---------------------------------------------------------------------

void AppState::load(const wstr& path) {
    path_ = path;
    keepFile_ = false;
    Sys::removeLeftoverSideFiles(path_);
    runStates.clear();
    scheduleSave();
    consoleStates.clear();
    scheduleSave();
    try {
        loadFile();
    } catch (const std::exception& e) {
        wstr message;
        warn(wstr::format(message, L"Error while loading state from \"{}\". Error: {}", path_,
                          fromUtf8(e.what())));
        keepFile_ = true;
    }
}

void AppState::loadFile() {
    std::string text;
    try {
        Utf::ReadResult read = Utf::readTextFile(text, path_, maxFileSize);
        if (read == Utf::ReadResult::TooLarge) {
            wstr message;
            warn(wstr::format(message,
                              L"State file {} is larger than {} bytes: it is ignored "
                              L"and will be replaced",
                              path_, maxFileSize));
        }
        if (read != Utf::ReadResult::Read)
            return;
    } catch (const std::exception& e) {
        wstr message;
        warn(wstr::format(message, L"Error while reading state file {}. {}", path_,
                          fromUtf8(e.what())));
        deleteFile();
        return;
    }
    if (text.empty())
        return;
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::istringstream input(text);
    Json::Value parsed;
    std::string errors;
    if (!Json::parseFromStream(builder, input, &parsed, &errors)) {
        wstr message;
        warn(wstr::format(message, L"Failed to parse state file {}. {}", path_, fromUtf8(errors)));
        deleteFile();
        return;
    }
    // Read through a const reference: looking up a member must not add it.
    const Json::Value& root = parsed;
    int error = 0;
    const Json::Value& header = root.isObject() ? root[".header"] : Json::Value::nullSingleton();
    if (!root.isObject())
        error = 365;
    else if (!root.isMember(".header"))
        error = 366;
    else if (!header.isObject())
        error = 367;
    else if (!header.isMember("format"))
        error = 368;
    else if (!header["format"].isUInt())
        error = 369;
    else if (header["format"].asUInt() == fileFormat)
        readFormat101(root, error);
    else if (header["format"].asUInt() == 100)
        readFormat100(root);
    else {
        wstr message;
        warn(wstr::format(message, L"Failed to load state file {}. Unknown format version \"{}\".",
                          path_, header["format"].asUInt()));
        keepFile_ = true;
        return;
    }
    if (error == 0)
        return;
    std::shared_ptr<AppServices> app = AppServices::instance();
    wstr message;
    warn(wstr::format(message,
                      L"Failed to load state file {}. Invalid value or structure (error #{}/{}).",
                      path_, error, app ? app->appVersion() : wstr()));
    keepFile_ = true;
}

bool AppState::readFormat101(const Json::Value& root, int& error) {
    const Json::Value& geometry = root["geometry"];
    if (!geometry.isObject())
        return true;
    const Json::Value& launchbox = geometry["launchbox"];
    if (geometry.isMember("launchbox") && !launchbox.isArray()) {
        error = 443;
        return false;
    }
    for (const Json::Value& element : launchbox)
        if (auto entry = readRunElement(element))
            runStates.push_back(entry);
    const Json::Value& console = geometry["console"];
    if (geometry.isMember("console") && !console.isArray()) {
        error = 506;
        return false;
    }
    for (const Json::Value& element : console)
        if (auto entry = readConsoleElement(element))
            consoleStates.push_back(entry);
    return true;
}

void AppState::readFormat100(const Json::Value& root) {
    const Json::Value& launchbox = root["launchbox"];
    if (launchbox.isObject() && launchbox["pos"].isString()) {
        auto entry = std::make_shared<RunState>();
        entry->pos = parsePoint(fromUtf8(launchbox["pos"].asString()));
        entry->size = widthOf(launchbox["size"]);
        entry->monitors = monitors.description();
        if (entry->size > 0)
            runStates.push_back(entry);
    }
    const Json::Value& console = root["console"];
    if (console.isObject()) {
        auto entry = std::make_shared<ConsoleState>();
        entry->monitors = monitors.description();
        entry->maximized = console["maximized"].isBool() && console["maximized"].asBool();
        readPoint(console, "max_pos", entry->maxPos);
        if (readPoint(console, "normal_pos", entry->normalPos) &&
            readPoint(console, "normal_size", entry->normalSize))
            consoleStates.push_back(entry);
    }
}

// --- Capturing ---------------------------------------------------------------------

template <typename T>
std::shared_ptr<AppState::GeometryState<T>> AppState::entryForCurrentMonitors(StateList<T>& list,
                                                                              bool& created) {
    created = false;
    for (const auto& entry : list)
        if (Monitors::compareDescriptions(entry->monitors, monitors.description()) > 0)
            return entry;
    created = true;
    list.push_front(std::make_shared<GeometryState<T>>());
    return list.front();
}

void AppState::captureRunGeometry(const Sys::Rect& windowRect) {
    if (!isPersistent(false))
        return;
    Monitors::MonitorPtr monitor = monitors.fromRect(windowRect);
    if (!monitor)
        return;
    bool created = false;
    auto entry = entryForCurrentMonitors(runStates, created);
    entry->monitors = monitors.description();
    entry->monitorIndex = monitor->index;
    entry->derived = false;
    entry->pos = {windowRect.left, windowRect.top};
    entry->size = clamp32(int64_t(windowRect.right) - windowRect.left);
    keepFile_ = false;
    scheduleSave();
}

void AppState::captureConsoleGeometry(const ConsoleWindow& window, bool keepNormalRect) {
    if (!isPersistent(true) || !window.isVisible())
        return;
    Monitors::MonitorPtr monitor = monitors.fromRect(window.rect());
    WindowPlacement placement;
    if (!monitor || !window.placement(placement))
        return;
    bool created = false;
    auto entry = entryForCurrentMonitors(consoleStates, created);
    entry->monitors = monitors.description();
    entry->monitorIndex = monitor->index;
    entry->derived = false;
    if (created || !keepNormalRect) {
        const Sys::Rect& r = placement.normalRect;
        entry->normalPos = {r.left, r.top};
        entry->normalSize = {clamp32(int64_t(r.right) - r.left),
                             clamp32(int64_t(r.bottom) - r.top)};
        entry->maxPos = placement.maxPosition;
    }
    entry->maximized = placement.showCmd == WindowPlacement::showMaximized;
    keepFile_ = false;
    scheduleSave();
}

// --- Applying ----------------------------------------------------------------------

template <typename T>
std::shared_ptr<AppState::BestGeometryState<T>> AppState::findBestGeometry(StateList<T>& list) {
    // Without a monitor (a transient display state) nothing can be compared:
    // the stored set-ups stay, and nothing is derived.
    std::vector<Monitors::Record> current;
    Monitors::MonitorPtr primary = monitors.primary();
    if (list.empty() || !primary || !Monitors::parseDescription(monitors.description(), current))
        return nullptr;
    auto best = std::make_shared<BestGeometryState<T>>();
    for (auto it = list.begin(); it != list.end();) {
        int same = Monitors::compareDescriptions((*it)->monitors, monitors.description());
        if (same > 0) {
            best->state = *it;
            return best;
        }
        if (same == 0) {
            ++it;
            continue;
        }
        wstr message;
        warn(wstr::format(message, L"Invalid geometry description setup found: \"{}\" (deleting)",
                          (*it)->monitors));
        it = list.erase(it);
    }
    if (list.empty())
        return nullptr;
    best->source = list.front();
    std::vector<Monitors::Record> records;
    Monitors::parseDescription(best->source->monitors, records);
    const Monitors::Record& from =
        records[best->source->monitorIndex < records.size() ? best->source->monitorIndex : 0];
    best->origin = {from.left, from.top};
    const Sys::Rect& to = primary->info->monitor;
    best->target = {to.left, to.top};
    int64_t fromWidth = int64_t(from.right) - from.left;
    int64_t fromHeight = int64_t(from.bottom) - from.top;
    best->scaleX = fromWidth > 0 ? double(int64_t(to.right) - to.left) / double(fromWidth) : 1.0;
    best->scaleY = fromHeight > 0 ? double(int64_t(to.bottom) - to.top) / double(fromHeight) : 1.0;
    auto derived = std::make_shared<GeometryState<T>>();
    derived->monitors = monitors.description();
    derived->derived = true;
    list.push_front(derived);
    best->state = derived;
    return best;
}

Sys::Rect AppState::applyRunGeometry(int32_t height) {
    auto best = findBestGeometry(runStates);
    if (!best)
        return {0, 0, 400, height};
    RunState& state = *best->state;
    if (best->source) {
        const RunState& source = *best->source;
        state.pos = derivePoint(source.pos, *best);
        state.size = scaled(source.size, best->scaleX);
    }
    Sys::Rect rect =
        onSomeMonitor(monitors.description(), rectOf(state.pos.x, state.pos.y, state.size, height));
    return rectOf(rect.left, rect.top, int64_t(rect.right) - rect.left, height);
}

AppState::WindowPlacement AppState::applyConsoleGeometry(int32_t minWidth, int32_t minHeight) {
    WindowPlacement placement;
    placement.normalRect = rectOf(0, 0, int64_t(minWidth) + 1, int64_t(minHeight) + 1);
    auto best = findBestGeometry(consoleStates);
    if (!best)
        return placement;
    ConsoleState& state = *best->state;
    if (best->source) {
        const ConsoleState& source = *best->source;
        state.normalPos = derivePoint(source.normalPos, *best);
        state.maxPos = derivePoint(source.maxPos, *best);
        state.normalSize = {scaled(source.normalSize.x, best->scaleX),
                            scaled(source.normalSize.y, best->scaleY)};
        state.maximized = source.maximized;
    }
    Sys::Rect rect =
        onSomeMonitor(monitors.description(), rectOf(state.normalPos.x, state.normalPos.y,
                                                     state.normalSize.x, state.normalSize.y));
    int64_t width = int64_t(rect.right) - rect.left;
    int64_t height = int64_t(rect.bottom) - rect.top;
    placement.showCmd =
        state.maximized ? WindowPlacement::showMaximized : WindowPlacement::showNormal;
    placement.maxPosition = state.maxPos;
    placement.normalRect = rectOf(rect.left, rect.top, minWidth > width ? minWidth : width,
                                  minHeight > height ? minHeight : height);
    return placement;
}

// --- Saving ------------------------------------------------------------------------

void AppState::scheduleSave() {
    savePending_ = true;
    if (std::shared_ptr<AppServices> app = AppServices::instance())
        app->setTimer(saveTimerId, saveDelayMs);
}

void AppState::savePending() {
    if (savePending_)
        save();
}

void AppState::save() {
    savePending_ = false;
    if (path_.empty() || keepFile_)
        return;
    if (runStates.empty() && consoleStates.empty()) {
        deleteFile();
        return;
    }
    try {
        writeFile();
    } catch (const std::exception& e) {
        wstr message;
        warn(wstr::format(message, L"Error while saving state to \"{}\". Error: {}", path_,
                          fromUtf8(e.what())));
    }
}

void AppState::writeFile() {
    std::shared_ptr<AppServices> app = AppServices::instance();
    wstr creator;
    wstr::format(creator, L"{} v{}", DataFs::appTitle(), app ? app->appVersionString() : wstr());
    Json::Value root(Json::objectValue);
    Json::Value& header = root[".header"];
    header["creator"] = wstr::toUtf8(creator);
    header["creator_url"] = wstr::toUtf8(DataFs::appWebsite());
    header["format"] = fileFormat;
    header["modified"] = wstr::toUtf8(Sys::isoTimestamp(false));
    header["type"] = "state";
    if (!runStates.empty())
        root["geometry"]["launchbox"] = arrayOf(runStates, runElement);
    if (!consoleStates.empty())
        root["geometry"]["console"] = arrayOf(consoleStates, consoleElement);
    std::string text = Json::StyledWriter().write(root);
    Sys::writeFile(path_, text.data(), text.size());
}

void AppState::deleteFile() {
    ::unlink(wstr::toUtf8(path_).c_str());
}

// --- Points --------------------------------------------------------------------------

wstr AppState::formatPoint(int32_t x, int32_t y) {
    wstr text;
    return wstr::format(text, L"{}x{}", x, y);
}

AppState::Point AppState::parsePoint(const wstr& text) {
    std::vector<wstr> tokens = wstr::tokenize(text, L" \tx*");
    auto value = [&](std::size_t i) {
        if (i >= tokens.size() || !wstr::isInteger(tokens[i]))
            return 0;
        return clamp32(wstr::toInt64(tokens[i], 0));
    };
    return {value(0), value(1)};
}
