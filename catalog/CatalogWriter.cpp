#include "catalog/CatalogWriter.h"

#include "catalog/CatalogFile.h"
#include "core/Logger.h"
#include "platform/Error.h"

#include <exception>
#include <mutex>
#include <optional>

namespace {

constexpr uint64_t kPayloadGrowthStep = 65536;

} // namespace

// What the thread shares with its owner. The gate is held while the thread
// is inside the catalog (the snapshot), and taken by the owner once it has
// signalled the stop event: after that the thread never enters the catalog
// again.
struct CatalogWriter::State {
    wstr path;
    Source source;
    uint32_t quietMs = quietPeriodMs;
    WaitFunction wait;
    Event::Handle stop;
    std::mutex gate;
    // The error of the last failed write, logged once while it repeats.
    std::optional<uint32_t> reportedError;
};

CatalogWriter::~CatalogWriter() {
    stop();
}

void CatalogWriter::start(const wstr& path, Source source) {
    start(path, std::move(source), Options());
}

void CatalogWriter::start(const wstr& path, Source source, Options options) {
    if (thread_.running())
        return;
    auto state = std::make_shared<State>();
    state->path = path;
    state->source = std::move(source);
    state->quietMs = options.quietMs;
    state->wait = options.wait ? std::move(options.wait)
                               : [](std::span<const Event::Handle> handles, uint32_t timeoutMs) {
                                     return Event::waitAny(handles, timeoutMs);
                                 };
    state_ = state;
    Thread::launch(thread_, [state] {
        state->stop = Thread::currentStopEvent();
        threadProc(state);
    });
}

void CatalogWriter::stop(uint32_t timeoutMs) {
    if (const Event::Handle& stopEvent = thread_.stopEvent())
        stopEvent->set();
    if (state_) {
        // Waits for a snapshot under way; none starts after the signal.
        std::lock_guard gate(state_->gate);
    }
    Thread::stop(thread_, timeoutMs, false);
    state_.reset();
}

bool CatalogWriter::stopAsked(const State& state) {
    return state.stop->wait(0) == Platform::WAIT_OBJECT_0;
}

void CatalogWriter::threadProc(const std::shared_ptr<State>& state) {
    const Event::Handle handles[] = {state->stop, state->source.dirty};
    uint32_t waitMs = Platform::INFINITE;
    for (;;) {
        const uint32_t result = state->wait(handles, waitMs);
        if (result == Platform::WAIT_OBJECT_0)
            return;
        if (result == Platform::WAIT_OBJECT_0 + 1) {
            waitMs = state->quietMs;
        } else if (result == Platform::WAIT_TIMEOUT) {
            waitMs = flush(*state) ? Platform::INFINITE : state->quietMs;
        } else {
            wstr message;
            logMessage(Logger::Error,
                       wstr::format(message,
                                    L"Catalog's writer thread unexpectedly failed (result {}; "
                                    L"waitTime {:#08x}; error {})",
                                    result, waitMs, Platform::lastError()));
            return;
        }
    }
}

bool CatalogWriter::flush(State& state) {
    if (state.source.mayWrite && !state.source.mayWrite())
        return false;
    MemWriter payload(kPayloadGrowthStep);
    try {
        std::lock_guard gate(state.gate);
        if (stopAsked(state))
            return true;
        state.source.snapshot(payload);
    } catch (const std::exception& e) {
        wstr message;
        logMessage(Logger::Warning,
                   wstr::format(message, L"Failed to take a snapshot of the catalog: {}",
                                wstr::fromUtf8(e.what())));
        return false;
    }
    if (stopAsked(state))
        return true;
    if (CatalogFile::writePayload(state.path, payload.data(), payload.size())) {
        state.reportedError.reset();
        return true;
    }
    const uint32_t error = Platform::lastError();
    if (state.reportedError != error) {
        wstr message;
        logMessage(Logger::Warning, wstr::format(message,
                                                 L"Failed to write catalog file {} (error {}); "
                                                 L"trying again in {} ms",
                                                 state.path, error, state.quietMs));
    }
    state.reportedError = error;
    return false;
}
