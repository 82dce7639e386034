#include <vorn/network/http/http_client.h>

#include <cerrno>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <vorn/network/http/status_code.h>
#include <vorn/utils/scaled_clock.h>

#include "request_support.h"

namespace vorn::network::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using boost::system::error_code;
// The sockets' expiry runs on the system's steady clock; the time-outs are armed with the real duration
// that they take on the ScaledClock.
using Clock = std::chrono::steady_clock;

namespace {

using detail::kReadBufferSize;

using detail::toSystemError;

std::chrono::nanoseconds realDuration(std::chrono::milliseconds timeout)
{
    return utils::ScaledClock::toRealDuration(timeout);
}

} // namespace

class HttpClient::Private
{
public:
    using Parser = bhttp::response_parser<bhttp::string_body>;
    using TlsStream = beast::ssl_stream<beast::tcp_stream>;

    explicit Private(ssl::CertificateCheck certificateCheck)
        : certificateCheck(certificateCheck)
    {}

    bool doRequest(bhttp::verb method, const utils::Url& url, const std::string& contentType, std::string_view body);
    std::optional<QByteArray> fetchBody();

    const ssl::CertificateCheck certificateCheck;
    Credentials credentials;
    AuthType authType = AuthType::basicAndDigest;
    Timeouts timeouts;
    std::vector<std::pair<std::string, std::string>> additionalHeaders;

    std::optional<Response> response;
    std::optional<std::optional<QByteArray>> fetchedBody; //< Set once the body was fetched (or failed to be).
    SystemError::ErrorCode lastError = 0;

private:
    using Target = detail::RequestTarget;

    bool sendAndReadHeader(const Target& target, const bhttp::request<bhttp::string_body>& request);
    bool connect(const Target& target, Clock::time_point deadline);
    void closeConnection();
    bool fail(const error_code& error);

    // Runs an asynchronous operation to completion on this thread: the stream's expiry, set before, makes
    // it end in time.
    template <typename Start>
    error_code run(Start start)
    {
        error_code result = asio::error::would_block;
        start([&result](error_code error, auto&&...) { result = error; });
        m_io.restart();
        m_io.run();
        return result;
    }

    template <typename Operation>
    error_code onStream(Operation operation)
    {
        if (m_tls)
            return operation(*m_tls);
        return operation(*m_tcp);
    }

    beast::tcp_stream& lowestLayer() { return m_tls ? beast::get_lowest_layer(*m_tls) : *m_tcp; }

    asio::io_context m_io;
    std::optional<asio::ssl::context> m_sslContext;
    std::unique_ptr<beast::tcp_stream> m_tcp;
    std::unique_ptr<TlsStream> m_tls;
    beast::flat_buffer m_buffer;
    std::optional<Parser> m_parser;
};

bool HttpClient::Private::fail(const error_code& error)
{
    lastError = toSystemError(error);
    closeConnection();
    return false;
}

void HttpClient::Private::closeConnection()
{
    error_code ignored;
    if (m_tls)
        beast::get_lowest_layer(*m_tls).socket().close(ignored);
    if (m_tcp)
        m_tcp->socket().close(ignored);
    m_tls.reset();
    m_tcp.reset();
    m_buffer.clear();
    m_io.restart();
    m_io.poll(); // lets cancelled handlers of the closed sockets finish
}

bool HttpClient::Private::connect(const Target& target, Clock::time_point deadline)
{
    // An address needs no resolver: asio resolves on a thread of its own, which every client (one per
    // camera request) would start and join again.
    std::vector<asio::ip::tcp::endpoint> endpoints;
    error_code notAnAddress;
    const asio::ip::address address = asio::ip::make_address(target.host, notAnAddress);
    if (!notAnAddress) {
        endpoints.emplace_back(address, target.port);
    } else {
        asio::ip::tcp::resolver resolver(m_io);
        asio::steady_timer resolveTimer(m_io, deadline);
        bool timedOut = false;
        error_code resolveError = asio::error::would_block;
        resolver.async_resolve(target.host, std::to_string(target.port),
                               [&](error_code error, asio::ip::tcp::resolver::results_type results) {
                                   resolveError = error;
                                   endpoints.assign(results.begin(), results.end());
                                   resolveTimer.cancel();
                               });
        resolveTimer.async_wait([&](error_code error) {
            if (!error) {
                timedOut = true;
                resolver.cancel();
            }
        });
        m_io.restart();
        m_io.run();
        if (timedOut)
            return fail(beast::error::timeout);
        if (resolveError)
            return fail(resolveError);
    }

    if (target.secure) {
        if (!m_sslContext) {
            m_sslContext.emplace(asio::ssl::context::tls_client);
            if (certificateCheck == ssl::kAcceptAnyCertificate) {
                m_sslContext->set_verify_mode(asio::ssl::verify_none);
            } else {
                m_sslContext->set_verify_mode(asio::ssl::verify_peer);
                error_code ignored; // without system roots nothing verifies, which is the safe outcome
                m_sslContext->set_default_verify_paths(ignored);
            }
        }
        m_tls = std::make_unique<TlsStream>(m_io, *m_sslContext);
        if (certificateCheck != ssl::kAcceptAnyCertificate)
            m_tls->set_verify_callback(asio::ssl::host_name_verification(target.host));
        // Server name indication, so that a host serving several names picks the right certificate.
        if (notAnAddress)
            SSL_set_tlsext_host_name(m_tls->native_handle(), target.host.c_str());
    } else {
        m_tcp = std::make_unique<beast::tcp_stream>(m_io);
    }

    lowestLayer().expires_at(deadline);
    error_code error = run([&](auto handler) { lowestLayer().async_connect(endpoints, std::move(handler)); });
    if (!error && m_tls)
        error = run([&](auto handler) { m_tls->async_handshake(asio::ssl::stream_base::client, std::move(handler)); });
    if (error)
        return fail(error);
    return true;
}

bool HttpClient::Private::sendAndReadHeader(const Target& target, const bhttp::request<bhttp::string_body>& request)
{
    closeConnection();
    response.reset();
    m_parser.reset();

    const Clock::time_point sendDeadline = Clock::now() + realDuration(timeouts.sendTimeout);
    if (!connect(target, sendDeadline))
        return false;

    lowestLayer().expires_at(sendDeadline);
    error_code error = onStream([&](auto& stream) {
        return run([&](auto handler) { bhttp::async_write(stream, request, std::move(handler)); });
    });
    if (error)
        return fail(error);

    m_parser.emplace();
    m_parser->header_limit(static_cast<std::uint32_t>(kMaxHeaderSize));
    // The body limit is applied when the body is fetched: a large Content-Length must not fail the header.
    m_parser->body_limit(boost::none);
    if (request.method() == bhttp::verb::head)
        m_parser->skip(true);

    lowestLayer().expires_after(realDuration(timeouts.responseReadTimeout));
    error = onStream([&](auto& stream) {
        return run([&](auto handler) { bhttp::async_read_header(stream, m_buffer, *m_parser, std::move(handler)); });
    });
    if (error)
        return fail(error);

    const auto& header = m_parser->get();
    Response received;
    received.statusLine.version =
        "HTTP/" + std::to_string(header.version() / 10) + "." + std::to_string(header.version() % 10);
    received.statusLine.statusCode = static_cast<int>(header.result_int());
    received.statusLine.reasonPhrase = std::string(header.reason());
    for (const auto& field : header)
        received.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    response = std::move(received);
    lastError = 0;
    return true;
}

bool HttpClient::Private::doRequest(bhttp::verb method, const utils::Url& url, const std::string& contentType,
                                    std::string_view body)
{
    closeConnection();
    response.reset();
    fetchedBody.reset();
    m_parser.reset();

    const std::optional<Target> parsed = detail::makeRequestTarget(url.toQUrl(), credentials, &lastError);
    if (!parsed)
        return false;
    const Target& target = *parsed;

    bhttp::request<bhttp::string_body> request(method, target.target, 11);
    request.set(bhttp::field::host, target.hostField);
    request.set(bhttp::field::user_agent, "vorn_network");
    request.set(bhttp::field::accept, "*/*");
    for (const auto& [name, value] : additionalHeaders)
        request.set(name, value);
    if (method == bhttp::verb::post || !body.empty()) {
        if (!contentType.empty())
            request.set(bhttp::field::content_type, contentType);
        request.body().assign(body.data(), body.size());
        request.prepare_payload();
    }

    if (!sendAndReadHeader(target, request))
        return false;
    if (response->statusLine.statusCode != StatusCode::unauthorized)
        return true;

    const std::optional<std::string> authorization = detail::authorizationFor(
        *response, std::string(bhttp::to_string(method)), target.target, target.credentials, authType);
    if (!authorization)
        return true; // the 401 is the answer
    request.set(bhttp::field::authorization, *authorization);
    return sendAndReadHeader(target, request);
}

std::optional<QByteArray> HttpClient::Private::fetchBody()
{
    if (fetchedBody)
        return *fetchedBody;
    if (!response || !m_parser)
        return std::nullopt;

    const auto finish = [this](std::optional<QByteArray> body) {
        fetchedBody = body;
        closeConnection();
        return body;
    };

    if (!m_parser->is_done()) {
        const boost::optional<std::uint64_t> declaredLength = m_parser->content_length();
        if (declaredLength && *declaredLength > kMaxMessageBodySize) {
            lastError = EMSGSIZE;
            return finish(std::nullopt);
        }
        m_parser->body_limit(static_cast<std::uint64_t>(kMaxMessageBodySize));
        m_buffer.reserve(kReadBufferSize);
        lowestLayer().expires_after(realDuration(timeouts.messageBodyReadTimeout));
        const error_code error = onStream([&](auto& stream) {
            return run([&](auto handler) { bhttp::async_read(stream, m_buffer, *m_parser, std::move(handler)); });
        });
        if (error) {
            lastError = toSystemError(error);
            return finish(std::nullopt);
        }
    }
    const std::string& body = m_parser->get().body();
    lastError = 0;
    return finish(QByteArray(body.data(), static_cast<int>(body.size())));
}

HttpClient::HttpClient(ssl::CertificateCheck certificateCheck)
    : d(std::make_unique<Private>(certificateCheck))
{}

HttpClient::~HttpClient() = default;
HttpClient::HttpClient(HttpClient&&) noexcept = default;
HttpClient& HttpClient::operator=(HttpClient&&) noexcept = default;

void HttpClient::setCredentials(const Credentials& credentials)
{
    d->credentials = credentials;
}

void HttpClient::setAuthType(AuthType authType)
{
    d->authType = authType;
}

void HttpClient::addAdditionalHeader(std::string name, std::string value)
{
    d->additionalHeaders.emplace_back(std::move(name), std::move(value));
}

const Timeouts& HttpClient::timeouts() const
{
    return d->timeouts;
}

void HttpClient::setTimeouts(const Timeouts& timeouts)
{
    d->timeouts = timeouts;
}

void HttpClient::setSendTimeout(std::chrono::milliseconds timeout)
{
    d->timeouts.sendTimeout = timeout;
}

void HttpClient::setResponseReadTimeout(std::chrono::milliseconds timeout)
{
    d->timeouts.responseReadTimeout = timeout;
}

void HttpClient::setMessageBodyReadTimeout(std::chrono::milliseconds timeout)
{
    d->timeouts.messageBodyReadTimeout = timeout;
}

bool HttpClient::doGet(const utils::Url& url)
{
    return d->doRequest(bhttp::verb::get, url, std::string(), std::string_view());
}

bool HttpClient::doPost(const utils::Url& url, const std::string& contentType, std::string_view body)
{
    return d->doRequest(bhttp::verb::post, url, contentType, body);
}

bool HttpClient::doPost(const utils::Url& url, const std::string& contentType, const QByteArray& body)
{
    return doPost(url, contentType, std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
}

bool HttpClient::doPost(const utils::Url& url, const std::string& contentType, const char* body)
{
    return doPost(url, contentType, std::string_view(body ? body : ""));
}

const Response* HttpClient::response() const
{
    return d->response ? &*d->response : nullptr;
}

int HttpClient::statusCode() const
{
    return d->response ? d->response->statusLine.statusCode : 0;
}

std::optional<QByteArray> HttpClient::fetchEntireMessageBody()
{
    return d->fetchBody();
}

SystemError::ErrorCode HttpClient::lastSysErrorCode() const
{
    return d->lastError;
}

} // namespace vorn::network::http
