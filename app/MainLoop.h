#pragma once

#include "core/Event.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QSocketNotifier;
class QTimer;

// The user-interface thread's loop over Qt's event loop. The program's events
// reach it through socket notifiers on their descriptors; one timer follows
// the nearest due work. After every wake of the loop (whatever woke it) and
// before it waits again, one pass runs: the handlers of the events that were
// signalled, then the pass function, which returns the time until its next
// due work. Passes run only in the outermost loop and never inside each
// other: a modal loop (an open box or dialog) does not run them. A quit
// request and the urgent events are seen in a modal loop too, so that a box
// left open never keeps the program from ending.
//
// Needs the QCoreApplication (or QApplication). User-interface thread only,
// except postQuit.
class MainLoop {
public:
    // Returns the milliseconds until the next due work; nothing for none.
    using Pass = std::function<std::optional<uint64_t>()>;

    MainLoop();
    ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // Watches an auto-reset event: each signal is consumed, and onSignal
    // runs in the next pass, before the pass function. Events are handled in
    // the order they were added.
    void watchEvent(const Event::Handle& event, std::function<void()> onSignal);
    // Like watchEvent, and onSignal also runs inside a modal loop, once per
    // wake: for requests to end.
    void watchUrgentEvent(const Event::Handle& event, std::function<void()> onSignal);
    void setPass(Pass pass);

    // Runs the loop until a quit request and returns its code. An exception
    // thrown by a handler or the pass function ends the loop and leaves here.
    int exec();

    // Asks the loop to end with the code, like a posted quit message: the
    // request waits for the loop when none runs yet, and no further pass
    // runs once it has been seen. Any thread.
    static void postQuit(int code);

private:
    struct Watch;

    void runPass();
    void runModalPass();
    bool endOnQuitRequest();
    void arm(std::optional<uint64_t> waitMs);
    void endLoop(int code);
    static void wake();

    std::vector<std::unique_ptr<Watch>> watches_;
    Pass pass_;
    std::unique_ptr<QObject> context_;
    std::unique_ptr<QTimer> timer_;
    int loopLevel_ = -1;
    bool inPass_ = false;
    bool inModalPass_ = false;
    bool quitting_ = false;
    std::exception_ptr failure_;
};
