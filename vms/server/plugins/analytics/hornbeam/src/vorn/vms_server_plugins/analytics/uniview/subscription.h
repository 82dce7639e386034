// uniview::Subscription: one event subscription at a Uniview camera together with its push receiver, the
// small HTTP server to which the camera posts its alarms and structured data.
//
//     auto subscription = std::make_unique<Subscription>(localAddress, timer.getAioThread());  // may throw
//     postSubscribe(subscription->serverHost(), subscription->serverPort());
//     subscription->installProcessor("/LAPI/V1.0/System/Event/Notification/Alarm",
//         [](const QString& path, std::string_view body) { processAlarm(body); });
//     ...
//     subscription.reset();                           // stops the receiver; no handler runs afterwards
//
// Rules:
// - The receiver listens on the given local address with a port the system picks, from construction to
//   destruction, and answers every push with 200, whatever its handler makes of it. What others who reach
//   the port can hold of it (connections, time, memory) is bounded by HttpStreamSocketServer's rules.
// - Routes are exact POST paths; the empty path is the catch-all, which at first writes the push to the
//   log. Routes can be added at any time, from any thread.
// - Handlers run on the receiver's I/O thread, one at a time, with the body cleaned of control
//   characters (all but tab, line feed and carriage return become blanks).
// - The destructor may run on any thread: it waits for a handler that is running and no handler starts
//   after it. It must not run inside a handler of its own receiver.
// - The id, the expiration time, the renewal delay and the exchange number of the subscribe are the
//   monitor's bookkeeping, read and set on its thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QtCore/QString>

#include <vorn/network/aio/abstract_aio_thread.h>
#include <vorn/network/http/http_stream_socket_server.h>
#include <vorn/network/http/message_dispatcher.h>
#include <vorn/utils/async_operation_guard.h>

namespace vorn::vms_server_plugins::analytics::uniview {

class Subscription
{
public:
    using Handler = std::function<void(QString path, std::string_view body)>;

    // Backlog of the receiver's listening socket.
    static constexpr int kListenBacklog = 128;

    /** Starts the receiver; throws std::runtime_error when it cannot bind or listen. */
    Subscription(const QString& localAddress, vorn::network::aio::AbstractAioThread* thread);
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    void installProcessor(const std::string& path, Handler handler);

    int id() const { return m_id; }
    void setId(int id);
    int64_t expirationTime() const { return m_expirationTime; }
    void setExpirationTime(int64_t expirationTime);
    /**
     * The delay of the next renewal, decided with the expiration time from one reading of the clock by
     * the subscribe or the latest successful renewal.
     */
    std::chrono::seconds renewDelay() const { return m_renewDelay; }
    void setRenewDelay(std::chrono::seconds delay) { m_renewDelay = delay; }
    /** The monitor's number of the exchange in which the camera gave this subscription. */
    uint64_t subscribedAt() const { return m_subscribedAt; }
    void setSubscribedAt(uint64_t exchange) { m_subscribedAt = exchange; }

    std::string serverHost() const;
    uint16_t serverPort() const;

    /** "id %1 expirationTime %2 listening %3". */
    QString toString() const;
    QString logTagSuffix() const { return toString(); }

    /** Every byte below 0x20 but tab, line feed and carriage return becomes a blank; the length stays. */
    static void cleanControlCharacters(std::string* body);

    /**
     * Test seam: while set, every receiver made in this process fails to bind, as on an address that the
     * machine lacks. Read once per receiver, when it starts.
     */
    static void setBindFailureForTests(bool fail);

private:
    std::unique_ptr<vorn::network::http::MessageDispatcher> m_dispatcher;
    std::unique_ptr<vorn::network::http::HttpStreamSocketServer> m_server;
    std::unique_ptr<vorn::utils::AsyncOperationGuard> m_asyncOperationGuard;
    int m_id = -1;
    int64_t m_expirationTime = 0;
    std::chrono::seconds m_renewDelay{0};
    uint64_t m_subscribedAt = 0;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
