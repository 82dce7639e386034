#include <vorn/utils/named_pipe/named_pipe_server.h>

#include <cerrno>
#include <utility>

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

// Holds an exclusive lock on a file for the length of a scope and removes the file when it ends, so no
// lock file stays beside the socket. A process that waits for the lock may get it on a file already
// removed, which would serialise nothing: it locks again until the file it holds is the one at the path.
// Only the holder removes the file, so at any time at most one process holds the lock of the file that
// is there.
class FileLock
{
public:
    explicit FileLock(std::string path)
        : m_path(std::move(path))
    {
        for (;;) {
            // Another user's lock file is refused before it is opened: holding it could keep this process
            // waiting for ever, and with mode 0600 it would not open anyway.
            struct stat existing
            {
            };
            if (::lstat(m_path.c_str(), &existing) == 0 && existing.st_uid != ::geteuid()) {
                m_error = kOtherUserError;
                return;
            }
            m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (m_fd < 0) {
                m_error = static_cast<SystemError::ErrorCode>(errno);
                return;
            }
            struct stat held
            {
            };
            if (::fstat(m_fd, &held) != 0 || held.st_uid != ::geteuid()) {
                // Gone and replaced by another user's file between the look and the opening.
                m_error = kOtherUserError;
                closeFile();
                return;
            }
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            struct stat current
            {
            };
            if (::stat(m_path.c_str(), &current) == 0 && current.st_dev == held.st_dev &&
                current.st_ino == held.st_ino) {
                return;
            }
            closeFile();
        }
    }
    ~FileLock()
    {
        if (m_fd < 0)
            return;
        ::unlink(m_path.c_str()); // while still holding the lock
        closeFile();              // releases it
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // 0 when the lock is held, else why not.
    SystemError::ErrorCode error() const { return m_error; }

private:
    void closeFile()
    {
        ::close(m_fd);
        m_fd = -1;
    }

    const std::string m_path;
    int m_fd = -1;
    SystemError::ErrorCode m_error = SystemError::noError;
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
    if (lock.error() != SystemError::noError)
        return lock.error();

    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) == 0) {
        // Another user's file is never removed or served in its place, stale or not: a process that is
        // not root could not remove it from /tmp anyway, and one that is must not delete what it does not
        // own. The caller reports the refusal.
        if (info.st_uid != ::geteuid())
            return kOtherUserError;
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
