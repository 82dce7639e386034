#include "http_poster.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <string_view>

namespace vorn::bench::scale {

namespace {

using Clock = std::chrono::steady_clock;

// A receiver that has not answered by then is stuck; the push counts as failed instead of holding the run.
constexpr int kAnswerTimeoutSeconds = 5;
// The receiver answers a push with a status line and a few fields: far below this.
constexpr std::size_t kMaxAnswerSize = 64 * 1024;

bool iequalsPrefix(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// The value of the first header field of that name, or empty; `head` ends before the blank line.
std::string_view fieldValue(std::string_view head, std::string_view name)
{
    for (std::size_t start = head.find("\r\n"); start != std::string_view::npos;) {
        start += 2;
        const std::size_t end = std::min(head.find("\r\n", start), head.size());
        const std::string_view line = head.substr(start, end - start);
        if (iequalsPrefix(line, name) && line.size() > name.size() && line[name.size()] == ':') {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && value.front() == ' ')
                value.remove_prefix(1);
            return value;
        }
        start = end < head.size() ? end : std::string_view::npos;
    }
    return {};
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int connectTo(const std::string& host, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    const timeval timeout{kAnswerTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

HttpPoster::HttpPoster(Connections connections)
    : m_connections(connections)
{}

HttpPoster::~HttpPoster()
{
    closeSocket();
}

void HttpPoster::closeSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_peer.clear();
}

int HttpPoster::post(const std::string& host, std::uint16_t port, const std::string& path, const std::string& body,
                     Clock::time_point* sent)
{
    const std::string peer = host + ":" + std::to_string(port);
    std::string request = "POST " + path + " HTTP/1.1\r\nHost: " + peer +
                          "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\n";
    if (m_connections == Connections::onePerPost)
        request += "Connection: close\r\n";
    request += "\r\n";
    request += body;

    const std::lock_guard lock(m_mutex);
    if (m_peer != peer)
        closeSocket();
    if (m_fd >= 0) {
        // The receiver may have closed a kept connection meanwhile (idle, or a new subscription): a post
        // that got no byte of an answer is sent once more on a new connection.
        if (const int status = exchange(request, /*reused*/ true, sent, host, port); status != 0)
            return status;
        if (!m_answer.empty())
            return 0;
    }
    return exchange(request, /*reused*/ false, sent, host, port);
}

int HttpPoster::exchange(const std::string& request, bool reused, Clock::time_point* sent, const std::string& host,
                         std::uint16_t port)
{
    m_answer.clear();
    if (!reused) {
        closeSocket();
        if (m_connections == Connections::onePerPost)
            *sent = Clock::now();
        m_fd = connectTo(host, port);
        if (m_fd < 0)
            return 0;
        m_peer = host + ":" + std::to_string(port);
    }
    if (m_connections == Connections::keptAlive)
        *sent = Clock::now();
    if (!writeAll(m_fd, request)) {
        closeSocket();
        return 0;
    }

    std::size_t headEnd = std::string::npos;
    std::size_t total = std::string::npos;
    char chunk[4096];
    while (total == std::string::npos || m_answer.size() < total) {
        const ssize_t count = ::recv(m_fd, chunk, sizeof(chunk), 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0 || m_answer.size() + static_cast<std::size_t>(count) > kMaxAnswerSize) {
            closeSocket();
            return 0;
        }
        m_answer.append(chunk, static_cast<std::size_t>(count));
        if (headEnd == std::string::npos && (headEnd = m_answer.find("\r\n\r\n")) != std::string::npos) {
            const std::string_view length = fieldValue(std::string_view(m_answer).substr(0, headEnd), "Content-Length");
            std::size_t bodySize = 0;
            std::from_chars(length.data(), length.data() + length.size(), bodySize);
            total = headEnd + 4 + bodySize;
        }
    }

    const std::string_view head = std::string_view(m_answer).substr(0, headEnd);
    int status = 0;
    if (head.size() > 12 && head.substr(0, 5) == "HTTP/")
        std::from_chars(head.data() + 9, head.data() + 12, status);
    if (m_connections == Connections::onePerPost || iequalsPrefix(fieldValue(head, "Connection"), "close"))
        closeSocket();
    return status;
}

} // namespace vorn::bench::scale
