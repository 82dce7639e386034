#include <vorn/network/http/http_stream_socket_server.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

#if defined(__GLIBC__)
    #include <malloc.h>
#endif

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <vorn/network/http/status_code.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/scaled_clock.h>

#include "../log_line.h"
#include "request_reader.h"
#include "request_support.h"

namespace vorn::network::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using boost::system::error_code;
using tcp = asio::ip::tcp;
using detail::HeldAccount;
using detail::HeldBytes;
using detail::HeldShare;
using detail::ProcessHeldBytes;
using detail::RequestReader;

namespace {

// What is taken of a refused request before its connection is closed: a body at twice the cap still ends
// in the answer at the client, anything larger is cut off.
constexpr std::size_t kMaxDrainSize = 2 * HttpStreamSocketServer::kMaxRequestBodySize;
// A client that stops sending while its refused request is drained is not waited for longer than this.
constexpr std::chrono::seconds kDrainTimeout{10};
// What a drain reads at once: a refused body of many megabytes goes in few reads.
constexpr std::size_t kDrainChunkSize = 64 * 1024;

// What the connections from one peer address hold: their number and their bytes.
struct Peer
{
    std::size_t connections = 0;
    HeldAccount held;
};
using Peers = std::map<asio::ip::address, Peer>;

// One accepted connection, shared with its pending operations (see AsyncClient's Exchange for why).
struct Connection
{
    enum class Phase {
        reading,    //< waiting for its request, or reading it
        processing, //< its request is with the processor
        writing,    //< its answer is being written
        closing,    //< answered without keep-alive: what the client still sends is dropped until the close
    };

    Connection(tcp::socket socket, HeldBytes* held, Peers::iterator peer)
        : stream(std::move(socket))
        , peer(peer)
        , account{0, &peer->second.held}
        , reader(std::in_place, held, &account)
        , scratchShare{held, &account}
    {}

    beast::tcp_stream stream;
    // Its address's entry in the server's peers, as long as the connection is open.
    Peers::iterator peer;
    // What it holds, in its address's count; before the holders that count in it.
    HeldAccount account;
    // Its requests, read one after the other; gone once the connection only drains before its close.
    std::optional<RequestReader> reader;
    // Where the rest of a refused request is read to and dropped. Made at the first drain, not with the
    // connection: a camera keeps a connection per push or a few open ones, and each would otherwise carry
    // (and clear) a buffer that only a refused or closing request reads into.
    std::unique_ptr<char[]> scratch;
    bhttp::response<bhttp::string_body> response;
    SocketAddress peerAddress;
    HeldShare scratchShare; //< the scratch buffer while draining
    Phase phase = Phase::reading;
    // Kept alive after an answer and no byte of the next request yet: the idle time-out runs, not the
    // request time-out.
    bool idle = false;
    bool open = true;
    // Its place in the server's connections, which are in the order of their last progress.
    std::list<std::shared_ptr<Connection>>::iterator position;

    // Whether the server may close it to make room: anything but a request with the processor, whose answer
    // is on its way.
    bool evictable() const { return phase != Phase::processing; }

    void releaseShares()
    {
        if (reader)
            reader->release();
        scratchShare.detach();
    }
};

// glibc keeps a large block that is freed in the heap once its threshold for blocks mapped on their own has
// risen to it, so the bytes of closed stalled requests would stay with the process beyond the bound. Closes
// hand them back to the system once per kGiveBackAfter released: one walk of the heap per that much a peer
// had to send.
constexpr std::size_t kGiveBackAfter = 8 * 1024 * 1024;

void giveBackToSystem()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void logAcceptFailure(const SocketAddress& address, SystemError::ErrorCode error)
{
    vorn::network::detail::writeLogLine(
        vorn::utils::log::Level::warning, QStringLiteral("vorn::network::http::HttpStreamSocketServer"), [&] {
            return QStringLiteral("Accepting a connection on %1 failed: %2. Trying again every %3 ms")
                .arg(QString::fromStdString(address.toString()), SystemError::toString(error))
                .arg(HttpStreamSocketServer::kAcceptRetryDelay.count());
        });
}

} // namespace

namespace detail {

ProcessHeldBytes& ProcessHeldBytes::shared()
{
    // Made before any code runs and with nothing to destroy: a server that outlives the statics of the
    // library still counts in it.
    static_assert(std::is_trivially_destructible_v<ProcessHeldBytes>);
    static constinit ProcessHeldBytes bytes(HttpStreamSocketServer::kMaxProcessHeldRequestBytes);
    return bytes;
}

} // namespace detail

struct HttpStreamSocketServer::Private
{
    using ConnectionPtr = std::shared_ptr<Connection>;

    Private(HttpStreamSocketServer* owner, AbstractMessageDispatcher* dispatcher)
        : q(owner)
        , dispatcher(dispatcher)
    {
        held.makeRoom = [this](const HeldAccount* requester, std::size_t growth) {
            return makeRoom(requester, growth);
        };
    }

    HttpStreamSocketServer* const q;
    AbstractMessageDispatcher* const dispatcher;

    mutable std::mutex addressMutex; //< Guards the two below, which other threads read.
    SocketAddress boundAddress;
    SystemError::ErrorCode lastError = 0;

    // On the server's thread only.
    std::optional<tcp::acceptor> acceptor;
    std::optional<asio::steady_timer> acceptRetryTimer;
    bool acceptFailing = false; //< Since the last accept that worked: its failure is logged once.
    // The open connections, in the order of their last progress (accepted, bytes of a request received, an
    // answer begun or written): the first one is the one that has waited longest.
    std::list<ConnectionPtr> connections;
    // The addresses of the open connections.
    Peers peers;
    // The entry of the last address that closed its last connection, kept for the next new one: a camera
    // that connects for each push then costs no allocation for it.
    Peers::node_type spare;
    HeldBytes held{kMaxHeldRequestBytes, &ProcessHeldBytes::shared()};
    std::size_t releasedSinceGiveBack = 0; //< Bytes closed connections held since the last giveBackToSystem().

    Peers::iterator peerOf(const asio::ip::address& address);
    void forget(Peers::iterator peer);
    void accept();
    void acceptLater(SystemError::ErrorCode error);
    void admit(tcp::socket socket);
    // Closes, of the evictable and `eligible` connections of the address that `measure`s the most and at
    // least `atLeast`, the one that has waited longest for progress; false when there is none.
    template <typename Measure, typename Eligible>
    bool closeLongestWaitingOfTheMost(Measure measure, std::size_t atLeast, Eligible eligible);
    bool makeRoomForConnection(const Peer& newcomer);
    bool makeRoom(const HeldAccount* requester, std::size_t growth);
    void progressed(const ConnectionPtr& connection);
    void startRequest(const ConnectionPtr& connection, bool keptAlive);
    void onReadStatus(const ConnectionPtr& connection, RequestReader::Status status);
    void readMore(const ConnectionPtr& connection);
    void onRead(const ConnectionPtr& connection, error_code error, std::size_t size);
    void onRequest(const ConnectionPtr& connection);
    void writeResponse(const ConnectionPtr& connection, RequestResult result, bool keepAlive);
    void drainAndClose(const ConnectionPtr& connection, std::size_t drained);
    void close(const ConnectionPtr& connection);
    void closeAll();

    template <typename Handler>
    auto bind(Handler handler)
    {
        return q->bindToGeneration(std::move(handler));
    }

    void setError(SystemError::ErrorCode error)
    {
        const std::lock_guard<std::mutex> lock(addressMutex);
        lastError = error;
    }
};

void HttpStreamSocketServer::Private::close(const ConnectionPtr& connection)
{
    if (!connection->open)
        return;
    connection->open = false;
    error_code ignored;
    connection->stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    connection->stream.socket().close(ignored);
    // The memory goes with the last pending operation; nothing of it is used from here on.
    releasedSinceGiveBack += connection->account.bytes;
    connection->releaseShares();
    if (releasedSinceGiveBack >= kGiveBackAfter) {
        releasedSinceGiveBack = 0;
        giveBackToSystem();
    }
    connections.erase(connection->position);
    if (--connection->peer->second.connections == 0)
        forget(connection->peer);
}

Peers::iterator HttpStreamSocketServer::Private::peerOf(
    const asio::ip::address& address)
{
    if (const auto found = peers.find(address); found != peers.end())
        return found;
    if (spare.empty())
        return peers.try_emplace(address).first;
    spare.key() = address;
    spare.mapped() = Peer();
    return peers.insert(std::move(spare)).position;
}

void HttpStreamSocketServer::Private::forget(Peers::iterator peer)
{
    spare = peers.extract(peer);
}

void HttpStreamSocketServer::Private::progressed(const ConnectionPtr& connection)
{
    connections.splice(connections.end(), connections, connection->position);
}

void HttpStreamSocketServer::Private::closeAll()
{
    if (acceptor) {
        error_code ignored;
        acceptor->close(ignored);
        acceptor.reset();
    }
    acceptRetryTimer.reset(); // cancels a pending retry; made again from the thread's loop when needed
    acceptFailing = false;
    while (!connections.empty())
        close(ConnectionPtr(connections.front()));
}

void HttpStreamSocketServer::Private::accept()
{
    acceptor->async_accept(bind([this](error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor)
            return;
        if (error)
            return acceptLater(detail::toSystemError(error));
        acceptFailing = false;
        admit(std::move(socket));
        accept();
    }));
}

// A connection beyond kMaxConnections takes the place of one of the address that holds the most
// connections, the newcomer counted: the one of them that has waited longest for progress. Peers that
// connect and stall, or connect again and again, then take the places of their own connections, and a
// camera's push, which comes whole at once, is through long before its own are taken.
void HttpStreamSocketServer::Private::admit(tcp::socket socket)
{
    error_code error;
    const tcp::endpoint remote = socket.remote_endpoint(error);
    if (error) { // gone already
        socket.close(error);
        return;
    }
    const auto peer = peerOf(remote.address());
    if (connections.size() >= kMaxConnections && !makeRoomForConnection(peer->second)) {
        socket.close(error);
        if (peer->second.connections == 0)
            forget(peer);
        return;
    }
    ++peer->second.connections;
    auto connection = std::make_shared<Connection>(std::move(socket), &held, peer);
    connection->peerAddress = SocketAddress(HostAddress(remote.address().to_string()), remote.port());
    connection->position = connections.insert(connections.end(), connection);
    startRequest(connection, /*keptAlive*/ false);
}

template <typename Measure, typename Eligible>
bool HttpStreamSocketServer::Private::closeLongestWaitingOfTheMost(Measure measure, std::size_t atLeast,
                                                                   Eligible eligible)
{
    // The connections are in the order of progress: the first one met of the address that measures the
    // most is the one of it that has waited longest.
    const ConnectionPtr* victim = nullptr;
    std::size_t most = atLeast;
    for (const ConnectionPtr& connection : connections) {
        if (!connection->evictable() || !eligible(*connection))
            continue;
        const std::size_t value = measure(connection->peer->second);
        if (value > most || (value == most && !victim)) {
            victim = &connection;
            most = value;
        }
    }
    if (!victim)
        return false;
    close(ConnectionPtr(*victim));
    return true;
}

bool HttpStreamSocketServer::Private::makeRoomForConnection(const Peer& newcomer)
{
    // None of an address that holds fewer than the newcomer's would with it.
    return closeLongestWaitingOfTheMost(
        [&](const Peer& peer) { return peer.connections + (&peer == &newcomer ? 1 : 0); },
        newcomer.connections + 1, [](const Connection&) { return true; });
}

// Bytes that a request needs and the bounds would refuse are taken from the address that holds the most,
// if it holds more than the requester's would with them: its connection that has waited longest for
// progress is closed. A peer that fills the bounds with stalled requests then keeps them only until
// someone else needs the room, and is refused only what it would take beyond another address's share.
bool HttpStreamSocketServer::Private::makeRoom(const HeldAccount* requester, std::size_t growth)
{
    const HeldAccount* const requesterPeer = requester ? requester->parent : nullptr;
    if (!requesterPeer)
        return false;
    return closeLongestWaitingOfTheMost([](const Peer& peer) { return peer.held.bytes; },
                                        requesterPeer->bytes + growth + 1,
                                        [](const Connection& connection) { return connection.account.bytes > 0; });
}

// An accept that fails (out of file descriptors, most often) leaves the connection waiting in the backlog,
// so trying again at once would fail again at once, for as long as the cause lasts, on a busy thread.
void HttpStreamSocketServer::Private::acceptLater(SystemError::ErrorCode error)
{
    if (!acceptFailing) {
        acceptFailing = true;
        logAcceptFailure(q->address(), error);
    }
    if (!acceptRetryTimer)
        acceptRetryTimer.emplace(q->getAioThread()->ioContext());
    acceptRetryTimer->expires_after(utils::ScaledClock::toRealDuration(kAcceptRetryDelay));
    acceptRetryTimer->async_wait(bind([this](error_code error) {
        if (!error && acceptor)
            accept();
    }));
}

void HttpStreamSocketServer::Private::startRequest(const ConnectionPtr& connection, bool keptAlive)
{
    connection->phase = Connection::Phase::reading;
    progressed(connection);
    RequestReader& reader = *connection->reader;
    connection->idle = keptAlive && !reader.hasBufferedBytes();
    connection->stream.expires_after(
        utils::ScaledClock::toRealDuration(connection->idle ? kIdleTimeout : kRequestTimeout));
    onReadStatus(connection, reader.start());
}

void HttpStreamSocketServer::Private::onReadStatus(const ConnectionPtr& connection, RequestReader::Status status)
{
    switch (status) {
    case RequestReader::Status::needMore:
        return readMore(connection);
    case RequestReader::Status::done:
        return onRequest(connection);
    case RequestReader::Status::bodyTooLarge:
        return writeResponse(connection, RequestResult(StatusCode::payloadTooLarge), /*keepAlive*/ false);
    case RequestReader::Status::malformed:
        return writeResponse(connection, RequestResult(StatusCode::badRequest), /*keepAlive*/ false);
    case RequestReader::Status::overHeldBytes:
        break;
    }
    close(connection);
}

void HttpStreamSocketServer::Private::readMore(const ConnectionPtr& connection)
{
    connection->stream.async_read_some(
        connection->reader->room(),
        bind([this, connection](error_code error, std::size_t size) { onRead(connection, error, size); }));
}

void HttpStreamSocketServer::Private::onRead(const ConnectionPtr& connection, error_code error, std::size_t size)
{
    if (!connection->open)
        return;
    if (error)
        return close(connection);
    progressed(connection);
    if (connection->idle) {
        connection->idle = false;
        connection->stream.expires_after(utils::ScaledClock::toRealDuration(kRequestTimeout));
    }
    onReadStatus(connection, connection->reader->commit(size));
}

void HttpStreamSocketServer::Private::onRequest(const ConnectionPtr& connection)
{
    connection->phase = Connection::Phase::processing;
    // From here the request is the processor's: no longer one the server holds unfinished.
    bool keepAlive = false;
    RequestContext request = connection->reader->takeRequest(&keepAlive);
    request.peer = connection->peerAddress;

    // The answer goes out on this thread whatever thread the processor answers from; a completion dropped
    // unanswered still answers (500), so the connection never hangs.
    struct Answer
    {
        std::function<void(RequestResult)> send;
        bool sent = false;
        ~Answer()
        {
            if (!sent && send)
                send(RequestResult(StatusCode::internalServerError));
        }
    };
    auto answer = std::make_shared<Answer>();
    aio::AbstractAioThread* const thread = q->getAioThread();
    answer->send = [thread, post = bind([this, connection, keepAlive](RequestResult result) {
                                writeResponse(connection, std::move(result), keepAlive);
                            })](RequestResult result) mutable {
        thread->post([post, result = std::move(result)]() mutable { post(std::move(result)); });
    };
    RequestProcessedHandler completion = [answer](RequestResult result) {
        if (answer->sent)
            return;
        answer->sent = true;
        answer->send(std::move(result));
    };
    if (!dispatcher->dispatchRequest(std::move(request), std::move(completion))) {
        // `completion` was not taken: the answer is given here.
        answer->sent = true;
        writeResponse(connection, RequestResult(StatusCode::notFound), keepAlive);
    }
}

void HttpStreamSocketServer::Private::writeResponse(const ConnectionPtr& connection, RequestResult result,
                                                    bool keepAlive)
{
    if (!connection->open)
        return;
    connection->phase = Connection::Phase::writing;
    progressed(connection);
    bhttp::response<bhttp::string_body>& response = connection->response;
    response = {};
    response.version(11);
    response.result(static_cast<unsigned>(result.statusCode));
    response.set(bhttp::field::server, "vorn_network");
    if (!result.contentType.empty())
        response.set(bhttp::field::content_type, result.contentType);
    response.body() = std::move(result.body);
    response.keep_alive(keepAlive);
    response.prepare_payload();
    // A client that does not read its answers holds the connection no longer than a request may take.
    connection->stream.expires_after(utils::ScaledClock::toRealDuration(kRequestTimeout));
    bhttp::async_write(connection->stream, response, bind([this, connection, keepAlive](error_code error, std::size_t) {
                           if (!connection->open)
                               return;
                           if (error)
                               return close(connection);
                           if (!keepAlive)
                               return drainAndClose(connection, 0);
                           startRequest(connection, /*keptAlive*/ true);
                       }));
}

void HttpStreamSocketServer::Private::drainAndClose(const ConnectionPtr& connection, std::size_t drained)
{
    // A client that is still sending the body of a refused request reads the answer only once its send
    // has gone through: take what it sends (up to kMaxDrainSize) and drop it, then close.
    if (!connection->scratch) {
        connection->phase = Connection::Phase::closing;
        connection->reader.reset();
        if (!connection->scratchShare.resize(detail::allocationFootprint(kDrainChunkSize)))
            return close(connection);
        error_code ignored;
        connection->stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        connection->stream.expires_after(utils::ScaledClock::toRealDuration(kDrainTimeout));
        connection->scratch = std::make_unique_for_overwrite<char[]>(kDrainChunkSize);
    }
    connection->stream.async_read_some(asio::buffer(connection->scratch.get(), kDrainChunkSize),
                                       bind([this, connection, drained](error_code error, std::size_t size) {
                                           if (!connection->open)
                                               return;
                                           if (error || drained + size > kMaxDrainSize)
                                               return close(connection);
                                           progressed(connection);
                                           drainAndClose(connection, drained + size);
                                       }));
}

HttpStreamSocketServer::HttpStreamSocketServer(AbstractMessageDispatcher* dispatcher, aio::AbstractAioThread* thread)
    : BasicPollable(thread)
    , d(std::make_shared<Private>(this, dispatcher))
{}

HttpStreamSocketServer::~HttpStreamSocketServer()
{
    pleaseStopSync();
}

bool HttpStreamSocketServer::bind(const SocketAddress& address)
{
    bool ok = false;
    executeInAioThreadSync([&] {
        d->closeAll();
        error_code error;
        const asio::ip::address ip = asio::ip::make_address(address.address.toString(), error);
        if (error) {
            d->setError(EINVAL);
            return;
        }
        const tcp::endpoint endpoint(ip, address.port);
        tcp::acceptor acceptor(getAioThread()->ioContext());
        acceptor.open(endpoint.protocol(), error);
        if (!error)
            acceptor.set_option(asio::socket_base::reuse_address(true), error);
        if (!error)
            acceptor.bind(endpoint, error);
        if (error) {
            d->setError(detail::toSystemError(error));
            return;
        }
        const tcp::endpoint local = acceptor.local_endpoint(error);
        {
            const std::lock_guard<std::mutex> lock(d->addressMutex);
            d->boundAddress = SocketAddress(HostAddress(local.address().to_string()), local.port());
            d->lastError = 0;
        }
        d->acceptor.emplace(std::move(acceptor));
        ok = true;
    });
    return ok;
}

bool HttpStreamSocketServer::listen(int backlog)
{
    bool ok = false;
    executeInAioThreadSync([&] {
        if (!d->acceptor) {
            d->setError(EBADF);
            return;
        }
        error_code error;
        d->acceptor->listen(backlog, error);
        if (error) {
            d->setError(detail::toSystemError(error));
            return;
        }
        d->accept();
        ok = true;
    });
    return ok;
}

SocketAddress HttpStreamSocketServer::address() const
{
    const std::lock_guard<std::mutex> lock(d->addressMutex);
    return d->boundAddress;
}

SystemError::ErrorCode HttpStreamSocketServer::lastError() const
{
    const std::lock_guard<std::mutex> lock(d->addressMutex);
    return d->lastError;
}

std::size_t HttpStreamSocketServer::heldRequestBytes() const
{
    return d->held.published.load(std::memory_order_relaxed);
}

std::size_t HttpStreamSocketServer::processHeldRequestBytes()
{
    return ProcessHeldBytes::shared().total();
}

void HttpStreamSocketServer::stopWhileInAioThread()
{
    d->closeAll();
}

} // namespace vorn::network::http
