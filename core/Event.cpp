#include "core/Event.h"

#include "core/Format.h"

#include <stdexcept>
#include <vector>

using namespace Platform;

void Event::create(bool autoReset) {
    auto handle = std::make_shared<EventFd>(autoReset);
    if (!handle->valid())
        throw std::runtime_error(
            formatNarrow("Failed to create Event object (error {})", lastError()));
    handle_ = std::move(handle);
}

bool Event::set() const {
    if (!handle_) {
        setLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return handle_->set();
}

bool Event::reset() const {
    if (!handle_) {
        setLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return handle_->reset();
}

uint32_t Event::wait(uint32_t timeoutMs) const {
    return waitAny({handle_}, timeoutMs);
}

uint32_t Event::waitAny(std::initializer_list<Handle> handles, uint32_t timeoutMs) {
    return waitAny(std::span<const Handle>(handles.begin(), handles.size()), timeoutMs);
}

uint32_t Event::waitAny(std::span<const Handle> handles, uint32_t timeoutMs) {
    std::vector<EventFd*> events;
    events.reserve(handles.size());
    for (const Handle& handle : handles)
        events.push_back(handle.get());
    return EventFd::waitAny(events, timeoutMs);
}
