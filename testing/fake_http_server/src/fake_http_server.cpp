#include <vorn/testing/fake_http_server.h>

#include <future>
#include <random>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>

#include "auth_check.h"
#include "self_signed_certificate.h"

namespace vorn::testing {

namespace asio = boost::asio;
namespace bhttp = boost::beast::http;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

// The fake's own reason phrases, so that what the client prints comes from the peer.
const char* reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

bool hasHeader(const std::vector<std::pair<std::string, std::string>>& headers, std::string_view name)
{
    for (const auto& header : headers) {
        if (equalsIgnoringCase(header.first, name))
            return true;
    }
    return false;
}

bool statusHasNoBody(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

// Largest chunk of a chunked reply; small enough that a large body goes out in many chunks.
constexpr std::size_t kChunkSize = 64 * 1024;

std::string serialize(const FakeHttpServer::Reply& reply, bool closeAfter)
{
    using Delivery = FakeHttpServer::Reply::Delivery;
    std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    const bool noBody = statusHasNoBody(reply.status);
    if (!noBody && !hasHeader(reply.headers, "Content-Length") && !hasHeader(reply.headers, "Transfer-Encoding")) {
        switch (reply.delivery) {
        case Delivery::contentLength:
            out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
            break;
        case Delivery::cutBody:
        case Delivery::stalledBody:
            out += "Content-Length: " + std::to_string(reply.declaredLength) + "\r\n";
            break;
        case Delivery::chunked:
            out += "Transfer-Encoding: chunked\r\n";
            break;
        case Delivery::untilClose:
        case Delivery::silent:
            break;
        }
    }
    if (closeAfter)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (noBody)
        return out;
    if (reply.delivery == Delivery::chunked) {
        char size[32];
        for (std::size_t offset = 0; offset < reply.body.size(); offset += kChunkSize) {
            const std::size_t length = std::min(kChunkSize, reply.body.size() - offset);
            std::snprintf(size, sizeof(size), "%zx\r\n", length);
            out += size;
            out.append(reply.body, offset, length);
            out += "\r\n";
        }
        out += "0\r\n\r\n";
    } else {
        out += reply.body;
    }
    return out;
}

} // namespace

//-------------------------------------------------------------------------------------------------

class FakeHttpServer::Session : public std::enable_shared_from_this<Session>
{
public:
    // With a TLS context the session speaks TLS, starting with the handshake.
    Session(FakeHttpServer& server, tcp::socket socket, asio::ssl::context* tlsContext)
        : m_server(server)
        , m_delayTimer(socket.get_executor())
    {
        if (tlsContext)
            m_tls.emplace(std::move(socket), *tlsContext);
        else
            m_plain.emplace(std::move(socket));
    }

    void start()
    {
        if (!m_tls) {
            read();
            return;
        }
        m_tls->async_handshake(asio::ssl::stream_base::server, [self = shared_from_this()](error_code error) {
            if (error)
                self->close();
            else
                self->read();
        });
    }

    void close()
    {
        m_delayTimer.cancel();
        error_code ignored;
        socket().shutdown(tcp::socket::shutdown_both, ignored);
        socket().close(ignored);
    }

private:
    tcp::socket& socket() { return m_tls ? m_tls->next_layer() : *m_plain; }

    template <typename Operation>
    void withStream(Operation operation)
    {
        if (m_tls)
            operation(*m_tls);
        else
            operation(*m_plain);
    }

    void read()
    {
        m_parser.emplace();
        m_parser->body_limit(kMaxRequestBodySize);
        withStream([this](auto& stream) {
            bhttp::async_read(stream, m_buffer, *m_parser,
                              [self = shared_from_this()](error_code error, std::size_t) { self->onRead(error); });
        });
    }

    void onRead(error_code error)
    {
        if (error == bhttp::error::body_limit) {
            send(Reply::withStatus(413, "request body too large"), /*keepAlive*/ false);
            return;
        }
        if (error) {
            close();
            return;
        }

        const auto& message = m_parser->get();
        RecordedRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        const std::size_t queryStart = request.target.find('?');
        request.path = request.target.substr(0, queryStart);
        if (queryStart != std::string::npos)
            request.query = request.target.substr(queryStart + 1);
        for (const auto& field : message)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = message.body();
        const bool keepAlive = message.keep_alive();

        m_server.record(request);
        Reply reply = m_server.replyTo(request);
        if (reply.held) {
            reply.held = false;
            m_server.m_heldReplies.push_back(
                [self = shared_from_this(), reply = std::move(reply), keepAlive] { self->respond(reply, keepAlive); });
            return;
        }
        respond(reply, keepAlive);
    }

    // Answers now or after the reply's delay.
    void respond(const Reply& reply, bool keepAlive)
    {
        if (reply.delay <= std::chrono::milliseconds::zero()) {
            answer(reply, keepAlive);
            return;
        }
        m_delayTimer.expires_after(reply.delay);
        m_delayTimer.async_wait([self = shared_from_this(), reply, keepAlive](error_code error) {
            if (!error) // else cancelled: the connection was closed as the server stops
                self->answer(reply, keepAlive);
        });
    }

    void answer(const Reply& reply, bool keepAlive)
    {
        if (reply.delivery == Reply::Delivery::silent) {
            m_server.m_silentSessions.push_back(shared_from_this());
            return;
        }
        const bool reusable = keepAlive && (reply.delivery == Reply::Delivery::contentLength ||
                                            reply.delivery == Reply::Delivery::chunked);
        send(reply, reusable);
    }

    void send(const Reply& reply, bool keepAlive)
    {
        const bool stall = reply.delivery == Reply::Delivery::stalledBody;
        // A cut body ends without TLS close_notify, as a peer that dies mid-message would.
        const bool closeCleanly = reply.delivery != Reply::Delivery::cutBody;
        m_out = serialize(reply, !keepAlive && !stall);
        withStream([&](auto& stream) {
            asio::async_write(
                stream, asio::buffer(m_out),
                [self = shared_from_this(), keepAlive, stall, closeCleanly](error_code error, std::size_t) {
                    if (!error && keepAlive)
                        self->read();
                    else if (!error && stall)
                        self->m_server.m_silentSessions.push_back(self);
                    else
                        self->finish(closeCleanly && !error);
                });
        });
    }

    void finish(bool cleanly)
    {
        if (m_tls && cleanly) {
            m_tls->async_shutdown([self = shared_from_this()](error_code) { self->close(); });
            return;
        }
        // Half-close first, so that the peer reads everything before it sees the end.
        error_code ignored;
        socket().shutdown(tcp::socket::shutdown_send, ignored);
        close();
    }

    FakeHttpServer& m_server;
    std::optional<tcp::socket> m_plain;
    std::optional<asio::ssl::stream<tcp::socket>> m_tls;
    boost::beast::flat_buffer m_buffer;
    std::optional<bhttp::request_parser<bhttp::string_body>> m_parser;
    std::string m_out;
    asio::steady_timer m_delayTimer;
};

//-------------------------------------------------------------------------------------------------

std::optional<std::string> FakeHttpServer::RecordedRequest::header(std::string_view name) const
{
    for (const auto& [fieldName, value] : headers) {
        if (equalsIgnoringCase(fieldName, name))
            return value;
    }
    return std::nullopt;
}

FakeHttpServer::Reply FakeHttpServer::Reply::ok(std::string body, std::string contentType)
{
    return withStatus(200, std::move(body), std::move(contentType));
}

FakeHttpServer::Reply FakeHttpServer::Reply::withStatus(int status, std::string body, std::string contentType)
{
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    if (!reply.body.empty())
        reply.headers.emplace_back("Content-Type", std::move(contentType));
    return reply;
}

FakeHttpServer::Reply FakeHttpServer::Reply::silent()
{
    Reply reply;
    reply.delivery = Delivery::silent;
    return reply;
}

FakeHttpServer::Reply FakeHttpServer::Reply::cutBody(std::string sentPart, std::size_t declaredLength)
{
    Reply reply;
    reply.body = std::move(sentPart);
    reply.declaredLength = declaredLength;
    reply.delivery = Delivery::cutBody;
    return reply;
}

FakeHttpServer::Reply FakeHttpServer::Reply::stalledBody(std::string sentPart, std::size_t declaredLength)
{
    Reply reply = cutBody(std::move(sentPart), declaredLength);
    reply.delivery = Delivery::stalledBody;
    return reply;
}

FakeHttpServer::Reply& FakeHttpServer::Reply::header(std::string name, std::string value)
{
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

FakeHttpServer::Reply& FakeHttpServer::Reply::deliver(Delivery how)
{
    delivery = how;
    return *this;
}

FakeHttpServer::Reply& FakeHttpServer::Reply::after(std::chrono::milliseconds replyDelay)
{
    delay = replyDelay;
    return *this;
}

FakeHttpServer::Reply& FakeHttpServer::Reply::hold()
{
    held = true;
    return *this;
}

//-------------------------------------------------------------------------------------------------

FakeHttpServer::FakeHttpServer(Transport transport)
    : m_acceptor(m_io)
{
    if (transport == Transport::tls) {
        m_tlsContext.emplace(asio::ssl::context::tls_server);
        useSelfSignedCertificate(m_tlsContext->native_handle(), "127.0.0.1");
    }
    const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), 0);
    m_acceptor.open(endpoint.protocol());
    m_acceptor.bind(endpoint);
    m_acceptor.listen();
    m_port = m_acceptor.local_endpoint().port();
    accept();
    m_thread = std::thread([this] {
        const auto work = asio::make_work_guard(m_io);
        m_io.run();
    });
}

FakeHttpServer::~FakeHttpServer()
{
    stop();
}

std::string FakeHttpServer::url(std::string_view pathAndQuery) const
{
    std::string text = (m_tlsContext ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port);
    if (pathAndQuery.empty() || pathAndQuery.front() != '/')
        text += '/';
    return text + std::string(pathAndQuery);
}

void FakeHttpServer::route(std::string method, std::string path, Reply reply)
{
    route(std::move(method), std::move(path), [reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

void FakeHttpServer::route(std::string method, std::string path, Handler handler)
{
    const std::lock_guard lock(m_configMutex);
    m_routes[{std::move(method), std::move(path)}] = std::move(handler);
}

void FakeHttpServer::requireAuth(AuthScheme scheme, std::string user, std::string password, std::string realm)
{
    const std::lock_guard lock(m_configMutex);
    m_authScheme = scheme;
    m_authUser = std::move(user);
    m_authPassword = std::move(password);
    m_authRealm = std::move(realm);
}

void FakeHttpServer::stopListening()
{
    std::promise<void> closed;
    asio::post(m_io, [this, &closed] {
        error_code ignored;
        m_acceptor.close(ignored);
        closed.set_value();
    });
    closed.get_future().wait();
}

void FakeHttpServer::releaseHeldReplies()
{
    if (m_stopped)
        return;
    std::promise<void> released;
    asio::post(m_io, [this, &released] {
        for (const std::function<void()>& send : std::exchange(m_heldReplies, {}))
            send();
        released.set_value();
    });
    released.get_future().wait();
}

void FakeHttpServer::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    asio::post(m_io, [this] {
        error_code ignored;
        m_acceptor.close(ignored);
        for (const std::weak_ptr<Session>& weak : m_sessions) {
            if (const std::shared_ptr<Session> session = weak.lock())
                session->close();
        }
        m_silentSessions.clear();
        m_heldReplies.clear();
        m_io.stop();
    });
    m_thread.join();
}

std::size_t FakeHttpServer::openConnections()
{
    if (m_stopped)
        return 0;
    // The sessions are the server thread's: counted there.
    std::promise<std::size_t> counted;
    asio::post(m_io, [this, &counted] {
        std::erase_if(m_sessions, [](const std::weak_ptr<Session>& weak) { return weak.expired(); });
        counted.set_value(m_sessions.size());
    });
    return counted.get_future().get();
}

std::vector<FakeHttpServer::RecordedRequest> FakeHttpServer::requests() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_records;
}

std::size_t FakeHttpServer::requestCount() const
{
    const std::lock_guard lock(m_recordsMutex);
    return m_records.size();
}

bool FakeHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_recordsMutex);
    return m_recordsChanged.wait_for(lock, timeout, [&] { return m_records.size() >= count; });
}

void FakeHttpServer::accept()
{
    m_acceptor.async_accept([this](error_code error, tcp::socket socket) {
        if (error)
            return; // closed: stopListening() or stop()
        auto session = std::make_shared<Session>(*this, std::move(socket), m_tlsContext ? &*m_tlsContext : nullptr);
        std::erase_if(m_sessions, [](const std::weak_ptr<Session>& weak) { return weak.expired(); });
        m_sessions.push_back(session);
        session->start();
        accept();
    });
}

void FakeHttpServer::record(const RecordedRequest& request)
{
    {
        const std::lock_guard lock(m_recordsMutex);
        m_records.push_back(request);
    }
    m_recordsChanged.notify_all();
}

FakeHttpServer::Reply FakeHttpServer::replyTo(const RecordedRequest& request)
{
    if (std::optional<Reply> challenge = checkAuth(request))
        return std::move(*challenge);
    Handler handler;
    {
        const std::lock_guard lock(m_configMutex);
        const auto found = m_routes.find({request.method, request.path});
        if (found != m_routes.end())
            handler = found->second;
    }
    if (!handler)
        return Reply::withStatus(404, "no route for " + request.method + " " + request.path);
    // A throwing handler must not take the server thread (and the test process) down with it.
    try {
        return handler(request);
    } catch (const std::exception& error) {
        return Reply::withStatus(500, std::string("handler threw: ") + error.what());
    } catch (...) {
        return Reply::withStatus(500, "handler threw");
    }
}

std::optional<FakeHttpServer::Reply> FakeHttpServer::checkAuth(const RecordedRequest& request)
{
    AuthScheme scheme;
    std::string user, password, realm;
    {
        const std::lock_guard lock(m_configMutex);
        scheme = m_authScheme;
        user = m_authUser;
        password = m_authPassword;
        realm = m_authRealm;
    }
    if (scheme == AuthScheme::none)
        return std::nullopt;

    const std::string authorization = request.header("Authorization").value_or("");
    const bool allowBasic = scheme == AuthScheme::basic || scheme == AuthScheme::basicOrDigest;
    const bool allowDigest = scheme == AuthScheme::digest || scheme == AuthScheme::basicOrDigest;
    if (allowBasic && isValidBasicAuthorization(authorization, user, password))
        return std::nullopt;
    if (allowDigest && isValidDigestAuthorization(authorization, request.method, request.target, user, password, realm,
                                                  m_issuedNonces)) {
        return std::nullopt;
    }

    Reply challenge = Reply::withStatus(401, "<html><body>401 Unauthorized</body></html>", "text/html");
    if (allowDigest) {
        static thread_local std::mt19937_64 random{std::random_device{}()};
        char nonce[33];
        std::snprintf(nonce, sizeof(nonce), "%016llx%016llx", static_cast<unsigned long long>(random()),
                      static_cast<unsigned long long>(random()));
        m_issuedNonces.insert(nonce);
        challenge.header("WWW-Authenticate",
                         "Digest realm=\"" + realm + "\", nonce=\"" + nonce +
                             "\", qop=\"auth\", algorithm=MD5, opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    }
    if (allowBasic)
        challenge.header("WWW-Authenticate", "Basic realm=\"" + realm + "\"");
    return challenge;
}

} // namespace vorn::testing
