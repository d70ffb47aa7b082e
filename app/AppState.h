#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "core/SysDisplay.h"
#include "core/Wstr.h"
#include "gui/Monitors.h"

namespace Json {
class Value;
}

// Where the user last placed the LaunchBox and the console, per monitor
// set-up, kept across runs in a JSON state file. When the current monitors
// match no stored set-up, the most recent one is scaled onto the primary
// monitor. Every change asks the application for a delayed save (timer 11).
// User-interface thread only; no lock.
class AppState {
public:
    static constexpr uint32_t saveTimerId = 11;
    static constexpr uint32_t saveDelayMs = 1000;
    static constexpr uint64_t maxFileSize = 16777216;
    static constexpr uint32_t fileFormat = 101;

    struct Point {
        int32_t x = 0;
        int32_t y = 0;
        bool operator==(const Point&) const = default;
    };

    // The LaunchBox: its top-left corner and width (it computes its height).
    struct WndRunGeoState {
        Point pos;
        int32_t size = 0;
    };
    // The console, in the terms of a window placement.
    struct WndConsoleGeoState {
        Point normalPos;
        Point normalSize;
        Point maxPos;
        bool maximized = false;
    };

    // One set-up: the geometry recorded under a monitor-set description.
    template <typename T> struct GeometryState : T {
        wstr monitors;
        uint64_t monitorIndex = 0; // the window's monitor within that set
        bool derived = false;      // made by adaptation; never written
    };
    template <typename T> using StateList = std::list<std::shared_ptr<GeometryState<T>>>;

    // The set-up chosen for the current monitors; with a source, its
    // geometry is to be derived from the source's, translated by origin and
    // scaled.
    template <typename T> struct BestGeometryState {
        std::shared_ptr<GeometryState<T>> state;
        std::shared_ptr<GeometryState<T>> source;
        Point origin; // the source monitor's top-left corner
        Point target; // the primary monitor's, where the derived geometry goes
        double scaleX = 1.0;
        double scaleY = 1.0;
    };

    // A window's placement: how it is shown, where it goes when maximized,
    // and its normal (restored) rectangle.
    struct WindowPlacement {
        static constexpr uint32_t showNormal = 1;
        static constexpr uint32_t showMaximized = 3;
        uint32_t showCmd = showNormal;
        Point minPosition;
        Point maxPosition;
        Sys::Rect normalRect;
    };

    // What the console tells of its window.
    class ConsoleWindow {
    public:
        virtual ~ConsoleWindow() = default;
        virtual bool isVisible() const = 0;
        // The window's current frame rectangle.
        virtual Sys::Rect rect() const = 0;
        // False when the placement cannot be read.
        virtual bool placement(WindowPlacement& placement) const = 0;
    };

    // Describes the current monitors.
    AppState();

    // Forgets every set-up, reads the file and schedules a save (which
    // rewrites the file in the current format). Failures are logged.
    void load(const wstr& path);

    // Records the LaunchBox rectangle for the current monitor set when the
    // [gui] geometry is "persistent".
    void captureRunGeometry(const Sys::Rect& windowRect);
    // The rectangle at which to show the LaunchBox; (0, 0, 400, height)
    // without a stored geometry.
    Sys::Rect applyRunGeometry(int32_t height);
    // Records the console's placement when the [console] geometry is
    // "persistent" and the window is visible. With keepNormalRect (while
    // the user drags or sizes it) an existing normal rectangle is kept.
    void captureConsoleGeometry(const ConsoleWindow& window, bool keepNormalRect);
    // The placement with which to show the console.
    WindowPlacement applyConsoleGeometry(int32_t minWidth, int32_t minHeight);

    // Asks the application to run save() (timer 11) in a second.
    void scheduleSave();
    // Writes the file, or deletes it when nothing is stored.
    void save();
    // Saves now when a save is scheduled: at exit, the timer never fires.
    void savePending();

    // "{x}x{y}".
    static wstr formatPoint(int32_t x, int32_t y);
    // Two integers separated by runs of blanks, tabs, 'x' or '*', with base
    // detection (a leading 0 reads octal); a missing or invalid one reads 0,
    // and values beyond 32 bits are clamped.
    static Point parsePoint(const wstr& text);

    // The current monitor set; the application describes it again after a
    // display change (timer 13).
    Monitors monitors;
    StateList<WndRunGeoState> runStates;
    StateList<WndConsoleGeoState> consoleStates;

private:
    void loadFile();
    bool readFormat101(const Json::Value& root, int& error);
    void readFormat100(const Json::Value& root);
    void writeFile();
    void deleteFile();
    template <typename T>
    std::shared_ptr<BestGeometryState<T>> findBestGeometry(StateList<T>& list);
    template <typename T>
    std::shared_ptr<GeometryState<T>> entryForCurrentMonitors(StateList<T>& list, bool& created);

    wstr path_;
    // Set when the file could not be read as a whole (a newer format, a
    // broken structure): it is then left as it is until a new capture.
    bool keepFile_ = false;
    bool savePending_ = false;
};
