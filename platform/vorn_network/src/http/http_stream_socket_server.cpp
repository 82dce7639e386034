#include <vorn/network/http/http_stream_socket_server.h>

#include <cerrno>
#include <list>
#include <memory>
#include <mutex>
#include <optional>

#include <QtCore/QByteArray>
#include <QtCore/QUrl>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
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

// One accepted connection, shared with its pending operations (see AsyncClient's Exchange for why).
struct Connection
{
    explicit Connection(tcp::socket socket)
        : stream(std::move(socket))
    {}

    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    // Where the rest of a refused request is read to and dropped. Made at the first drain, not with the
    // connection: a camera keeps a connection per push or a few open ones, and each would otherwise carry
    // (and clear) a buffer that only a refused or closing request reads into.
    std::unique_ptr<char[]> scratch;
    std::optional<bhttp::request_parser<bhttp::string_body>> parser;
    bhttp::response<bhttp::string_body> response;
    SocketAddress peer;

    void close()
    {
        error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream.socket().close(ignored);
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

} // namespace

struct HttpStreamSocketServer::Private
{
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
    std::list<std::weak_ptr<Connection>> connections;

    void accept();
    void acceptLater(SystemError::ErrorCode error);
    void readRequest(const std::shared_ptr<Connection>& connection);
    void onRequest(const std::shared_ptr<Connection>& connection);
    void writeResponse(const std::shared_ptr<Connection>& connection, RequestResult result, bool keepAlive);
    void closeAll();
    void drainAndClose(const std::shared_ptr<Connection>& connection, std::size_t drained);

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

void HttpStreamSocketServer::Private::closeAll()
{
    if (acceptor) {
        error_code ignored;
        acceptor->close(ignored);
        acceptor.reset();
    }
    acceptRetryTimer.reset(); // cancels a pending retry; made again from the thread's loop when needed
    acceptFailing = false;
    for (const std::weak_ptr<Connection>& weak : connections) {
        if (const std::shared_ptr<Connection> connection = weak.lock())
            connection->close();
    }
    connections.clear();
}

void HttpStreamSocketServer::Private::accept()
{
    acceptor->async_accept(bind([this](error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor)
            return;
        if (error)
            return acceptLater(detail::toSystemError(error));
        acceptFailing = false;
        connections.remove_if([](const std::weak_ptr<Connection>& weak) { return weak.expired(); });
        if (connections.size() >= kMaxConnections) {
            error_code ignored;
            socket.close(ignored);
        } else {
            auto connection = std::make_shared<Connection>(std::move(socket));
            error_code ignored;
            const tcp::endpoint remote = connection->stream.socket().remote_endpoint(ignored);
            connection->peer = SocketAddress(HostAddress(remote.address().to_string()), remote.port());
            connections.push_back(connection);
            readRequest(connection);
        }
        accept();
    }));
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

void HttpStreamSocketServer::Private::readRequest(const std::shared_ptr<Connection>& connection)
{
    connection->parser.emplace();
    connection->parser->header_limit(static_cast<std::uint32_t>(kMaxHeaderSize));
    connection->parser->body_limit(static_cast<std::uint64_t>(kMaxRequestBodySize));
    connection->stream.expires_after(utils::ScaledClock::toRealDuration(kIdleTimeout));
    bhttp::async_read(connection->stream, connection->buffer, *connection->parser,
                      bind([this, connection](error_code error, std::size_t) {
                          if (error == bhttp::error::body_limit) {
                              return writeResponse(connection, RequestResult(StatusCode::payloadTooLarge),
                                                   /*keepAlive*/ false);
                          }
                          const bool malformed =
                              error.category() == bhttp::make_error_code(bhttp::error::bad_target).category() &&
                              error != bhttp::error::end_of_stream && error != bhttp::error::partial_message;
                          if (malformed)
                              return writeResponse(connection, RequestResult(StatusCode::badRequest), false);
                          if (error)
                              return connection->close();
                          onRequest(connection);
                      }));
}

void HttpStreamSocketServer::Private::onRequest(const std::shared_ptr<Connection>& connection)
{
    bhttp::request<bhttp::string_body> message = connection->parser->release();
    const bool keepAlive = message.keep_alive();
    RequestContext request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = decodedPath(request.target);
    for (const auto& field : message)
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    request.body = std::move(message.body());
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

void HttpStreamSocketServer::Private::writeResponse(const std::shared_ptr<Connection>& connection, RequestResult result,
                                                    bool keepAlive)
{
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
                           if (error)
                               return connection->close();
                           if (!keepAlive)
                               return drainAndClose(connection, 0);
                           readRequest(connection);
                       }));
}

void HttpStreamSocketServer::Private::drainAndClose(const std::shared_ptr<Connection>& connection, std::size_t drained)
{
    // A client that is still sending the body of a refused request reads the answer only once its send
    // has gone through: take what it sends (up to kMaxDrainSize) and drop it, then close.
    error_code ignored;
    connection->stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    connection->stream.expires_after(utils::ScaledClock::toRealDuration(kDrainTimeout));
    if (!connection->scratch)
        connection->scratch = std::make_unique_for_overwrite<char[]>(kDrainChunkSize);
    connection->stream.async_read_some(asio::buffer(connection->scratch.get(), kDrainChunkSize),
                                       bind([this, connection, drained](error_code error, std::size_t size) {
                                           if (error || drained + size > kMaxDrainSize)
                                               return connection->close();
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

void HttpStreamSocketServer::stopWhileInAioThread()
{
    d->closeAll();
}

} // namespace vorn::network::http
