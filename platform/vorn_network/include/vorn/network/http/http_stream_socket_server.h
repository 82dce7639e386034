// vorn::network::http::HttpStreamSocketServer: an HTTP/1.1 server on an I/O thread that hands each complete
// request to a message dispatcher and writes the processor's answer.
//
//     MessageDispatcher dispatcher;                       // outlives the server
//     HttpStreamSocketServer server(&dispatcher, thread);
//     if (!server.bind(SocketAddress(HostAddress("192.0.2.5"), 0)) || !server.listen(128))
//         return fail();
//     announce(server.address());                         // the port the system picked
//     ...
//     server.pleaseStopSync();                            // no processor starts after this
//
// Rules of use (see also BasicPollable):
// - Everything of the server, its connections and the processors run on its thread. pleaseStopSync()
//   closes the listening socket and every connection; when it returns nothing of the server runs.
// - Requests are read whole: a body above kMaxRequestBodySize is answered with 413 and the connection is
//   closed; a header above kMaxHeaderSize (a chunk's size line or a chunked body's trailer too) or
//   malformed HTTP with 400 and a close. A request for which the dispatcher has no processor is answered
//   with 404.
// - Whoever reaches the port gets bounded time, connections and memory, and a peer address shares them
//   with the others, so that peers which connect and stall, connect again and again or never read their
//   answers cannot keep a camera's pushes out:
//   - Time: a request must be complete kRequestTimeout after the accept (the first request of a
//     connection) or after its first byte (a later one); a connection kept alive between requests waits
//     at most kIdleTimeout for the next one; an answer must be taken within kRequestTimeout. Either way
//     the connection is closed when the time is up.
//   - Connections: at most kMaxConnections are open at once. A new one beyond them closes a connection of
//     the address that holds the most connections, the new one counted (so a peer's new connection
//     beyond them closes one of its own, while a camera with fewer keeps its own): of them, the one that
//     has waited longest for progress (bytes of a request received, an answer begun or written, since its
//     accept). A connection whose request is with the processor is not chosen; when no other is, the new
//     connection is closed at accept.
//   - Memory: what the server holds for requests not yet complete (read buffers, headers, the bodies
//     received so far and the room reserved for them, the buffers of refused requests being drained) is
//     counted as it is allocated and stays within kMaxHeldRequestBytes in all. Bodies above
//     kMaxSmallBodySize leave kHeldBytesKeptForSmallRequests of it to the rest. A request whose next bytes
//     would pass a bound takes the room from the address that holds the most bytes, if it holds more than
//     the request's own address would with them: that address's connection that has waited longest for
//     progress is closed. Only when no such address is left is the request's connection closed. A body's
//     room grows with what arrives, never ahead of it for what the request declares, and ends at the
//     body's length. (While a room grows, the old one lives on for the copy into the new one, within that
//     one step on the server's thread.)
//   - The servers of one process hold no more than kMaxProcessHeldRequestBytes in all beyond
//     kHeldBytesKeptPerServer each: a peer that finds the ports of many servers fills that bound, and each
//     server still has its own kept room for its camera, and takes room from the peer as above.
//   The server does not check who sends a request: whoever reaches the port is served as a camera would be.
// - Connections are kept alive between requests unless the client asks otherwise.
// - An accept that fails (no file descriptor left, for example) is tried again every kAcceptRetryDelay, on
//   the ScaledClock, until it works; the failure is logged once, at its start. Every time-out runs on the
//   ScaledClock too.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include <vorn/network/aio/basic_pollable.h>
#include <vorn/network/http/message_dispatcher.h>
#include <vorn/network/socket_address.h>
#include <vorn/utils/system_error.h>

namespace vorn::network::http {

class HttpStreamSocketServer : public aio::BasicPollable
{
public:
    // Cameras push JSON events with a few pictures: far below this, which bounds what one request can make
    // the server hold.
    static constexpr std::size_t kMaxRequestBodySize = 16 * 1024 * 1024;
    // Bounds what a peer can make the server buffer before the body, and for a chunk's size line or the
    // trailer of a chunked body.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;
    // A camera's push connection kept alive that says nothing for this long is gone; its socket is released.
    static constexpr std::chrono::seconds kIdleTimeout{120};
    // The time a request has to be complete: a camera sends a push of a few MB within a second on a LAN, and a
    // body at kMaxRequestBodySize within 14 s even at 10 Mbit/s; a peer slower than that holds a connection
    // and memory that pushes need.
    static constexpr std::chrono::seconds kRequestTimeout{20};
    static_assert(kRequestTimeout < kIdleTimeout, "a kept connection may wait longer than a request may take");
    // One device pushes over a handful of connections; more are a misbehaving peer.
    static constexpr std::size_t kMaxConnections = 64;
    // What requests not yet complete may make one server hold in all: three bodies at kMaxRequestBodySize at
    // once with room to spare, where a camera's structure push with its pictures takes a few MB.
    static constexpr std::size_t kMaxHeldRequestBytes = 64 * 1024 * 1024;
    // Of kMaxHeldRequestBytes, what bodies above kMaxSmallBodySize leave to the rest (read buffers, headers,
    // small bodies): peers that send large bodies and stall fill only the rest of the bound, and a camera's
    // alarm, which needs a few KiB, still gets through.
    static constexpr std::size_t kHeldBytesKeptForSmallRequests = 4 * 1024 * 1024;
    // A body up to this size is a push without pictures (an alarm is a few hundred bytes).
    static constexpr std::size_t kMaxSmallBodySize = 64 * 1024;
    static_assert(kMaxHeldRequestBytes - kHeldBytesKeptForSmallRequests >= 2 * kMaxRequestBodySize,
                  "room for two requests at both caps and more");
    // What the servers of one process (the receivers of all its cameras) may hold in all for requests not
    // yet complete, beyond kHeldBytesKeptPerServer each: a peer that finds the ports of many servers would
    // otherwise have each hold kMaxHeldRequestBytes. Room for a hundred cameras' structure pushes of a few
    // MB at once, and for four servers at their own bound.
    static constexpr std::size_t kMaxProcessHeldRequestBytes = 256 * 1024 * 1024;
    // What each server holds outside the process's bound: its camera's alarms, and a structure push of a
    // few hundred KiB, get room whatever the other servers hold.
    static constexpr std::size_t kHeldBytesKeptPerServer = 1024 * 1024;
    static_assert(kMaxProcessHeldRequestBytes >= kMaxHeldRequestBytes, "one server may fill its own bound");
    // The pause after a failed accept: the connection stays in the backlog, and trying again at once would
    // keep the thread busy failing for as long as the cause lasts (a process out of file descriptors).
    static constexpr std::chrono::milliseconds kAcceptRetryDelay{100};

    // `dispatcher` is not owned and must outlive the server.
    explicit HttpStreamSocketServer(AbstractMessageDispatcher* dispatcher, aio::AbstractAioThread* thread = nullptr);
    ~HttpStreamSocketServer() override;

    // Binds to an IP address (not a name); port 0 lets the system pick one. False, with the reason in
    // lastError(), when the address cannot be bound (for example one the machine does not have).
    bool bind(const SocketAddress& address);
    // Starts accepting. False when not bound or the system refuses.
    bool listen(int backlog);

    // The bound address, with the port the system picked; empty before bind().
    SocketAddress address() const;
    SystemError::ErrorCode lastError() const;
    // What the server holds now for requests not yet complete (see kMaxHeldRequestBytes); from any thread.
    std::size_t heldRequestBytes() const;
    // What the servers of the process hold now beyond kHeldBytesKeptPerServer each (see
    // kMaxProcessHeldRequestBytes); from any thread.
    static std::size_t processHeldRequestBytes();

protected:
    void stopWhileInAioThread() override;

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace vorn::network::http
