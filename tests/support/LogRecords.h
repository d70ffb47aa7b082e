#pragma once

#include "core/Logger.h"

#include <vector>

namespace qvtest {

// The log records written after the point where it was created; tests in one
// process share the program-wide log.
class LogRecords {
public:
    LogRecords() {
        const auto all = Logger::fetch(0);
        start_ = all.empty() ? 0 : all.back()->id;
    }

    std::vector<Logger::ItemPtr> all() const { return Logger::fetch(start_); }

    // The records of one level and exactly this text.
    std::vector<Logger::ItemPtr> matching(Logger::Level level, const wstr& text) const {
        std::vector<Logger::ItemPtr> found;
        for (const auto& item : all())
            if (item->level == level && item->message == text)
                found.push_back(item);
        return found;
    }

private:
    uint64_t start_ = 0;
};

} // namespace qvtest
