#pragma once

#include "core/Logger.h"
#include "core/MessageBox.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

// The log records made from its construction on.
class LogCapture {
public:
    LogCapture() {
        std::vector<Logger::ItemPtr> all = Logger::fetch(0);
        after_ = all.empty() ? 0 : all.back()->id;
    }

    // The messages of the level that contain the text.
    std::vector<std::wstring> find(Logger::Level level, std::wstring_view text) const {
        std::vector<std::wstring> found;
        for (const Logger::ItemPtr& item : Logger::fetch(after_)) {
            if (item->level == level && item->message.find(text) != std::wstring::npos)
                found.push_back(item->message);
        }
        return found;
    }
    size_t count(Logger::Level level) const {
        size_t n = 0;
        for (const Logger::ItemPtr& item : Logger::fetch(after_))
            n += item->level == level ? 1 : 0;
        return n;
    }

private:
    uint64_t after_ = 0;
};

// Counts the message boxes shown while it is installed, instead of writing
// them to stderr.
class BoxCapture {
public:
    BoxCapture() : box_(std::make_shared<Box>()) { previous_ = MessageBox::install(box_); }
    ~BoxCapture() { MessageBox::install(previous_); }
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    std::vector<std::pair<std::wstring, uint32_t>> shown() const {
        std::lock_guard lock(box_->mutex);
        return box_->shown;
    }

private:
    struct Box : MessageBox {
        int show(const wstr& text, const wstr&, uint32_t style) override {
            std::lock_guard lock(mutex);
            shown.emplace_back(text, style);
            return defaultAnswer(style);
        }
        mutable std::mutex mutex;
        std::vector<std::pair<std::wstring, uint32_t>> shown;
    };
    std::shared_ptr<Box> box_;
    std::shared_ptr<MessageBox> previous_;
};

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

} // namespace qvtest
