#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/Event.h"
#include "core/Wstr.h"

// Watches folders, each with its whole subtree, for changes and keeps the
// changes as events per watch until the consumer fetches them. All inotify
// work runs on one monitor thread: adding and removing watches are requests
// that it runs; the thread ends when no watch is left and starts again with
// the next watch. Each folder of a watched tree has its own inotify watch; a
// new folder gets one at once and is scanned for what was created in it
// meanwhile.
class FileMonitor {
public:
    enum Kind : uint32_t {
        Added = 1,
        Removed = 2,
        Renamed = 3,      // within one folder; across folders: Removed then Added
        Modified = 4,     // written or attributes changed
        WatchRemoved = 5, // on request
        WatchClosed = 6,  // the folder itself went away or was unmounted
        Overflow = 7,     // the system dropped changes: treat the whole folder as changed
    };

    struct Event {
        wstr path;         // relative to the watched folder; the folder itself for kinds 5 to 7
        wstr oldName;      // renames: the previous file name (last component only)
        uint64_t time = 0; // monotonic milliseconds when the change was read
        uint32_t kind = 0;
        uint32_t watchId = 0;
    };
    using EventPtr = std::shared_ptr<const Event>;

    // Throws when the inotify descriptor cannot be created.
    FileMonitor();
    ~FileMonitor();
    FileMonitor(const FileMonitor&) = delete;
    FileMonitor& operator=(const FileMonitor&) = delete;

    // Watches the folder; the consumer's event is signalled whenever events
    // for the watch are queued. Returns the watch id, or 0 when the folder
    // cannot be listed. Any thread.
    uint32_t addDir(const wstr& path, const ::Event::Handle& consumer);
    // Ends the watches; each gets one WatchRemoved event. Any thread.
    void removeDir(const std::vector<uint32_t>& ids);
    // The queued events of those ids, id after id, each in arrival order; the
    // lists are emptied. Any thread.
    std::vector<EventPtr> fetchEvents(const std::vector<uint32_t>& ids);
    // Ends every watch and the thread, waiting up to timeoutMs for it. Owner's thread.
    void stop(uint32_t timeoutMs = 7000);

    // Tests only: called by addDir under the monitor's lock just before it
    // launches the monitor thread.
    void setLaunchHook(std::function<void()> hook);

private:
    class Core;
    class Worker;
    struct Request;
    void queueAdd(Request request);
    std::shared_ptr<Core> core_;
};
