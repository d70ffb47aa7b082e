#include "windows/ConsoleHistory.h"

void ConsoleHistory::add(const wstr& line) {
    if (line.empty() || (!entries_.empty() && entries_.back() == line))
        return;
    if (entries_.size() >= maxEntries)
        entries_.pop_front();
    entries_.push_back(line);
}

std::optional<wstr> ConsoleHistory::older(const wstr& input) {
    if (entries_.empty())
        return std::nullopt;
    if (input.empty() || !index_) {
        saved_ = input;
        index_ = entries_.size();
    }
    if (*index_ > 0)
        --*index_;
    return entries_[*index_];
}

std::optional<wstr> ConsoleHistory::newer(const wstr& input) {
    if (entries_.empty() || !index_)
        return std::nullopt;
    if (input.empty()) {
        endBrowsing();
        return std::nullopt;
    }
    if (*index_ + 1 >= entries_.size()) {
        index_ = entries_.size();
        return saved_;
    }
    ++*index_;
    return entries_[*index_];
}

void ConsoleHistory::endBrowsing() {
    index_.reset();
    saved_.clear();
}
