#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QObject;
class QSocketNotifier;

// Answers the private messages that other starts of the program send to the
// running instance (platform/InstanceSocket.h), inside the user-interface
// thread's Qt loop: where the main window of a desktop would receive them.
// Nothing listens before it exists, so a second start sees no instance.
// User-interface thread only.
class InstanceServer {
public:
    // The message's answer.
    using Handler = std::function<uint32_t(uint32_t message)>;

    // Listens at path. Throws std::runtime_error "Failed to create the
    // instance socket {} (error {})".
    InstanceServer(const std::string& path, Handler handler);
    // Stops listening and removes the socket file.
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

private:
    void acceptClients();
    void serve(int fd);

    std::string path_;
    Handler handler_;
    Platform::UniqueFd listen_;
    std::unique_ptr<QObject> context_;
    std::map<int, std::pair<Platform::UniqueFd, QSocketNotifier*>> clients_;
};
