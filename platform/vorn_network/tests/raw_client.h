// A client for tests of HttpStreamSocketServer that writes the bytes of its requests by hand (whole, in
// part, several in one write or a byte at a time) and tells whether and when the server answered or closed
// the connection.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>

#include <vorn/utils/scaled_clock.h>

#include "aio_test_helpers.h"

namespace vorn::network::http::test {

// Every wait ends at a deadline of real time, whatever the time scale.
class RawClient
{
public:
    // `from`: the local address the connection comes from (any of 127.0.0.0/8 is this machine's);
    // `receiveBuffer`: the socket's receive buffer, 0 for the system's.
    explicit RawClient(std::uint16_t port, const char* from = "127.0.0.1", int receiveBuffer = 0)
        : m_socket(m_io)
    {
        boost::system::error_code error;
        m_socket.open(boost::asio::ip::tcp::v4(), error);
        if (!error)
            m_socket.bind({boost::asio::ip::make_address(from), 0}, error);
        if (!error && receiveBuffer > 0)
            m_socket.set_option(boost::asio::socket_base::receive_buffer_size(receiveBuffer), error);
        if (!error)
            m_socket.connect({boost::asio::ip::address_v4::loopback(), port}, error);
        m_connected = !error;
    }

    bool connected() const { return m_connected; }

    // False when the server closed the connection before it took every byte.
    bool send(std::string_view bytes)
    {
        return !run([&](auto handler) { boost::asio::async_write(m_socket, boost::asio::buffer(bytes), handler); });
    }

    // The status of the next answer; 0 when the connection closed (or nothing came) first.
    int readStatus()
    {
        boost::beast::http::response<boost::beast::http::string_body> response;
        const bool read =
            !run([&](auto handler) { boost::beast::http::async_read(m_socket, m_buffer, response, handler); });
        return read ? static_cast<int>(response.result_int()) : 0;
    }

    // The bytes that came before the server closed the connection; none when it stayed open past the
    // deadline.
    std::optional<std::size_t> bytesUntilClosed(std::chrono::nanoseconds limit = aio::test::kDeadline)
    {
        std::size_t total = m_buffer.size();
        char bytes[64 * 1024];
        for (;;) {
            std::size_t size = 0;
            const boost::system::error_code error = run(
                [&](auto handler) {
                    m_socket.async_read_some(boost::asio::buffer(bytes), [&size, handler](auto e, std::size_t n) mutable {
                        size = n;
                        handler(e);
                    });
                },
                limit);
            total += size;
            if (error == boost::asio::error::operation_aborted)
                return std::nullopt;
            if (error)
                return total;
        }
    }

    // When the server closed the connection, on the ScaledClock; none when it stayed open past the deadline.
    // What comes before the close is dropped.
    std::optional<utils::ScaledClock::time_point> closedAt()
    {
        if (!bytesUntilClosed())
            return std::nullopt;
        return utils::ScaledClock::now();
    }

    // Whether the server closed the connection within `limit` of real time. What comes before the close is
    // dropped.
    bool closedWithin(std::chrono::nanoseconds limit) { return bytesUntilClosed(limit).has_value(); }

    // Whether the connection is gone both ways within `limit` of real time: after the server has ended its
    // side (an answer with "Connection: close"), a byte sent to a socket that it has closed brings a reset.
    bool resetWithin(std::chrono::nanoseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd gone{m_socket.native_handle(), 0, 0}; // only POLLHUP and POLLERR, which poll() always reports
            const int count = ::poll(&gone, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
            if (count < 0 && errno == EINTR)
                continue;
            return count > 0 && (gone.revents & (POLLHUP | POLLERR)) != 0;
        }
    }

    // Whether every byte sent has reached the server's side (it is in the server's socket or read).
    bool delivered()
    {
        int unsent = 0;
        return ::ioctl(m_socket.native_handle(), SIOCOUTQ, &unsent) != 0 || unsent == 0;
    }

    // Whether the server has closed the connection by now, without waiting and without reading.
    bool isClosed()
    {
        char byte = 0;
        const ssize_t peeked = ::recv(m_socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    // Reads the first `size` bytes of an answer; false when they did not come.
    bool receive(std::size_t size)
    {
        std::string bytes(size, '\0');
        return !run([&](auto handler) { boost::asio::async_read(m_socket, boost::asio::buffer(bytes), handler); });
    }

    void close()
    {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }

private:
    template <typename Start>
    boost::system::error_code run(Start start, std::chrono::nanoseconds limit = aio::test::kDeadline)
    {
        boost::system::error_code result = boost::asio::error::would_block;
        start([&result](boost::system::error_code error, auto&&...) { result = error; });
        m_io.restart();
        m_io.run_for(limit);
        if (result == boost::asio::error::would_block) {
            boost::system::error_code ignored;
            m_socket.cancel(ignored);
            m_io.restart();
            m_io.run();
        }
        return result;
    }

    boost::asio::io_context m_io;
    boost::asio::ip::tcp::socket m_socket;
    boost::beast::flat_buffer m_buffer;
    bool m_connected = false;
};

// The start of a POST to `path` whose body is `length` bytes long; the connection is kept alive.
inline std::string postHeader(const std::string& path, std::size_t length)
{
    return "POST " + path + " HTTP/1.1\r\nHost: camera\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}


} // namespace vorn::network::http::test
