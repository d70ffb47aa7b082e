#include "gui/UiCall.h"

#include "platform/ThreadSanitizer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

namespace Gui {

// Runs one queued work for each event it receives, on the thread it lives
// on.
class UiCall::Receiver : public QObject {
public:
    explicit Receiver(UiCall& owner) : owner_(owner) {}

    bool event(QEvent* event) override {
        // Made on the thread that queued the work.
        Platform::tsanAcquire(event);
        if (event->type() != QEvent::User)
            return QObject::event(event);
        owner_.runNext();
        return true;
    }

private:
    UiCall& owner_;
};

UiCall::UiCall()
    : thread_(QThread::currentThread()), receiver_(std::make_unique<Receiver>(*this)) {}

UiCall::~UiCall() = default;

bool UiCall::onUiThread() const {
    return QThread::currentThread() == thread_;
}

bool UiCall::attached() {
    std::lock_guard lock(mutex_);
    return !detached_ && QCoreApplication::instance();
}

bool UiCall::queue(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (detached_ || !QCoreApplication::instance())
        return false;
    queue_.push_back(std::move(work));
    // Qt's queue hands the event over under locks the sanitizer cannot see.
    auto* event = new QEvent(QEvent::User);
    Platform::tsanRelease(event);
    QCoreApplication::postEvent(receiver_.get(), event);
    return true;
}

void UiCall::runNext() {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty())
            return;
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    work();
}

void UiCall::detach() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        detached_ = true;
        dropped.swap(queue_);
    }
    // Its pending events go with it.
    receiver_.reset();
}

} // namespace Gui
