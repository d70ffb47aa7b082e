#pragma once

#include "core/Wstr.h"

#include <cstddef>
#include <deque>
#include <optional>

// The console's input history: the last 50 different lines, oldest first,
// and browsing through them with Up and Down from the input box.
// User-interface thread.
class ConsoleHistory {
public:
    static constexpr std::size_t maxEntries = 50;

    // Keeps a non-empty line that differs from the newest entry, dropping
    // the oldest when full.
    void add(const wstr& line);
    // Up: the older entry to put into the input box, nothing when the
    // history is empty. Browsing starts (past the newest entry, with the
    // input saved) when none is under way or the input is empty.
    std::optional<wstr> older(const wstr& input);
    // Down: the newer entry, or the saved input once past the newest;
    // nothing when not browsing, and an empty input ends browsing.
    std::optional<wstr> newer(const wstr& input);
    // Forgets the browsing position and the saved input.
    void endBrowsing();

    const std::deque<wstr>& entries() const { return entries_; }

private:
    std::deque<wstr> entries_;
    std::optional<std::size_t> index_;
    wstr saved_;
};
