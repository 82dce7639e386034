#include <vorn/utils/named_pipe/named_pipe_socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "socket_address.h"

namespace vorn::utils {

std::string namedPipePath(const std::string& pipeName)
{
    return "/tmp/" + pipeName;
}

NamedPipeSocket::NamedPipeSocket(int fd)
    : m_fd(fd)
{}

NamedPipeSocket::~NamedPipeSocket()
{
    close();
}

void NamedPipeSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace {

// Who runs the server at the other end: the system records it when the server listens, so neither the
// socket file nor anything the server sends can lie about it.
SystemError::ErrorCode checkServerUser(int fd, uid_t serverUser)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return static_cast<SystemError::ErrorCode>(errno);
    return credentials.uid == serverUser ? SystemError::noError : kOtherUserError;
}

} // namespace

SystemError::ErrorCode NamedPipeSocket::connectToServerSync(const std::string& pipeName, int timeoutMs)
{
    return connectToServerSync(pipeName, timeoutMs, ::geteuid());
}

SystemError::ErrorCode NamedPipeSocket::connectToServerSync(const std::string& pipeName, int timeoutMs,
                                                            uid_t serverUser)
{
    close();
    sockaddr_un address{};
    if (!detail::makeSocketAddress(namedPipePath(pipeName), &address))
        return ENAMETOOLONG;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return static_cast<SystemError::ErrorCode>(errno);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            const SystemError::ErrorCode checked = checkServerUser(fd, serverUser);
            if (checked != SystemError::noError) {
                ::close(fd);
                return checked;
            }
            m_fd = fd;
            return SystemError::noError;
        }
        const int error = errno;
        ::close(fd);
        // A full backlog (EAGAIN on local sockets) clears as the server accepts: try again until the
        // deadline, as a client of a busy pipe waits for a free instance.
        if (error != EAGAIN)
            return static_cast<SystemError::ErrorCode>(error);
        if (std::chrono::steady_clock::now() >= deadline)
            return kTimedOutError;
        ::usleep(1000);
    }
}

SystemError::ErrorCode NamedPipeSocket::read(void* buffer, unsigned size, unsigned* bytesRead, int timeoutMs)
{
    *bytesRead = 0;
    if (m_fd < 0)
        return EBADF;
    pollfd entry{m_fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return static_cast<SystemError::ErrorCode>(errno);
        if (ready == 0)
            return kTimedOutError;
        break;
    }
    for (;;) {
        const ssize_t received = ::recv(m_fd, buffer, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received < 0)
            return static_cast<SystemError::ErrorCode>(errno);
        *bytesRead = static_cast<unsigned>(received);
        return SystemError::noError;
    }
}

SystemError::ErrorCode NamedPipeSocket::write(const void* data, unsigned size, unsigned* bytesWritten)
{
    *bytesWritten = 0;
    if (m_fd < 0)
        return EBADF;
    const char* bytes = static_cast<const char*>(data);
    while (*bytesWritten < size) {
        // MSG_NOSIGNAL: a peer that went away is an error code here, not a SIGPIPE for the process.
        const ssize_t sent = ::send(m_fd, bytes + *bytesWritten, size - *bytesWritten, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return static_cast<SystemError::ErrorCode>(errno);
        *bytesWritten += static_cast<unsigned>(sent);
    }
    return SystemError::noError;
}

SystemError::ErrorCode NamedPipeSocket::flush()
{
    return m_fd < 0 ? EBADF : SystemError::noError;
}

SystemError::ErrorCode NamedPipeSocket::shutdownWrite()
{
    if (m_fd < 0)
        return EBADF;
    return ::shutdown(m_fd, SHUT_WR) == 0 ? SystemError::noError : static_cast<SystemError::ErrorCode>(errno);
}

} // namespace vorn::utils
