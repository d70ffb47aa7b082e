#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace Platform {

// Private messages to a running instance over a Unix stream socket: the
// client sends one message number and reads one answer, both 32-bit
// little-endian, one exchange per connection. Descriptors are close-on-exec.
namespace InstanceSocket {

// Creates the listening socket at path, non-blocking. A file left there by
// an instance that died is replaced: the caller holds the single-instance
// lock, so no other instance can be listening. Invalid, with the last error
// set, on failure (ERROR_FILENAME_EXCED_RANGE for a path too long for a
// socket). Owner's thread.
UniqueFd listen(const std::string& path);

// Takes one waiting connection, non-blocking; invalid when none waits
// (errno EAGAIN), the peer runs as another user (EPERM, the connection is
// closed) or accept failed (errno tells why: EMFILE when out of
// descriptors). Owner's thread.
UniqueFd accept(int listenFd);

// The message of a readable connection; nothing when it closed or sent an
// incomplete message. Owner's thread.
std::optional<uint32_t> readRequest(int fd);
// False when the answer could not be sent. Owner's thread.
bool writeReply(int fd, uint32_t answer);

// The sending side. Owner's thread.
class Client {
public:
    // False when nothing listens at path (no instance runs).
    bool connect(const std::string& path);
    // The process id of the listening instance; 0 when unknown.
    pid_t peerPid() const;
    // Sends the message and waits up to timeoutMs for the answer; nothing
    // when sending failed, the instance closed the connection or did not
    // answer in time.
    std::optional<uint32_t> send(uint32_t message, int timeoutMs);

private:
    UniqueFd fd_;
};

} // namespace InstanceSocket
} // namespace Platform
