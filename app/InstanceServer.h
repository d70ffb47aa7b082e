#pragma once

#include "platform/ForkedChild.h"
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
// Nothing listens before it exists, so a second start sees no instance; a
// child forked from the program does not keep listening.
// Connections are bounded in number and in how long they may stay silent,
// and running out of descriptors pauses accepting instead of spinning, so
// idle or hostile clients of the same user cannot freeze the loop.
// User-interface thread only.
class InstanceServer {
public:
    // The message's answer.
    using Handler = std::function<uint32_t(uint32_t message)>;

    struct Limits {
        // A start sends one word and waits for one: a handful at a time is
        // plenty, and each open connection costs a descriptor.
        int maxClients = 32;
        // A client sends its word at once; one silent this long is dropped.
        int idleMs = 5000;
        // After accept ran out of descriptors, how long to wait before trying
        // again (the listening socket stays readable meanwhile).
        int backoffMs = 1000;
    };

    // Listens at path. Throws std::runtime_error "Failed to create the
    // instance socket {} (error {})".
    InstanceServer(const std::string& path, Handler handler);
    InstanceServer(const std::string& path, Handler handler, const Limits& limits);
    // Stops listening and removes the socket file.
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

private:
    struct Client {
        Platform::UniqueFd fd;
        std::unique_ptr<QObject> context; // its notifier and idle timer
    };

    void acceptClients();
    void pauseAccepting(int ms);
    void serve(int fd);
    void drop(int fd);

    std::string path_;
    Handler handler_;
    Limits limits_;
    Platform::UniqueFd listen_;
    Platform::ForkedChild::CloseInChild listenInChild_;
    std::unique_ptr<QObject> context_;
    QSocketNotifier* listenNotifier_ = nullptr;
    bool paused_ = false;
    bool exhausted_ = false; // warned about this run of failed accepts
    std::map<int, Client> clients_;
};
