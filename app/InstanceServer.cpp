#include "app/InstanceServer.h"

#include "core/Format.h"
#include "platform/Error.h"
#include "platform/InstanceSocket.h"

#include <QObject>
#include <QSocketNotifier>

#include <stdexcept>
#include <unistd.h>

using namespace Platform;

InstanceServer::InstanceServer(const std::string& path, Handler handler)
    : path_(path), handler_(std::move(handler)), context_(std::make_unique<QObject>()) {
    listen_ = InstanceSocket::listen(path);
    if (!listen_.valid())
        throw std::runtime_error(
            formatNarrow("Failed to create the instance socket {} (error {})", path, lastError()));
    auto* notifier = new QSocketNotifier(listen_.get(), QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(),
                     [this] { acceptClients(); });
}

InstanceServer::~InstanceServer() {
    // The notifiers go before the descriptors they watch.
    context_.reset();
    clients_.clear();
    listen_.reset();
    unlink(path_.c_str());
}

void InstanceServer::acceptClients() {
    for (;;) {
        UniqueFd fd = InstanceSocket::accept(listen_.get());
        if (!fd.valid())
            return;
        const int raw = fd.get();
        auto* notifier = new QSocketNotifier(raw, QSocketNotifier::Read, context_.get());
        QObject::connect(notifier, &QSocketNotifier::activated, context_.get(),
                         [this, raw] { serve(raw); });
        clients_[raw] = {std::move(fd), notifier};
    }
}

void InstanceServer::serve(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end())
        return;
    if (auto message = InstanceSocket::readRequest(fd))
        InstanceSocket::writeReply(fd, handler_(*message));
    QSocketNotifier* notifier = it->second.second;
    notifier->setEnabled(false);
    notifier->deleteLater();
    clients_.erase(it);
}
