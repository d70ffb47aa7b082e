#include "app/MainWindowCommands.h"

#include <utility>

void MainWindowCommands::setOpen(bool open) {
    Mutex::Lock lock(mutex_);
    open_ = open;
    if (!open)
        queued_.clear();
}

bool MainWindowCommands::isOpen() {
    Mutex::Lock lock(mutex_);
    return open_;
}

bool MainWindowCommands::post(uint32_t command) {
    Mutex::Lock lock(mutex_);
    if (!open_)
        return false;
    queued_.push_back(command);
    return true;
}

std::vector<uint32_t> MainWindowCommands::take() {
    Mutex::Lock lock(mutex_);
    return std::exchange(queued_, {});
}
