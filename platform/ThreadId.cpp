#include "platform/ThreadId.h"

#include <fstream>
#include <string>
#include <unistd.h>

namespace Platform {

uint32_t currentThreadId() {
    thread_local const uint32_t id = static_cast<uint32_t>(::gettid());
    return id;
}

namespace {

std::string taskFolder(uint32_t threadId) {
    return "/proc/self/task/" + std::to_string(threadId);
}

} // namespace

// The state letter follows the command name, which is in parentheses and
// may hold any character.
bool threadIsRunning(uint32_t threadId) {
    std::ifstream in(taskFolder(threadId) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'R';
}

bool threadExists(uint32_t threadId) {
    return ::access(taskFolder(threadId).c_str(), F_OK) == 0;
}

} // namespace Platform
