#include "subscription.h"

#include <atomic>
#include <stdexcept>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/network/host_address.h>
#include <vorn/network/http/status_code.h>
#include <vorn/network/socket_address.h>

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;

using namespace vorn::network;

namespace {

std::atomic<bool> s_bindFailureForTests{false};

} // namespace

Subscription::Subscription(const QString& localAddress, aio::AbstractAioThread* thread)
    : m_dispatcher(std::make_unique<http::MessageDispatcher>())
    , m_server(std::make_unique<http::HttpStreamSocketServer>(m_dispatcher.get(), thread))
    , m_asyncOperationGuard(std::make_unique<utils::AsyncOperationGuard>())
{
    if (s_bindFailureForTests.load(std::memory_order_relaxed) ||
        !m_server->bind(SocketAddress(HostAddress(localAddress), 0)))
        throw std::runtime_error("Unable to start HTTP server: bind returned false");
    if (!m_server->listen(kListenBacklog))
        throw std::runtime_error("Unable to start HTTP server: listen returned false");
    VN_LOG(5, this, "HTTP server started");

    installProcessor(std::string(), [this](const QString& path, std::string_view body) {
        VN_LOG(6, this, "Unknown incoming data on %1: %2", PeerText(path.toUtf8()), PeerText(body));
    });
}

Subscription::~Subscription()
{
    if (m_asyncOperationGuard) {
        VN_LOG(5, this, "HTTP server stopped");
        m_server->pleaseStopSync();
        m_asyncOperationGuard.reset();
    }
}

void Subscription::setBindFailureForTests(bool fail)
{
    s_bindFailureForTests.store(fail, std::memory_order_relaxed);
}

void Subscription::installProcessor(const std::string& path, Handler handler)
{
    const auto guard = m_asyncOperationGuard->sharedGuard();
    m_dispatcher->registerRequestProcessorFunc("POST", path, [guard, handler = std::move(handler)] {
        return std::make_unique<http::CustomRequestHandler>(
            [guard, handler](http::RequestContext request, http::RequestProcessedHandler done) {
                if (const auto lock = guard->lock()) {
                    cleanControlCharacters(&request.body);
                    handler(QString::fromStdString(request.path), request.body);
                }
                done(http::RequestResult(http::StatusCode::ok));
            });
    });
}

void Subscription::setId(int id)
{
    m_id = id;
    VN_ASSERT(m_id >= 0);
}

void Subscription::setExpirationTime(int64_t expirationTime)
{
    VN_LOG(6, this, "Setting expiration time to %1", expirationTime);
    m_expirationTime = expirationTime;
}

std::string Subscription::serverHost() const
{
    return m_server->address().address.toString();
}

uint16_t Subscription::serverPort() const
{
    return m_server->address().port;
}

QString Subscription::toString() const
{
    return QStringLiteral("id %1 expirationTime %2 listening %3")
        .arg(m_id)
        .arg(m_expirationTime)
        .arg(QString::fromStdString(m_server->address().toString()));
}

void Subscription::cleanControlCharacters(std::string* body)
{
    for (char& c : *body) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            c = ' ';
    }
}

} // namespace vorn::vms_server_plugins::analytics::uniview
