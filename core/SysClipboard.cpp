#include "core/SysClipboard.h"

#include <mutex>

namespace Sys {
namespace {

constexpr size_t kMaxClipboardText = 0x800000;

class LocalClipboard : public ClipboardService {
public:
    wstr text() override {
        std::lock_guard lock(mutex_);
        return text_;
    }
    bool setText(const wstr& text) override {
        std::lock_guard lock(mutex_);
        text_ = text;
        return true;
    }

private:
    std::mutex mutex_;
    wstr text_;
};

struct Installed {
    std::mutex mutex;
    std::shared_ptr<ClipboardService> service = std::make_shared<LocalClipboard>();
};

Installed& installed() {
    static Installed instance;
    return instance;
}

std::shared_ptr<ClipboardService> current() {
    std::lock_guard lock(installed().mutex);
    return installed().service;
}

} // namespace

void setClipboardService(std::shared_ptr<ClipboardService> service) {
    if (!service)
        service = std::make_shared<LocalClipboard>();
    std::lock_guard lock(installed().mutex);
    installed().service = std::move(service);
}

wstr getClipboardText() {
    wstr text = current()->text();
    size_t nul = text.find(L'\0');
    if (nul != wstr::npos)
        text.resize(nul);
    return text.size() > kMaxClipboardText ? wstr() : text;
}

bool setClipboardText(const wstr& text) {
    return current()->setText(text);
}

} // namespace Sys
