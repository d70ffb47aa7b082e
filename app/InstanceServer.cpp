#include "app/InstanceServer.h"

#include "core/Format.h"
#include "core/Logger.h"
#include "platform/Error.h"
#include "platform/InstanceSocket.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <stdexcept>
#include <unistd.h>

using namespace Platform;

InstanceServer::InstanceServer(const std::string& path, Handler handler)
    : InstanceServer(path, std::move(handler), Limits()) {}

InstanceServer::InstanceServer(const std::string& path, Handler handler, const Limits& limits)
    : path_(path), handler_(std::move(handler)), limits_(limits),
      context_(std::make_unique<QObject>()) {
    listen_ = InstanceSocket::listen(path);
    if (!listen_.valid())
        throw std::runtime_error(
            formatNarrow("Failed to create the instance socket {} (error {})", path, lastError()));
    listenInChild_.set(listen_.get());
    listenNotifier_ = new QSocketNotifier(listen_.get(), QSocketNotifier::Read, context_.get());
    QObject::connect(listenNotifier_, &QSocketNotifier::activated, context_.get(),
                     [this] { acceptClients(); });
}

InstanceServer::~InstanceServer() {
    // The notifiers go before the descriptors they watch.
    context_.reset();
    for (auto& [fd, client] : clients_)
        client.context.reset();
    clients_.clear();
    listenInChild_.set(-1);
    listen_.reset();
    unlink(path_.c_str());
}

void InstanceServer::acceptClients() {
    while (int(clients_.size()) < limits_.maxClients) {
        errno = 0;
        UniqueFd fd = InstanceSocket::accept(listen_.get());
        if (!fd.valid()) {
            if (errno == EPERM)
                continue; // another user's connection, closed
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                if (!exhausted_)
                    logMessage(Logger::Warning,
                               wstr::fromUtf8(formatNarrow("The instance socket cannot take a "
                                                           "connection (error {}): waiting {} ms",
                                                           errno, limits_.backoffMs)
                                                  .c_str()));
                exhausted_ = true;
                pauseAccepting(limits_.backoffMs);
            }
            return;
        }
        exhausted_ = false;
        const int raw = fd.get();
        auto context = std::make_unique<QObject>();
        auto* notifier = new QSocketNotifier(raw, QSocketNotifier::Read, context.get());
        QObject::connect(notifier, &QSocketNotifier::activated, context.get(),
                         [this, raw] { serve(raw); });
        auto* idle = new QTimer(context.get());
        idle->setSingleShot(true);
        QObject::connect(idle, &QTimer::timeout, context.get(), [this, raw] { drop(raw); });
        idle->start(limits_.idleMs);
        clients_[raw] = {std::move(fd), std::move(context)};
    }
    // Full: the waiting connections stay queued until a client goes.
    listenNotifier_->setEnabled(false);
}

void InstanceServer::pauseAccepting(int ms) {
    listenNotifier_->setEnabled(false);
    paused_ = true;
    QTimer::singleShot(ms, context_.get(), [this] {
        paused_ = false;
        listenNotifier_->setEnabled(true);
    });
}

void InstanceServer::serve(int fd) {
    if (clients_.count(fd) == 0)
        return;
    if (auto message = InstanceSocket::readRequest(fd))
        InstanceSocket::writeReply(fd, handler_(*message));
    drop(fd);
}

// Called from the client's own notifier or timer: its objects go later.
void InstanceServer::drop(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    QObject* context = it->second.context.release();
    for (auto* notifier : context->findChildren<QSocketNotifier*>())
        notifier->setEnabled(false);
    context->deleteLater();
    clients_.erase(it);
    if (!paused_)
        listenNotifier_->setEnabled(true);
}
