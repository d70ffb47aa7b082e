#pragma once

#include "core/Event.h"
#include "core/Logger.h"
#include "platform/Error.h"
#include "tests/support/LogRecords.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Helpers of the tests of the catalog's files.
namespace qvtest {

// The messages of one level, since the records were started, that contain
// the text.
inline std::vector<std::wstring> messagesWith(const LogRecords& log, Logger::Level level,
                                              std::wstring_view text) {
    std::vector<std::wstring> found;
    for (const Logger::ItemPtr& item : log.all()) {
        if (item->level == level && item->message.find(text) != std::wstring::npos)
            found.push_back(item->message);
    }
    return found;
}

inline size_t countAt(const LogRecords& log, Logger::Level level) {
    return messagesWith(log, level, L"").size();
}

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline wstr widePath(const std::filesystem::path& path) {
    return wstr::fromUtf8(path.string().c_str());
}

// Stands in for the clock of the catalog writer's waits and records each
// wait's time-out. A quiet period runs out only when the test calls
// elapse(); with realTime the waits keep their time-outs.
class ScriptedWait {
public:
    explicit ScriptedWait(bool realTime = false) : realTime_(realTime) {}

    std::function<uint32_t(std::span<const Event::Handle>, uint32_t)> function() {
        return [this](std::span<const Event::Handle> handles, uint32_t timeoutMs) {
            return wait(handles, timeoutMs);
        };
    }

    // Ends the quiet period the writer waits in, or its next one.
    void elapse() { elapse_.set(); }

    // Waits until the writer has begun its n-th wait (10 s at most) and
    // returns that wait's time-out; 0 when it did not get there.
    uint32_t nth(size_t n) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(10),
                               [&] { return timeouts_.size() >= n; }))
            return 0;
        return timeouts_[n - 1];
    }

private:
    uint32_t wait(std::span<const Event::Handle> handles, uint32_t timeoutMs) {
        {
            std::lock_guard lock(mutex_);
            timeouts_.push_back(timeoutMs);
        }
        changed_.notify_all();
        if (realTime_ || timeoutMs == Platform::INFINITE)
            return Event::waitAny(handles, timeoutMs);
        std::vector<Event::Handle> all(handles.begin(), handles.end());
        all.push_back(elapse_.handle());
        const uint32_t result = Event::waitAny(all, Platform::INFINITE);
        return result == Platform::WAIT_OBJECT_0 + handles.size() ? Platform::WAIT_TIMEOUT : result;
    }

    bool realTime_;
    Event elapse_{true};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint32_t> timeouts_;
};

} // namespace qvtest
