// vorn::utils::NamedPipeServer: the listening end of a named pipe, on this platform a local stream
// socket whose file is "/tmp/" followed by the pipe name.
//
// Rules the callers rely on:
// - The socket file is reachable by its owner only (mode 0600): another user can neither connect nor
//   read what is sent.
// - listen() never takes over a pipe that is in use: a socket file on which a server answers makes it
//   fail with EADDRINUSE; a file on which nothing answers (left by a process that died) is removed
//   first. Two processes listening at once are serialised by a lock file beside the socket
//   ("<socket file>.lock", there only while a listen() runs), so both can never find the same stale file
//   and each remove the other's.
// - listen() never touches a file of another user at either path, stale or not: it answers
//   kOtherUserError (named_pipe_socket.h).
// - accept() waits at most its time-out and answers kTimedOutError when nobody came.
// - The socket file is removed when the server is destroyed or listens again.
//
//     vorn::utils::NamedPipeServer server;
//     if (server.listen("waypoint-alice") != 0) return;
//     vorn::utils::NamedPipeSocket* socket = nullptr;
//     if (server.accept(&socket, 1000) == 0) { serve(socket); delete socket; }
#pragma once

#include <string>

#include <vorn/utils/named_pipe/named_pipe_socket.h>

namespace vorn::utils {

class NamedPipeServer
{
public:
    NamedPipeServer() = default;
    ~NamedPipeServer();
    NamedPipeServer(const NamedPipeServer&) = delete;
    NamedPipeServer& operator=(const NamedPipeServer&) = delete;

    SystemError::ErrorCode listen(const std::string& pipeName);
    // On 0, *socket is a new connection that the caller owns and deletes.
    SystemError::ErrorCode accept(NamedPipeSocket** socket, int timeoutMs);
    void close();

    // The socket file while listening, else empty.
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace vorn::utils
