#include <vorn/network/http/http_stream_socket_server.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>

#include <QtCore/QByteArray>
#include <QtCore/QUrl>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/buffer_traits.hpp>
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <vorn/network/http/status_code.h>
#include <vorn/utils/log/log.h>
#include <vorn/utils/scaled_clock.h>

#include "../log_line.h"
#include "request_support.h"

namespace vorn::network::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using boost::system::error_code;
using tcp = asio::ip::tcp;

namespace {

// What is taken of a refused request before its connection is closed: a body at twice the cap still ends
// in the answer at the client, anything larger is cut off.
constexpr std::size_t kMaxDrainSize = 2 * HttpStreamSocketServer::kMaxRequestBodySize;
// A client that stops sending while its refused request is drained is not waited for longer than this.
constexpr std::chrono::seconds kDrainTimeout{10};
// What a drain reads at once: a refused body of many megabytes goes in few reads.
constexpr std::size_t kDrainChunkSize = 64 * 1024;
// The room a read of a request's header asks for: a push's header (and often its whole body) comes in one
// such read, and a connection kept alive between requests keeps no more than this.
constexpr std::size_t kHeaderReadSize = 1024;
// The smallest room a body gets: below it a growth would cost more than it saves.
constexpr std::size_t kMinBodyRoom = 64;
// What Beast's fields take per header field beyond its name and value: the field's record, its
// separators and the allocator's own bytes.
constexpr std::size_t kFieldOverhead = sizeof(bhttp::fields::value_type) + 4 + 16;

// A request that would take the server past kMaxHeldRequestBytes.
const error_code kOverHeldBytes = boost::system::errc::make_error_code(boost::system::errc::not_enough_memory);

// The count of the bytes one server holds for requests not yet complete (see kMaxHeldRequestBytes), on the
// server's thread; `published` is a copy for other threads.
struct HeldBytes
{
    // What a body's room beyond kMaxSmallBodySize counts against: the bound less what it keeps for others.
    static constexpr std::size_t kLargeBodyBound =
        HttpStreamSocketServer::kMaxHeldRequestBytes - HttpStreamSocketServer::kHeldBytesKeptForSmallRequests;

    std::size_t total = 0;
    std::atomic<std::size_t> published{0};

    // Moves `share` to `bytes`: false, and nothing changes, when that would take the total past `bound`.
    bool resize(std::size_t* share, std::size_t bytes, std::size_t bound)
    {
        if (bytes > mostFor(*share, bound))
            return false;
        total = total - *share + bytes;
        *share = bytes;
        published.store(total, std::memory_order_relaxed);
        return true;
    }

    // The most that a share of `share` bytes may grow to under `bound`.
    std::size_t mostFor(std::size_t share, std::size_t bound) const
    {
        return total >= bound ? share : share + (bound - total);
    }
};

// One holder's part of HeldBytes: the read buffer, the header or the body of a connection.
struct HeldShare
{
    HeldBytes* pool = nullptr;
    std::size_t bytes = 0;

    bool resize(std::size_t newBytes, std::size_t bound = HttpStreamSocketServer::kMaxHeldRequestBytes)
    {
        return pool->resize(&bytes, newBytes, bound);
    }
    std::size_t most(std::size_t bound) const { return pool->mostFor(bytes, bound); }
    void release() { resize(0); }
};

// A request body in a std::string whose room is counted in HeldBytes before it is reserved. Unlike
// Beast's string_body it reserves nothing for the declared length up front, which a peer that declares
// 16 MiB and stalls would have the server hold for nothing: the room grows with what arrives, doubling
// up to the declared length (or kMaxRequestBodySize for a chunked body), so that a body is copied a few
// times at most and one of a declared length ends without room to spare. A growth that the count refuses
// closes the connection.
struct HeldBody
{
    struct value_type
    {
        std::string text;
        HeldShare* share = nullptr; //< set before the request is parsed
    };

    class reader
    {
    public:
        template <bool isRequest, class Fields>
        reader(bhttp::header<isRequest, Fields>&, value_type& body)
            : m_body(body)
        {}

        void init(const boost::optional<std::uint64_t>& length, error_code& error)
        {
            // The parser refuses a declared length above its body limit before this.
            m_limit = length ? static_cast<std::size_t>(*length) : HttpStreamSocketServer::kMaxRequestBodySize;
            error = {};
        }

        template <class ConstBufferSequence>
        std::size_t put(const ConstBufferSequence& buffers, error_code& error)
        {
            const std::size_t incoming = beast::buffer_bytes(buffers);
            const std::size_t needed = m_body.text.size() + incoming;
            if (needed > m_body.text.capacity() && !grow(needed)) {
                error = kOverHeldBytes;
                return 0;
            }
            for (const auto buffer : beast::buffers_range_ref(buffers))
                m_body.text.append(static_cast<const char*>(buffer.data()), buffer.size());
            error = {};
            return incoming;
        }

        void finish(error_code& error) { error = {}; }

    private:
        bool grow(std::size_t needed)
        {
            // Doubled, but a small body stays within kMaxSmallBodySize while it can; a larger one counts
            // against what large bodies may hold.
            std::size_t room = std::min(m_limit, std::max(2 * m_body.text.capacity(), kMinBodyRoom));
            if (needed <= HttpStreamSocketServer::kMaxSmallBodySize)
                room = std::min(room, HttpStreamSocketServer::kMaxSmallBodySize);
            room = std::max(room, needed);
            const std::size_t bound = room > HttpStreamSocketServer::kMaxSmallBodySize
                                          ? HeldBytes::kLargeBodyBound
                                          : HttpStreamSocketServer::kMaxHeldRequestBytes;
            // Where the count has less left than that, all it has left, so that a body near the bound is not
            // copied again for every read.
            room = std::max(needed, std::min(room, m_body.share->most(bound)));
            if (!m_body.share->resize(room, bound))
                return false;
            {
                // Into a new string: reserve() on the old one may round the room up to twice its capacity. The
                // old room is gone at the end of this block, within the step.
                std::string grown;
                grown.reserve(room);
                grown.append(m_body.text);
                m_body.text.swap(grown);
            }
            m_body.share->resize(m_body.text.capacity()); // what the library made of it: the same, or a few bytes
            return true;
        }

        value_type& m_body;
        std::size_t m_limit = HttpStreamSocketServer::kMaxRequestBodySize;
    };
};

using RequestParser = bhttp::request_parser<HeldBody>;

// One accepted connection, shared with its pending operations (see AsyncClient's Exchange for why).
struct Connection
{
    enum class Phase {
        reading,   //< waiting for its request, or reading it
        answering, //< its request is with the processor or its answer being written
        closing,   //< answered without keep-alive: what the client still sends is dropped until the close
    };

    Connection(tcp::socket socket, HeldBytes* held)
        : stream(std::move(socket))
        , bufferShare{held}
        , headerShare{held}
        , bodyShare{held}
    {}

    beast::tcp_stream stream;
    // The bytes read and not parsed yet; its whole capacity is counted in bufferShare.
    beast::flat_buffer buffer;
    // Where the rest of a refused request is read to and dropped. Made at the first drain, not with the
    // connection: a camera keeps a connection per push or a few open ones, and each would otherwise carry
    // (and clear) a buffer that only a refused or closing request reads into.
    std::unique_ptr<char[]> scratch;
    std::optional<RequestParser> parser;
    bhttp::response<bhttp::string_body> response;
    SocketAddress peer;
    HeldShare bufferShare; //< the buffer's capacity, and the scratch buffer's while draining
    HeldShare headerShare; //< the parsed header's fields until the request goes to its processor
    HeldShare bodyShare;   //< the body's room until then
    Phase phase = Phase::reading;
    // Kept alive after an answer and no byte of the next request yet: the idle time-out runs, not the
    // request time-out.
    bool idle = false;
    bool open = true;
    // Its place in the server's connections, which are in the order they began to wait.
    std::list<std::shared_ptr<Connection>>::iterator position;

    void releaseShares()
    {
        bufferShare.release();
        headerShare.release();
        bodyShare.release();
    }
};

void logAcceptFailure(const SocketAddress& address, SystemError::ErrorCode error)
{
    vorn::network::detail::writeLogLine(
        vorn::utils::log::Level::warning, QStringLiteral("vorn::network::http::HttpStreamSocketServer"), [&] {
            return QStringLiteral("Accepting a connection on %1 failed: %2. Trying again every %3 ms")
                .arg(QString::fromStdString(address.toString()), SystemError::toString(error))
                .arg(HttpStreamSocketServer::kAcceptRetryDelay.count());
        });
}

std::string decodedPath(const std::string& target)
{
    const std::string::size_type query = target.find('?');
    const std::string rawPath = target.substr(0, query);
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(rawPath), QUrl::TolerantMode);
    const QString path = url.path(QUrl::FullyDecoded);
    return path.isEmpty() ? rawPath : path.toStdString();
}

// What Beast's fields of a parsed header take, method and target included.
std::size_t headerBytes(const bhttp::request_header<>& header)
{
    std::size_t bytes = kFieldOverhead + header.method_string().size() + header.target().size();
    for (const auto& field : header)
        bytes += kFieldOverhead + field.name_string().size() + field.value().size();
    return bytes;
}

} // namespace

struct HttpStreamSocketServer::Private
{
    using ConnectionPtr = std::shared_ptr<Connection>;

    Private(HttpStreamSocketServer* owner, AbstractMessageDispatcher* dispatcher)
        : q(owner)
        , dispatcher(dispatcher)
    {}

    HttpStreamSocketServer* const q;
    AbstractMessageDispatcher* const dispatcher;

    mutable std::mutex addressMutex; //< Guards the two below, which other threads read.
    SocketAddress boundAddress;
    SystemError::ErrorCode lastError = 0;

    // On the server's thread only.
    std::optional<tcp::acceptor> acceptor;
    std::optional<asio::steady_timer> acceptRetryTimer;
    bool acceptFailing = false; //< Since the last accept that worked: its failure is logged once.
    // The open connections, in the order they began to wait for a request (accepted, or answered and kept
    // alive): the first one reading is the one that has waited longest.
    std::list<ConnectionPtr> connections;
    HeldBytes held;

    void accept();
    void acceptLater(SystemError::ErrorCode error);
    void admit(tcp::socket socket);
    void startRequest(const ConnectionPtr& connection, bool keptAlive);
    void parse(const ConnectionPtr& connection);
    void readMore(const ConnectionPtr& connection);
    void onRead(const ConnectionPtr& connection, error_code error, std::size_t size);
    void onReadError(const ConnectionPtr& connection, error_code error);
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
    connection->releaseShares();
    connections.erase(connection->position);
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

// A connection beyond kMaxConnections takes the place of the one that has waited longest for a request
// to complete: peers that connect and stall then hold their places only until newer connections come,
// and a camera's push, which comes whole at once, is through long before that.
void HttpStreamSocketServer::Private::admit(tcp::socket socket)
{
    if (connections.size() >= kMaxConnections) {
        const auto longestWaiting = std::find_if(connections.begin(), connections.end(), [](const ConnectionPtr& c) {
            return c->phase != Connection::Phase::answering;
        });
        if (longestWaiting == connections.end()) {
            error_code ignored;
            socket.close(ignored);
            return;
        }
        close(ConnectionPtr(*longestWaiting));
    }
    auto connection = std::make_shared<Connection>(std::move(socket), &held);
    error_code ignored;
    const tcp::endpoint remote = connection->stream.socket().remote_endpoint(ignored);
    connection->peer = SocketAddress(HostAddress(remote.address().to_string()), remote.port());
    connection->position = connections.insert(connections.end(), connection);
    startRequest(connection, /*keptAlive*/ false);
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
    connections.splice(connections.end(), connections, connection->position);
    // A kept connection holds no room of a large request while it waits.
    beast::flat_buffer& buffer = connection->buffer;
    if (buffer.size() == 0 && buffer.capacity() > kHeaderReadSize) {
        buffer.shrink_to_fit();
        connection->bufferShare.resize(buffer.capacity());
    }
    connection->parser.emplace();
    connection->parser->header_limit(static_cast<std::uint32_t>(kMaxHeaderSize));
    connection->parser->body_limit(static_cast<std::uint64_t>(kMaxRequestBodySize));
    connection->parser->eager(true);
    connection->parser->get().body().share = &connection->bodyShare;
    connection->idle = keptAlive && buffer.size() == 0;
    connection->stream.expires_after(
        utils::ScaledClock::toRealDuration(connection->idle ? kIdleTimeout : kRequestTimeout));
    parse(connection);
}

void HttpStreamSocketServer::Private::parse(const ConnectionPtr& connection)
{
    RequestParser& parser = *connection->parser;
    beast::flat_buffer& buffer = connection->buffer;
    error_code error;
    while (buffer.size() > 0 && !parser.is_done()) {
        const std::size_t used = parser.put(buffer.data(), error);
        buffer.consume(used);
        if (error == bhttp::error::need_more)
            error = {};
        if (error || used == 0)
            break;
    }
    // Beast keeps the fields of a parsed header apart from the buffer: counted once the header is whole.
    if (!error && parser.is_header_done() && connection->headerShare.bytes == 0 &&
        !connection->headerShare.resize(headerBytes(parser.get().base()))) {
        error = kOverHeldBytes;
    }
    if (error)
        return onReadError(connection, error);
    if (parser.is_done())
        return onRequest(connection);
    readMore(connection);
}

void HttpStreamSocketServer::Private::readMore(const ConnectionPtr& connection)
{
    const RequestParser& parser = *connection->parser;
    beast::flat_buffer& buffer = connection->buffer;
    std::size_t room = kHeaderReadSize;
    if (parser.is_header_done()) {
        room = detail::kReadBufferSize;
        if (const auto remaining = parser.content_length_remaining())
            room = static_cast<std::size_t>(std::clamp<std::uint64_t>(*remaining, 1, room));
    }
    if (buffer.capacity() - buffer.size() < room) {
        // What flat_buffer::prepare() allocates, counted before it does.
        const std::size_t capacity = std::max(2 * buffer.size(), buffer.size() + room);
        if (!connection->bufferShare.resize(capacity))
            return close(connection);
    }
    const auto space = buffer.prepare(room);
    connection->bufferShare.resize(buffer.capacity());
    connection->stream.async_read_some(
        space, bind([this, connection](error_code error, std::size_t size) { onRead(connection, error, size); }));
}

void HttpStreamSocketServer::Private::onRead(const ConnectionPtr& connection, error_code error, std::size_t size)
{
    if (!connection->open)
        return;
    if (error)
        return close(connection);
    connection->buffer.commit(size);
    if (connection->idle) {
        connection->idle = false;
        connection->stream.expires_after(utils::ScaledClock::toRealDuration(kRequestTimeout));
    }
    parse(connection);
}

void HttpStreamSocketServer::Private::onReadError(const ConnectionPtr& connection, error_code error)
{
    if (error == bhttp::error::body_limit)
        return writeResponse(connection, RequestResult(StatusCode::payloadTooLarge), /*keepAlive*/ false);
    const bool malformed = error.category() == bhttp::make_error_code(bhttp::error::bad_target).category() &&
                           error != bhttp::error::end_of_stream && error != bhttp::error::partial_message;
    if (malformed)
        return writeResponse(connection, RequestResult(StatusCode::badRequest), /*keepAlive*/ false);
    close(connection);
}

void HttpStreamSocketServer::Private::onRequest(const ConnectionPtr& connection)
{
    connection->phase = Connection::Phase::answering;
    bhttp::request<HeldBody> message = connection->parser->release();
    connection->parser.reset();
    // From here the request is the processor's: no longer one the server holds unfinished.
    connection->headerShare.release();
    connection->bodyShare.release();
    const bool keepAlive = message.keep_alive();
    RequestContext request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = decodedPath(request.target);
    for (const auto& field : message)
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    request.body = std::move(message.body().text);
    request.peer = connection->peer;

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
    connection->phase = Connection::Phase::answering;
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
    connection->stream.expires_after(utils::ScaledClock::toRealDuration(kIdleTimeout));
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
        connection->parser.reset();
        connection->headerShare.release();
        connection->bodyShare.release();
        connection->buffer = beast::flat_buffer();
        if (!connection->bufferShare.resize(kDrainChunkSize))
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

void HttpStreamSocketServer::stopWhileInAioThread()
{
    d->closeAll();
}

} // namespace vorn::network::http
