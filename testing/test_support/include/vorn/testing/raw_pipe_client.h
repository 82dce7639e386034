// vorn::testing::rawPipeExchange: a client of the launcher's pipe written from plain socket calls, with
// none of the product's pipe or encoding code, so that a test sees exactly the bytes on the wire.
//
//     const auto reply = vorn::testing::rawPipeExchange("/tmp/waypoint-test", {"quit\n"});
//     EXPECT_EQ(reply.bytes, "ok\n\n");
//
// The pieces are written one by one with `pause` between them (to make the server see them in separate
// reads); then, when `closeWrite` is set, the client closes its sending side. It reads until the server
// closes the connection or `timeout` passes (then `timedOut` is set).
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace vorn::testing {

struct RawPipeReply
{
    bool connected = false;
    bool timedOut = false;
    std::string bytes;
};

inline RawPipeReply rawPipeExchange(const std::string& socketPath, const std::vector<std::string>& pieces,
                                    bool closeWrite = false,
                                    std::chrono::milliseconds pause = std::chrono::milliseconds(0),
                                    std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
{
    RawPipeReply reply;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return reply;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return reply;
    }
    reply.connected = true;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pause.count() > 0)
            std::this_thread::sleep_for(pause);
        std::size_t sent = 0;
        while (sent < pieces[i].size()) {
            const ssize_t n = ::send(fd, pieces[i].data() + sent, pieces[i].size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    }
    if (closeWrite)
        ::shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            reply.timedOut = true;
            break;
        }
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        reply.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

} // namespace vorn::testing
