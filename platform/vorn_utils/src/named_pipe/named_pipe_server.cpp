#include <vorn/utils/named_pipe/named_pipe_server.h>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "socket_address.h"

namespace vorn::utils {

namespace {

// Connections that wait for accept(): the server takes one at a time, and a client retries while the
// backlog is full.
constexpr int kBacklog = 16;

// Holds an exclusive lock on a file for the length of a scope.
class FileLock
{
public:
    explicit FileLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return m_fd >= 0; }

private:
    const int m_fd;
};

// True when a server answers on the socket file: then it is in use and must not be removed.
bool isAnswering(const sockaddr_un& address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int error = errno;
    ::close(fd);
    // EAGAIN: a listening server with a full backlog.
    return result == 0 || error == EAGAIN;
}

} // namespace

NamedPipeServer::~NamedPipeServer()
{
    close();
}

void NamedPipeServer::close()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_path.c_str());
    m_path.clear();
}

SystemError::ErrorCode NamedPipeServer::listen(const std::string& pipeName)
{
    close();
    const std::string path = namedPipePath(pipeName);
    sockaddr_un address{};
    if (pipeName.empty() || pipeName.find('/') != std::string::npos || !detail::makeSocketAddress(path, &address))
        return EINVAL;

    const FileLock lock(path + ".lock");
    if (!lock.isLocked())
        return static_cast<SystemError::ErrorCode>(errno);

    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || isAnswering(address))
            return EADDRINUSE;
        ::unlink(path.c_str());
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return static_cast<SystemError::ErrorCode>(errno);
    // Nobody can connect between bind() and listen(), so the file is private before it is reachable.
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        return static_cast<SystemError::ErrorCode>(error);
    }
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, kBacklog) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        return static_cast<SystemError::ErrorCode>(error);
    }
    m_fd = fd;
    m_path = path;
    return SystemError::noError;
}

SystemError::ErrorCode NamedPipeServer::accept(NamedPipeSocket** socket, int timeoutMs)
{
    *socket = nullptr;
    if (m_fd < 0)
        return EBADF;
    pollfd entry{m_fd, POLLIN, 0};
    int ready = 0;
    do
        ready = ::poll(&entry, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return static_cast<SystemError::ErrorCode>(errno);
    if (ready == 0)
        return kTimedOutError;
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        // The client gave up between poll() and accept(): as if nobody came.
        if (errno == EAGAIN || errno == ECONNABORTED || errno == EINTR)
            return kTimedOutError;
        return static_cast<SystemError::ErrorCode>(errno);
    }
    *socket = new NamedPipeSocket(fd);
    return SystemError::noError;
}

} // namespace vorn::utils
