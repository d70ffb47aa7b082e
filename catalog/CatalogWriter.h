#pragma once

#include "core/Event.h"
#include "core/MemWriter.h"
#include "core/Thread.h"
#include "core/Wstr.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

// The catalog's writer thread: writes the catalog cache file (CatalogFile)
// once the catalog has been quiet for a while after its last change, so that
// a burst of plugin updates costs one write.
//
// The thread waits on its stop event and the catalog's dirty event. Each
// change (Catalog::markDirty) restarts the quiet period; when the period
// runs out, the writer takes a snapshot of the items (the catalog's lock
// held for short slices of it), compresses and writes it without the lock,
// and goes back to waiting without a time-out. A write that must wait (catalog messages still
// pending), or that failed (logged), is tried again after another quiet period.
//
// The catalog owns its writer and outlives its thread: once stop has
// returned, the thread never touches the catalog again.
class CatalogWriter {
public:
    static constexpr uint32_t quietPeriodMs = 5000;
    static constexpr uint32_t stopTimeoutMs = 8000;

    // Waits like Event::waitAny.
    using WaitFunction = std::function<uint32_t(std::span<const Event::Handle>, uint32_t)>;

    // What the writer needs of its catalog; the functions are called on the
    // writer thread.
    struct Source {
        // Signalled (auto-reset) by each change of the catalog's items.
        Event::Handle dirty;
        // False while the file must not be written yet: the application or
        // its package manager is gone, or a plugin's "catalog" message is
        // pending (PackageManager::getTaskCounts). Called without the
        // catalog's lock.
        std::function<bool()> mayWrite;
        // Serialises the catalog's items into the payload (CatalogFile's
        // payload format), each item under the catalog's lock, so that no
        // plugin changes it while it is read.
        std::function<void(MemWriter&)> snapshot;
    };

    struct Options {
        uint32_t quietMs = quietPeriodMs;
        // Tests replace it to drive the quiet period without real time.
        WaitFunction wait;
    };

    CatalogWriter() = default;
    // Stops the thread (stopTimeoutMs).
    ~CatalogWriter();
    CatalogWriter(const CatalogWriter&) = delete;
    CatalogWriter& operator=(const CatalogWriter&) = delete;

    // Launches the thread unless it runs; path is the cache file. Owner's
    // thread (the application's start-up).
    void start(const wstr& path, Source source);
    void start(const wstr& path, Source source, Options options);

    // Stops the thread: no write starts afterwards, a pending change is not
    // written. Waits up to timeoutMs for the thread to end, then leaves it to
    // end by itself (it only finishes a write already under way). The thread
    // takes the catalog's lock for its snapshot: never call this while
    // holding that lock. Owner's thread (the application's shutdown).
    void stop(uint32_t timeoutMs = stopTimeoutMs);

    // Owner's thread.
    bool running() const { return thread_.running(); }

private:
    struct State;
    static void threadProc(const std::shared_ptr<State>& state);
    static bool stopAsked(const State& state);
    // True when the attempt is over (written, or stopped), false when it
    // must be tried again after another quiet period.
    static bool flush(State& state);

    Thread thread_;
    std::shared_ptr<State> state_;
};
