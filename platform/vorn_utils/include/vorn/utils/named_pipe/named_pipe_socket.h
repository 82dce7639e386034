// vorn::utils::NamedPipeSocket: one connection over a named pipe, on this platform a local stream
// socket whose file is "/tmp/" followed by the pipe name.
//
// Every call returns a system error code, 0 on success; a time-out gives kTimedOutError (the code the
// callers know from the Windows pipes). A server hands out accepted sockets (named_pipe_server.h); a
// client connects one itself:
//
//     vorn::utils::NamedPipeSocket socket;
//     if (socket.connectToServerSync("waypoint-alice", 3000) == 0)
//         socket.write(data.constData(), data.size(), &written);
//
// "/tmp" is shared by every local user, and anyone can create the socket file of a pipe name before its
// server starts. So a client talks only to a server that runs as the user it expects, its own unless told
// otherwise: connectToServerSync() asks the system who the peer is (SO_PEERCRED) before anything is sent.
//
// A socket is used by one thread at a time. Destruction closes the connection.
#pragma once

#include <cerrno>
#include <string>

#include <sys/types.h>

#include <vorn/utils/system_error.h>

namespace vorn::utils {

// The code of an operation that ran out of time.
inline constexpr SystemError::ErrorCode kTimedOutError = 10060;

// The code of a pipe that belongs to another user: connectToServerSync() answers it when the server runs
// as another user than the one expected, NamedPipeServer::listen() when the socket file or its lock file
// has another owner. No other failure of these calls gives it.
inline constexpr SystemError::ErrorCode kOtherUserError = EPERM;

// The socket file of a pipe name: "/tmp/" and the name.
std::string namedPipePath(const std::string& pipeName);

class NamedPipeSocket
{
public:
    NamedPipeSocket() = default;
    // Takes over a connected socket descriptor.
    explicit NamedPipeSocket(int fd);
    ~NamedPipeSocket();
    NamedPipeSocket(const NamedPipeSocket&) = delete;
    NamedPipeSocket& operator=(const NamedPipeSocket&) = delete;

    // Connects to the server of the pipe, waiting at most timeoutMs (a full backlog is waited out). The
    // server must run as this process's effective user, else the connection is closed at once and the
    // answer is kOtherUserError.
    SystemError::ErrorCode connectToServerSync(const std::string& pipeName, int timeoutMs);
    // The same for a server that must run as serverUser.
    SystemError::ErrorCode connectToServerSync(const std::string& pipeName, int timeoutMs, uid_t serverUser);

    // One read of at most `size` bytes, waiting at most timeoutMs (negative: no limit) for the first of
    // them. *bytesRead 0 with code 0 means the peer closed its side.
    SystemError::ErrorCode read(void* buffer, unsigned size, unsigned* bytesRead, int timeoutMs);
    // Writes all bytes (unless the connection fails first); *bytesWritten says how many went.
    SystemError::ErrorCode write(const void* data, unsigned size, unsigned* bytesWritten);
    // Written bytes are with the system at once: nothing to do, kept for callers written for pipes.
    SystemError::ErrorCode flush();
    // Tells the peer that nothing more will be written (it reads end of stream).
    SystemError::ErrorCode shutdownWrite();

    bool isConnected() const { return m_fd >= 0; }
    void close();

private:
    int m_fd = -1;
};

} // namespace vorn::utils
