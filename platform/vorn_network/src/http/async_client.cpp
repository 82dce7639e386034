#include <vorn/network/http/async_client.h>

#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <vorn/network/http/status_code.h>
#include <vorn/utils/scaled_clock.h>

#include "request_support.h"

namespace vorn::network::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using boost::system::error_code;
using tcp = asio::ip::tcp;

namespace {

using detail::kReadBufferSize;

// The connection of one request, shared with its pending Asio operations: a stop may destroy the client
// while an aborted operation still has to come back, and the operation's buffers must live until then.
struct Exchange
{
    explicit Exchange(asio::io_context& io)
        : resolver(io)
        , resolveTimer(io)
        , stream(io)
    {}

    tcp::resolver resolver;
    asio::steady_timer resolveTimer;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<bhttp::response_parser<bhttp::string_body>> parser;
    bhttp::request<bhttp::string_body> request;
    tcp::resolver::results_type endpoints;
    std::chrono::steady_clock::time_point sendDeadline;
    bool resolveTimedOut = false;

    void close()
    {
        error_code ignored;
        resolver.cancel();
        resolveTimer.cancel();
        stream.socket().close(ignored);
    }
};

// What the accessors report of one request.
struct Outcome
{
    utils::Url url;
    std::optional<Response> response;
    std::string body;
    bool succeeded = false;
    SystemError::ErrorCode error = 0;
};

// A request that a newer one ended, with its completion still to run.
struct Cancelled
{
    AsyncClient::CompletionHandler completion;
    utils::Url url;
};

} // namespace

struct AsyncClient::Private
{
    explicit Private(AsyncClient* owner)
        : q(owner)
    {}

    AsyncClient* const q;

    mutable std::mutex settingsMutex; //< Guards the four settings, which any thread may change.
    Credentials credentials;
    AuthType authType = AuthType::basicAndDigest;
    Timeouts timeouts;
    std::vector<std::pair<std::string, std::string>> additionalHeaders;

    // The rest is touched on the client's thread only.
    CompletionHandler completion;
    std::shared_ptr<Exchange> exchange;
    detail::RequestTarget target;
    Timeouts requestTimeouts;
    AuthType requestAuthType = AuthType::basicAndDigest;
    bool authorizationSent = false;
    std::uint64_t requestNumber = 0; //< Moves on with every start, so a failure posted for an older one is dropped.
    Outcome newest;                  //< The newest request's: reset when it starts, filled in as it goes.
    // Requests that a newer one ended, oldest first; each has a posted call of runCancelled() to come.
    std::deque<Cancelled> cancelled;
    // While the completion of such a request runs, and until the client's next step: its own outcome.
    std::optional<Outcome> cancelledOutcome;

    const Outcome& shown() const { return cancelledOutcome ? *cancelledOutcome : newest; }

    void start(bhttp::verb method, const utils::Url& requestUrl, std::optional<BufferSource> requestBody,
               CompletionHandler handler);
    void connect();
    void sendRequest();
    void readHeader();
    void readBody();
    void finish(SystemError::ErrorCode error);
    void failLater(SystemError::ErrorCode error);
    void cancelInFlight();
    void runCancelled();
    void dropExchange();

    template <typename Handler>
    auto bind(Handler handler)
    {
        return q->bindToGeneration(std::move(handler));
    }
};

void AsyncClient::Private::dropExchange()
{
    if (exchange) {
        exchange->close();
        exchange.reset();
    }
}

void AsyncClient::Private::finish(SystemError::ErrorCode error)
{
    dropExchange();
    cancelledOutcome.reset();
    newest.error = error;
    newest.succeeded =
        error == 0 && newest.response && StatusCode::isSuccessCode(newest.response->statusLine.statusCode);
    if (error != 0)
        newest.body.clear();
    // The completion may start the next request or stop the client: nothing of this call touches the
    // client after it.
    CompletionHandler handler = std::move(completion);
    completion = nullptr;
    if (handler)
        handler();
}

void AsyncClient::Private::failLater(SystemError::ErrorCode error)
{
    q->post([this, error, number = requestNumber] {
        if (number == requestNumber)
            finish(error);
    });
}

// The completion of the request in flight runs later, from the queue, and not here: it may start a
// request itself, and that one must not be overwritten by the request that is starting now.
void AsyncClient::Private::cancelInFlight()
{
    if (!completion)
        return;
    dropExchange();
    cancelled.push_back({std::move(completion), newest.url});
    completion = nullptr;
    q->post([this] { runCancelled(); });
}

void AsyncClient::Private::runCancelled()
{
    if (cancelled.empty())
        return;
    Cancelled request = std::move(cancelled.front());
    cancelled.pop_front();
    Outcome outcome;
    outcome.url = std::move(request.url);
    outcome.error = ECANCELED;
    cancelledOutcome = std::move(outcome);
    // As in finish(): nothing of this call touches the client after the completion.
    request.completion();
}

void AsyncClient::Private::start(bhttp::verb method, const utils::Url& requestUrl,
                                 std::optional<BufferSource> requestBody, CompletionHandler handler)
{
    cancelInFlight();
    dropExchange();
    cancelledOutcome.reset();
    ++requestNumber;
    completion = std::move(handler);
    newest = Outcome();
    newest.url = requestUrl;
    authorizationSent = false;

    Credentials requestCredentials;
    std::vector<std::pair<std::string, std::string>> headers;
    {
        const std::lock_guard<std::mutex> lock(settingsMutex);
        requestCredentials = credentials;
        requestAuthType = authType;
        requestTimeouts = timeouts;
        headers = additionalHeaders;
    }

    SystemError::ErrorCode error = 0;
    std::optional<detail::RequestTarget> parsed =
        detail::makeRequestTarget(newest.url.toQUrl(), requestCredentials, &error);
    if (!parsed)
        return failLater(error);
    if (parsed->secure)
        return failLater(EPROTONOSUPPORT);
    target = std::move(*parsed);

    exchange = std::make_shared<Exchange>(q->getAioThread()->ioContext());
    bhttp::request<bhttp::string_body>& request = exchange->request;
    request.method(method);
    request.target(target.target);
    request.version(11);
    request.set(bhttp::field::host, target.hostField);
    request.set(bhttp::field::user_agent, "vorn_network");
    request.set(bhttp::field::accept, "*/*");
    for (const auto& [name, value] : headers)
        request.set(name, value);
    if (requestBody) {
        if (!requestBody->contentType.empty())
            request.set(bhttp::field::content_type, requestBody->contentType);
        request.body() = std::move(requestBody->body);
        request.prepare_payload();
    }
    connect();
}

void AsyncClient::Private::connect()
{
    const std::shared_ptr<Exchange> current = exchange;
    current->sendDeadline =
        std::chrono::steady_clock::now() + utils::ScaledClock::toRealDuration(requestTimeouts.sendTimeout);

    error_code addressError;
    const asio::ip::address address = asio::ip::make_address(target.host, addressError);
    const auto onEndpoints = [this, current](error_code error) {
        if (current != exchange)
            return; // a later request replaced this one
        if (current->resolveTimedOut)
            return finish(ETIMEDOUT);
        if (error)
            return finish(detail::toSystemError(error));
        current->stream.expires_at(current->sendDeadline);
        current->stream.async_connect(current->endpoints, bind([this, current](error_code error, const auto&...) {
                                          if (current != exchange)
                                              return;
                                          if (error)
                                              return finish(detail::toSystemError(error));
                                          sendRequest();
                                      }));
    };
    if (!addressError) {
        current->endpoints = tcp::resolver::results_type::create(tcp::endpoint(address, target.port), target.host,
                                                                 std::to_string(target.port));
        q->post([onEndpoints] { onEndpoints(error_code()); });
        return;
    }
    current->resolveTimer.expires_at(current->sendDeadline);
    current->resolveTimer.async_wait([current](error_code error) {
        if (!error) {
            current->resolveTimedOut = true;
            current->resolver.cancel();
        }
    });
    current->resolver.async_resolve(target.host, std::to_string(target.port),
                                    bind([current, onEndpoints](error_code error, tcp::resolver::results_type results) {
                                        current->resolveTimer.cancel();
                                        current->endpoints = std::move(results);
                                        onEndpoints(error);
                                    }));
}

void AsyncClient::Private::sendRequest()
{
    const std::shared_ptr<Exchange> current = exchange;
    current->stream.expires_at(current->sendDeadline);
    bhttp::async_write(current->stream, current->request, bind([this, current](error_code error, std::size_t) {
                           if (current != exchange)
                               return;
                           if (error)
                               return finish(detail::toSystemError(error));
                           readHeader();
                       }));
}

void AsyncClient::Private::readHeader()
{
    const std::shared_ptr<Exchange> current = exchange;
    current->parser.emplace();
    current->parser->header_limit(static_cast<std::uint32_t>(kMaxHeaderSize));
    // The body limit is applied when the body is read: a large Content-Length must not fail the header.
    current->parser->body_limit(boost::none);
    if (current->request.method() == bhttp::verb::head)
        current->parser->skip(true);
    current->stream.expires_after(utils::ScaledClock::toRealDuration(requestTimeouts.responseReadTimeout));
    bhttp::async_read_header(
        current->stream, current->buffer, *current->parser, bind([this, current](error_code error, std::size_t) {
            if (current != exchange)
                return;
            if (error)
                return finish(detail::toSystemError(error));
            const auto& header = current->parser->get();
            Response received;
            received.statusLine.version =
                "HTTP/" + std::to_string(header.version() / 10) + "." + std::to_string(header.version() % 10);
            received.statusLine.statusCode = static_cast<int>(header.result_int());
            received.statusLine.reasonPhrase = std::string(header.reason());
            for (const auto& field : header)
                received.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
            newest.response = std::move(received);

            if (newest.response->statusLine.statusCode == StatusCode::unauthorized && !authorizationSent) {
                const std::optional<std::string> authorization =
                    detail::authorizationFor(*newest.response, std::string(bhttp::to_string(current->request.method())),
                                             target.target, target.credentials, requestAuthType);
                if (authorization) {
                    // A new connection for the answer: the peer may close the challenged one.
                    authorizationSent = true;
                    auto next = std::make_shared<Exchange>(q->getAioThread()->ioContext());
                    next->request = std::move(current->request);
                    next->request.set(bhttp::field::authorization, *authorization);
                    dropExchange();
                    exchange = std::move(next);
                    newest.response.reset();
                    return connect();
                }
            }
            readBody();
        }));
}

void AsyncClient::Private::readBody()
{
    const std::shared_ptr<Exchange> current = exchange;
    if (current->parser->is_done())
        return finish(0);
    const boost::optional<std::uint64_t> declaredLength = current->parser->content_length();
    if (declaredLength && *declaredLength > kMaxMessageBodySize)
        return finish(EMSGSIZE);
    current->parser->body_limit(static_cast<std::uint64_t>(kMaxMessageBodySize));
    current->buffer.reserve(kReadBufferSize);
    current->stream.expires_after(utils::ScaledClock::toRealDuration(requestTimeouts.messageBodyReadTimeout));
    bhttp::async_read(current->stream, current->buffer, *current->parser,
                      bind([this, current](error_code error, std::size_t) {
                          if (current != exchange)
                              return;
                          if (error)
                              return finish(detail::toSystemError(error));
                          newest.body = std::move(current->parser->get().body());
                          finish(0);
                      }));
}

AsyncClient::AsyncClient(aio::AbstractAioThread* thread)
    : BasicPollable(thread)
    , d(std::make_unique<Private>(this))
{}

AsyncClient::~AsyncClient()
{
    pleaseStopSync();
}

void AsyncClient::setCredentials(const Credentials& credentials)
{
    const std::lock_guard<std::mutex> lock(d->settingsMutex);
    d->credentials = credentials;
}

void AsyncClient::setAuthType(AuthType authType)
{
    const std::lock_guard<std::mutex> lock(d->settingsMutex);
    d->authType = authType;
}

void AsyncClient::setTimeouts(const Timeouts& timeouts)
{
    const std::lock_guard<std::mutex> lock(d->settingsMutex);
    d->timeouts = timeouts;
}

Timeouts AsyncClient::timeouts() const
{
    const std::lock_guard<std::mutex> lock(d->settingsMutex);
    return d->timeouts;
}

void AsyncClient::addAdditionalHeader(std::string name, std::string value)
{
    const std::lock_guard<std::mutex> lock(d->settingsMutex);
    d->additionalHeaders.emplace_back(std::move(name), std::move(value));
}

void AsyncClient::doGet(const utils::Url& url, CompletionHandler completion)
{
    dispatch([this, url, completion = std::move(completion)]() mutable {
        d->start(bhttp::verb::get, url, std::nullopt, std::move(completion));
    });
}

void AsyncClient::doPost(const utils::Url& url, BufferSource body, CompletionHandler completion)
{
    dispatch([this, url, body = std::move(body), completion = std::move(completion)]() mutable {
        d->start(bhttp::verb::post, url, std::move(body), std::move(completion));
    });
}

void AsyncClient::doPut(const utils::Url& url, BufferSource body, CompletionHandler completion)
{
    dispatch([this, url, body = std::move(body), completion = std::move(completion)]() mutable {
        d->start(bhttp::verb::put, url, std::move(body), std::move(completion));
    });
}

void AsyncClient::doDelete(const utils::Url& url, CompletionHandler completion)
{
    dispatch([this, url, completion = std::move(completion)]() mutable {
        d->start(bhttp::verb::delete_, url, std::nullopt, std::move(completion));
    });
}

bool AsyncClient::hasRequestSucceeded() const
{
    return d->shown().succeeded;
}

const Response* AsyncClient::response() const
{
    const std::optional<Response>& response = d->shown().response;
    return response ? &*response : nullptr;
}

const std::string& AsyncClient::fetchMessageBodyBuffer() const
{
    return d->shown().body;
}

SystemError::ErrorCode AsyncClient::lastSysErrorCode() const
{
    return d->shown().error;
}

const utils::Url& AsyncClient::url() const
{
    return d->shown().url;
}

void AsyncClient::stopWhileInAioThread()
{
    // Destroyed without being called; taken out first and destroyed last, as one of them may own the client.
    CompletionHandler dropped = std::move(d->completion);
    d->completion = nullptr;
    std::deque<Cancelled> droppedCancelled = std::move(d->cancelled);
    d->cancelled.clear();
    d->cancelledOutcome.reset();
    d->dropExchange();
}

} // namespace vorn::network::http
