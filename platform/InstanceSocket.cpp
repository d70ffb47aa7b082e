#include "platform/InstanceSocket.h"

#include "platform/Error.h"
#include "platform/Poll.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace Platform::InstanceSocket {
namespace {

bool makeAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        setLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void putWord(unsigned char* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getWord(const unsigned char* bytes) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= uint32_t(bytes[i]) << (8 * i);
    return value;
}

std::optional<ucred> peerCredentials(int fd) {
    ucred cred{};
    socklen_t size = sizeof(cred);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return std::nullopt;
    return cred;
}

bool sendWord(int fd, uint32_t value) {
    unsigned char bytes[4];
    putWord(bytes, value);
    ssize_t n;
    while ((n = ::send(fd, bytes, sizeof(bytes), MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 &&
           errno == EINTR) {
    }
    return n == sizeof(bytes);
}

std::optional<uint32_t> receiveWord(int fd) {
    unsigned char bytes[4];
    ssize_t n;
    while ((n = recv(fd, bytes, sizeof(bytes), MSG_DONTWAIT | MSG_WAITALL)) < 0 && errno == EINTR) {
    }
    if (n != sizeof(bytes))
        return std::nullopt;
    return getWord(bytes);
}

} // namespace

UniqueFd listen(const std::string& path) {
    sockaddr_un address;
    if (!makeAddress(path, address))
        return {};
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        setLastErrorFromErrno();
        return {};
    }
    unlink(path.c_str());
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd.get(), 16) != 0) {
        setLastErrorFromErrno();
        return {};
    }
    return fd;
}

UniqueFd accept(int listenFd) {
    UniqueFd fd;
    int client;
    while ((client = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) < 0 &&
           errno == EINTR) {
    }
    if (client < 0)
        return fd;
    fd.reset(client);
    auto cred = peerCredentials(client);
    if (!cred || cred->uid != geteuid()) {
        fd.reset();
        errno = EPERM;
    }
    return fd;
}

std::optional<uint32_t> readRequest(int fd) {
    return receiveWord(fd);
}

bool writeReply(int fd, uint32_t answer) {
    return sendWord(fd, answer);
}

bool Client::connect(const std::string& path) {
    fd_.reset();
    sockaddr_un address;
    if (!makeAddress(path, address))
        return false;
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        setLastErrorFromErrno();
        return false;
    }
    int rc;
    while ((rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address))) < 0 &&
           errno == EINTR) {
    }
    if (rc != 0) {
        setLastErrorFromErrno();
        return false;
    }
    fd_ = std::move(fd);
    return true;
}

pid_t Client::peerPid() const {
    auto cred = fd_.valid() ? peerCredentials(fd_.get()) : std::nullopt;
    return cred ? cred->pid : 0;
}

std::optional<uint32_t> Client::send(uint32_t message, int timeoutMs) {
    if (!fd_.valid() || !sendWord(fd_.get(), message))
        return std::nullopt;
    try {
        if (pollReadable({fd_.get()}, timeoutMs) < 0)
            return std::nullopt;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    return receiveWord(fd_.get());
}

} // namespace Platform::InstanceSocket
