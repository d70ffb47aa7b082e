#pragma once

#include "core/Mutex.h"

#include <cstdint>
#include <vector>

// Tray-menu commands that other threads (the built-in plugin's items) hand
// to the main window. They wait here until the user-interface thread takes
// them; they are refused while no main window exists to carry them out.
class MainWindowCommands {
public:
    // The commands that open a file, folder or address outside the program
    // (the tray menu's ids).
    enum Opening : uint32_t {
        Documentation = 206,
        ChangeLog = 207,
        ConfigureApp = 209,
        BrowseProfile = 210,
    };

    // Opened once the windows exist, closed when their destruction starts;
    // closing drops what is still queued. User-interface thread.
    void setOpen(bool open);
    // Any thread.
    bool isOpen();
    // Queues the command; false, and nothing queued, while closed. Any thread.
    bool post(uint32_t command);
    // Removes and returns the queued commands, oldest first. User-interface
    // thread.
    std::vector<uint32_t> take();

private:
    Mutex mutex_;
    bool open_ = false;
    std::vector<uint32_t> queued_;
};
