#include "app/MainLoop.h"

#include "platform/ThreadSanitizer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <climits>
#include <utility>

namespace {

// The code of a quit request not yet seen by a loop; -1 for none. Codes are
// the loop's 32-bit results, kept as unsigned values.
std::atomic<int64_t> quitRequest{-1};

} // namespace

struct MainLoop::Watch {
    Event::Handle event;
    std::function<void()> onSignal;
    std::unique_ptr<QSocketNotifier> notifier;
    bool pending = false;
    bool urgent = false;
};

MainLoop::MainLoop() : context_(std::make_unique<QObject>()), timer_(std::make_unique<QTimer>()) {
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    // The timer only wakes the loop; the pass that follows does the work.
    QObject::connect(timer_.get(), &QTimer::timeout, context_.get(), [] {});
}

MainLoop::~MainLoop() = default;

void MainLoop::watchEvent(const Event::Handle& event, std::function<void()> onSignal) {
    auto watch = std::make_unique<Watch>();
    watch->event = event;
    watch->onSignal = std::move(onSignal);
    watch->notifier = std::make_unique<QSocketNotifier>(event->fd(), QSocketNotifier::Read);
    Watch* w = watch.get();
    QObject::connect(w->notifier.get(), &QSocketNotifier::activated, context_.get(), [w] {
        if (w->event->wait(0) == Platform::WAIT_OBJECT_0)
            w->pending = true;
    });
    watches_.push_back(std::move(watch));
}

void MainLoop::watchUrgentEvent(const Event::Handle& event, std::function<void()> onSignal) {
    watchEvent(event, std::move(onSignal));
    watches_.back()->urgent = true;
}

void MainLoop::setPass(Pass pass) {
    pass_ = std::move(pass);
}

void MainLoop::postQuit(int code) {
    quitRequest.store(static_cast<uint32_t>(code));
    wake();
}

// An event of no type only wakes the loop. Qt owns and deletes it; its
// hand-off through Qt's queue, whose locks the thread sanitizer cannot see,
// is told to it for the code of ours that looks at every event.
void MainLoop::wake() {
    if (auto* app = QCoreApplication::instance()) {
        auto* event = new QEvent(QEvent::None);
        Platform::tsanRelease(event);
        QCoreApplication::postEvent(app, event);
    }
}

int MainLoop::exec() {
    auto* dispatcher = QAbstractEventDispatcher::instance();
    // Dispatchers differ in which of the two they emit on each round; either
    // one starts a pass.
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, context_.get(),
                     [this] { runPass(); });
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, context_.get(),
                     [this] { runPass(); });
    loopLevel_ = QThread::currentThread()->loopLevel() + 1;
    failure_ = nullptr;
    quitting_ = false;
    const int code = QCoreApplication::exec();
    QObject::disconnect(dispatcher, nullptr, context_.get(), nullptr);
    timer_->stop();
    loopLevel_ = -1;
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
    return code;
}

void MainLoop::runPass() {
    if (quitting_)
        return;
    if (inPass_ || QThread::currentThread()->loopLevel() != loopLevel_) {
        runModalPass();
        return;
    }
    if (endOnQuitRequest())
        return;
    inPass_ = true;
    try {
        for (auto& watch : watches_) {
            if (std::exchange(watch->pending, false))
                watch->onSignal();
        }
        arm(pass_ ? pass_() : std::nullopt);
    } catch (...) {
        failure_ = std::current_exception();
        endLoop(1);
    }
    inPass_ = false;
    // Ended inside a modal loop of the pass: that loop took the wake-up that
    // was meant for this one, which would sleep until the next event.
    if (quitting_)
        wake();
}

// Ending the loop ends the modal loops inside it too (their boxes answer as
// if closed).
void MainLoop::runModalPass() {
    if (std::exchange(inModalPass_, true))
        return;
    try {
        for (auto& watch : watches_) {
            if (watch->urgent && std::exchange(watch->pending, false))
                watch->onSignal();
        }
        endOnQuitRequest();
    } catch (...) {
        failure_ = std::current_exception();
        endLoop(1);
    }
    inModalPass_ = false;
}

bool MainLoop::endOnQuitRequest() {
    const int64_t quit = quitRequest.exchange(-1);
    if (quit < 0)
        return false;
    endLoop(static_cast<int>(quit));
    return true;
}

// The loop may still go round before exec returns: nothing more runs.
void MainLoop::endLoop(int code) {
    quitting_ = true;
    timer_->stop();
    QCoreApplication::exit(code);
}

void MainLoop::arm(std::optional<uint64_t> waitMs) {
    if (!waitMs) {
        timer_->stop();
        return;
    }
    timer_->start(static_cast<int>(std::min<uint64_t>(*waitMs, INT_MAX)));
}
