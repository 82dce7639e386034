#include "metadata_monitor.h"

#include <climits>
#include <cmath>
#include <optional>
#include <stdexcept>

#include <sys/socket.h>

#include <vorn/log_support/assert.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/network/host_address.h>
#include <vorn/network/http/default_port.h>
#include <vorn/network/socket_address.h>
#include <vorn/sdk/helpers/plugin_diagnostic_event.h>
#include <vorn/utils/scope_guard.h>
#include <vorn/utils/sync_result.h>
#include <vorn/vms_server_plugins/utils/status_line_text.h>

#include "alarm_processor.h"
#include "device_agent.h"
#include "lapi.h"
#include "sei_processor.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;
using vorn::vms_server_plugins::utils::statusLineText;

using Json = vorn::kit::detail::json11::Json;
using namespace vorn::network;
using namespace vorn::sdk;
using namespace std::chrono_literals;
using Level = IPluginDiagnosticEvent::Level;

MetadataMonitor::MetadataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{
    m_httpClient = m_deviceAgent->makeHttpClient();
    m_httpClient->bindToAioThread(m_timer.getAioThread());
    m_cancelClient = m_deviceAgent->makeHttpClient();
    m_cancelClient->bindToAioThread(m_timer.getAioThread());
}

MetadataMonitor::~MetadataMonitor()
{
    m_asyncOperationGuard.reset();
    m_timer.executeInAioThreadSync([this] {
        m_timer.pleaseStopSync();
        m_httpClient->pleaseStopSync();
        m_cancelClient->pleaseStopSync();
        if (m_probeSocket)
            m_probeSocket->pleaseStopSync();
        m_probeSocket.reset();
        m_subscription.reset(); // stops the receiver; nothing is sent to the camera
    });
    const std::lock_guard<std::mutex> lock(m_structureProcessorMutex);
    m_structureProcessor.reset();
}

QString MetadataMonitor::logTagSuffix() const
{
    const int id = m_loggedSubscriptionId.load(std::memory_order_relaxed);
    return QStringLiteral("%1 Sub %2")
        .arg(m_deviceAgent->deviceUrlText(), id == kNoSubscription ? QStringLiteral("N/A") : QString::number(id));
}

int64_t MetadataMonitor::nowSeconds() const
{
    return m_deviceAgent->serverTimeUs() / 1'000'000;
}

std::chrono::seconds MetadataMonitor::grantedLifetime(const Json& reply)
{
    const auto seconds = [](const Json& value) -> std::optional<int64_t> {
        if (!value.is_number())
            return std::nullopt;
        const double number = std::trunc(value.number_value());
        if (!(std::fabs(number) <= kMaxCameraSeconds))
            return std::nullopt; // NaN, infinity, or out of range
        return static_cast<int64_t>(number);
    };
    const std::chrono::seconds requested{kSubscriptionDuration};
    const Json& data = reply["Response"]["Data"];
    const std::optional<int64_t> currentTime = seconds(data["CurrentTime"]);
    const std::optional<int64_t> terminationTime = seconds(data["TerminationTime"]);
    if (!currentTime || !terminationTime)
        return requested;
    const std::chrono::seconds lifetime{*terminationTime - *currentTime};
    if (lifetime <= std::chrono::seconds::zero() || lifetime > requested)
        return requested;
    return lifetime;
}

int64_t MetadataMonitor::expirationTimeFromResponse(const Json& reply, int64_t nowSeconds)
{
    return nowSeconds + grantedLifetime(reply).count();
}

std::chrono::seconds MetadataMonitor::renewDelay(int64_t expirationTime, int64_t nowSeconds)
{
    const int64_t remaining = expirationTime - nowSeconds;
    if (remaining > kShortGrant.count())
        return std::chrono::seconds(remaining - kRenewMargin.count());
    return std::max(kMinRenewDelay, std::chrono::seconds(remaining / 2));
}

http::BufferSource MetadataMonitor::makeJsonBody(const Json& value)
{
    return http::BufferSource(kJsonContentType, value.dump());
}

void MetadataMonitor::startMonitoring()
{
    bool hadSubscription = false;
    m_timer.executeInAioThreadSync([&] {
        hadSubscription = m_subscription != nullptr;
        if (hadSubscription)
            VN_LOG(3, this, "Discarding existing subscription [%1]", m_subscription->toString());
    });

    std::unique_ptr<Subscription> subscription = subscribeSync();

    m_timer.executeInAioThreadSync([&] {
        // The old subscription's receiver served pushes until now; it goes (and is cancelled at the camera)
        // whether or not the new attempt succeeded.
        if (m_subscription)
            m_lostSubscriptions.push_back(cancelOf(*m_subscription));
        setSubscription(std::move(subscription));
        if (!m_subscription) {
            VN_LOG(3, this, "Subscription failed");
            cancelLostSubscriptions();
            scheduleSubscriptionRenew(kRetryDelay);
        } else {
            scheduleSubscriptionRenew(m_subscription->renewDelay());
        }
    });
}

void MetadataMonitor::stopMonitoring()
{
    m_timer.executeInAioThreadSync([this] {
        if (!m_subscription)
            return;
        // The subscription goes first: a cancel of the current subscription's id is never sent.
        const PendingCancel cancel = cancelOf(*m_subscription);
        setSubscription(nullptr);
        unsubscribeAsync(cancel);
    });
}

void MetadataMonitor::cancelPendingOperations()
{
    m_asyncOperationGuard.reset();
    m_timer.cancelSync();
    m_timer.executeInAioThreadSync([this] {
        m_httpClient->pleaseStopSync();
        if (m_probeSocket)
            m_probeSocket->pleaseStopSync();
        m_probeSocket.reset();
    });
}

std::unique_ptr<Subscription> MetadataMonitor::subscribeSync()
{
    // A completion dropped unrun (its guard was reset during the wait) ends the wait with no subscription.
    const auto result = std::make_shared<vorn::utils::SyncResult<std::unique_ptr<Subscription>>>();
    subscribeAsync(
        [fulfiller = vorn::utils::FulfilOnDestruction(result)](std::unique_ptr<Subscription> subscription) mutable {
            fulfiller.fulfil(std::move(subscription));
        });
    return result->wait();
}

void MetadataMonitor::subscribeAsync(SubscribeCompletion completion)
{
    m_timer.dispatch(m_asyncOperationGuard.wrap([this, completion = std::move(completion)]() mutable {
        const vorn::utils::Url url = m_deviceAgent->lapiUrl(kSubscriptionPath);
        probeAsync(url, m_asyncOperationGuard.wrap([this, url,
                                                    completion = std::move(completion)](QString localAddress) mutable {
            if (localAddress.isEmpty()) {
                VN_LOG(5, this, "Probing %1 failed", urlLogText(url));
                return completion(nullptr);
            }
            std::unique_ptr<Subscription> subscription;
            try {
                subscription = std::make_unique<Subscription>(localAddress, m_timer.getAioThread());
            } catch (const std::exception& e) {
                pushDiagnosticEvent(Level::error, "Event subscription", e.what());
                VN_LOG(5, this, "%1", e.what());
                return completion(nullptr);
            }
            Json::object body{
                {"AddressType", 0},
                {"IpAddress", subscription->serverHost()},
                {"Port", static_cast<int>(subscription->serverPort())},
                {"Duration", kSubscriptionDuration},
            };
            m_httpClient->doPost(url, makeJsonBody(Json(std::move(body))),
                                 m_asyncOperationGuard.wrap([this, subscription = std::move(subscription),
                                                             completion = std::move(completion)]() mutable {
                                     onSubscribeRequestCompleted(std::move(subscription), std::move(completion));
                                 }));
        }));
    }));
}

void MetadataMonitor::probeAsync(const vorn::utils::Url& url, ProbeCompletion completion)
{
    const int port = url.port(http::defaultPortForScheme(url.scheme().toStdString()));
    const SocketAddress target(HostAddress(url.host(QUrl::FullyDecoded)), static_cast<uint16_t>(port));

    if (m_probeSocket)
        m_probeSocket->pleaseStopSync();
    m_probeSocket = std::make_unique<TCPSocket>(AF_INET, m_timer.getAioThread());
    m_probeSocket->setNonBlockingMode(true);
    m_probeSocket->setSendTimeout(static_cast<unsigned int>(kProbeSendTimeout.count()));
    const int64_t startUs = m_deviceAgent->serverTimeUs();
    m_probeSocket->connectAsync(target, m_asyncOperationGuard.wrap([this, startUs, completion = std::move(completion)](
                                                                       SystemError::ErrorCode code) mutable {
        QString localAddress;
        if (code == SystemError::noError)
            localAddress = QString::fromStdString(m_probeSocket->getLocalAddress().address.toString());
        VN_LOG(5, this, "Probing %1 took %2 msec with result code %3", m_probeSocket->getForeignHostName(),
               (m_deviceAgent->serverTimeUs() - startUs) / 1000, code);
        // Nothing goes over the connection: it closes now instead of idling at the camera (which has few
        // connections to give) for as long as the subscription lasts. The object itself stays until the
        // next probe or a stop, since this runs inside its completion.
        m_probeSocket->pleaseStopSync();
        completion(localAddress);
    }));
}

void MetadataMonitor::onSubscribeRequestCompleted(std::unique_ptr<Subscription> subscription,
                                                  SubscribeCompletion completion)
{
    bool succeeded = false;
    const vorn::utils::ScopeGuard finish([&] { completion(succeeded ? std::move(subscription) : nullptr); });

    if (!m_httpClient->hasRequestSucceeded()) {
        VN_LOG(5, this, "Subscribe request failed with HTTP code [%1] sys error code [%2]",
               statusLineText(m_httpClient->response()), m_httpClient->lastSysErrorCode());
        return;
    }
    const std::string& body = m_httpClient->fetchMessageBodyBuffer();
    const LapiReply reply = readLapiReply(body);
    if (reply.status == LapiReply::Status::unreadable) {
        VN_LOG(5, this, kLapiJsonParsingFailedFormat, reply.parseError, PeerText(body));
        return;
    }
    if (reply.status == LapiReply::Status::deviceError) {
        VN_LOG(5, this, "Subscribe request failed with device error code %1 (%2), data: %3", reply.code,
               PeerText(reply.text), PeerText(body));
        return;
    }
    const int id = reply.json["Response"]["CreatedID"].int_value();
    if (id >= 0)
        subscription->setId(id);
    else
        VN_LOG(5, this, "Invalid subscription id %1", id);
    // One reading of the clock for the expiration time and the renewal delay alike.
    const int64_t now = nowSeconds();
    const int64_t expirationTime = expirationTimeFromResponse(reply.json, now);
    subscription->setExpirationTime(expirationTime);
    subscription->setRenewDelay(renewDelay(expirationTime, now));
    subscription->setSubscribedAt(nextExchange());
    succeeded = true;
}

void MetadataMonitor::setSubscription(std::unique_ptr<Subscription> subscription)
{
    m_renewAttempts = 0;
    std::unique_ptr<Subscription> previous = std::exchange(m_subscription, std::move(subscription));
    m_loggedSubscriptionId = m_subscription ? m_subscription->id() : kNoSubscription;
    previous.reset(); // its receiver stops
    installProcessors();
    if (m_subscription) {
        for (const PendingCancel& cancel : std::exchange(m_lostSubscriptions, {})) {
            if (cancel.id != m_subscription->id())
                unsubscribeAsync(cancel);
        }
    }
}

void MetadataMonitor::installProcessors()
{
    if (!m_subscription)
        return;
    const std::string alarmPath = m_deviceAgent->lapiUrl(kAlarmNotificationPath).path(QUrl::FullyDecoded).toStdString();
    const std::string structurePath =
        m_deviceAgent->lapiUrl(kStructureNotificationPath).path(QUrl::FullyDecoded).toStdString();
    m_subscription->installProcessor(
        alarmPath, [this](const QString&, std::string_view body) { AlarmProcessor(m_deviceAgent).process(body); });
    m_subscription->installProcessor(structurePath, [this](const QString&, std::string_view body) {
        MetadataPackets packets;
        {
            const std::lock_guard<std::mutex> lock(m_structureProcessorMutex);
            if (!m_structureProcessor)
                m_structureProcessor = std::make_unique<StructureProcessor>(m_deviceAgent);
            packets = m_structureProcessor->process(body);
        }
        deliver(packets);
    });
}

void MetadataMonitor::scheduleSubscriptionRenew(std::chrono::seconds delay)
{
    VN_LOG(6, this, "Scheduling renew in %1 seconds", delay.count());
    m_timer.start(delay, m_asyncOperationGuard.wrap([this] { onTimer(); }));
}

void MetadataMonitor::onTimer()
{
    ++m_renewAttempts;
    if (m_subscription) {
        if (m_renewAttempts <= kMaxRenewAttempts) {
            VN_LOG(5, this, "Renewing subscription %1/%2", m_renewAttempts, kMaxRenewAttempts);
            renewSubscriptionAsync();
            return;
        }
        pushDiagnosticEvent(Level::warning, "Event subscription lost",
                            QStringLiteral("Cannot renew analytic events subscription after %1 retries")
                                .arg(kMaxRenewAttempts)
                                .toStdString());
        VN_LOG(5, this, "Abort trying to renew, trying to resubscribe");
        m_lostSubscriptions.push_back(cancelOf(*m_subscription));
        setSubscription(nullptr);
    }
    if (!m_deviceAgent->isAnyTypeNeeded())
        return;
    VN_LOG(5, this, "Resubscribing");
    subscribeAsync(m_asyncOperationGuard.wrap([this](std::unique_ptr<Subscription> subscription) {
        if (!subscription) {
            cancelLostSubscriptions();
            scheduleSubscriptionRenew(kRetryDelay);
            return;
        }
        setSubscription(std::move(subscription));
        scheduleSubscriptionRenew(m_subscription->renewDelay());
        pushDiagnosticEvent(Level::warning, "Event subscription recovered",
                            "Successfully resubscribed to analytic events");
        VN_LOG(5, this, "Resubscribe success");
    }));
}

void MetadataMonitor::renewSubscriptionAsync()
{
    if (!VN_CHECK(m_subscription))
        return scheduleSubscriptionRenew(kRetryDelay);
    VN_LOG(5, this, "Renewing subscription");
    m_renewalSentAt = nextExchange();
    const vorn::utils::Url url =
        m_deviceAgent->lapiUrl(QStringLiteral("%1/%2").arg(kSubscriptionPath).arg(m_subscription->id()));
    m_httpClient->doPut(url, makeJsonBody(Json(Json::object{{"Duration", kSubscriptionDuration}})),
                        m_asyncOperationGuard.wrap([this] { onRenewRequestDone(); }));
}

void MetadataMonitor::onRenewRequestDone()
{
    std::optional<int64_t> expirationTime;
    int64_t now = 0; //< The one reading of the clock behind expirationTime.
    const vorn::utils::ScopeGuard finish([&] {
        // Without a subscription there is nothing to renew: the next step resubscribes when types are
        // needed, instead of touching a subscription that is not there.
        if (!VN_CHECK(m_subscription))
            return scheduleSubscriptionRenew(kRetryDelay);
        if (!expirationTime)
            return scheduleSubscriptionRenew(kRetryDelay);
        m_renewAttempts = 0;
        m_subscription->setExpirationTime(*expirationTime);
        m_subscription->setRenewDelay(renewDelay(*expirationTime, now));
        scheduleSubscriptionRenew(m_subscription->renewDelay());
        retryFailedCancels(m_renewalSentAt);
    });

    if (!m_httpClient->hasRequestSucceeded()) {
        VN_LOG(5, this, "Renew request failed with HTTP code [%1] sys error code [%2]",
               statusLineText(m_httpClient->response()), m_httpClient->lastSysErrorCode());
        return;
    }
    const std::string& body = m_httpClient->fetchMessageBodyBuffer();
    const LapiReply reply = readLapiReply(body);
    if (reply.status == LapiReply::Status::unreadable) {
        VN_LOG(5, this, kLapiJsonParsingFailedFormat, reply.parseError, PeerText(body));
        return;
    }
    if (reply.status == LapiReply::Status::deviceError) {
        VN_LOG(5, this, "Renew request failed with device error code %1 (%2)", reply.code, PeerText(reply.text));
        return;
    }
    now = nowSeconds();
    expirationTime = expirationTimeFromResponse(reply.json, now);
}

void MetadataMonitor::cancelLostSubscriptions()
{
    // Without a new subscription, the lost ones are cancelled at once: a camera with few slots may keep one
    // that blocks every retry (its receiver is gone already, so it serves nothing).
    for (const PendingCancel& cancel : std::exchange(m_lostSubscriptions, {}))
        unsubscribeAsync(cancel);
}

MetadataMonitor::PendingCancel MetadataMonitor::cancelOf(const Subscription& subscription)
{
    return {.id = subscription.id(), .expirationTime = subscription.expirationTime()};
}

void MetadataMonitor::unsubscribeAsync(const PendingCancel& cancel)
{
    m_pendingCancels.push_back(cancel);
    if (!m_cancelInFlight)
        sendNextCancel();
}

bool MetadataMonitor::hasGrantRunOut(const PendingCancel& cancel, int64_t now) const
{
    if (now < cancel.expirationTime)
        return false;
    VN_LOG(5, this, "Subscription cancel for id %1 dropped: its grant ran out at %2", cancel.id, cancel.expirationTime);
    return true;
}

void MetadataMonitor::sendNextCancel()
{
    // Checked right before the try: the queue may have waited for a cancel in flight, and meanwhile the
    // grant may have run out, or a camera that restarted may have given the id to the current subscription.
    const int64_t now = nowSeconds();
    const auto isStale = [&](const PendingCancel& cancel) {
        return hasGrantRunOut(cancel, now) || (m_subscription && cancel.id == m_subscription->id());
    };
    while (!m_pendingCancels.empty() && isStale(m_pendingCancels.front()))
        m_pendingCancels.pop_front();
    if (m_pendingCancels.empty()) {
        m_cancelInFlight = false;
        return;
    }
    PendingCancel cancel = m_pendingCancels.front();
    m_pendingCancels.pop_front();
    m_cancelInFlight = true;
    cancel.triedAt = nextExchange();
    const vorn::utils::Url url = m_deviceAgent->lapiUrl(QStringLiteral("%1/%2").arg(kSubscriptionPath).arg(cancel.id));
    // Not guarded: a re-selection must not cut a cancel short. The client is stopped before the monitor
    // goes, so this never runs after it; what it logs is captured here, not read from the monitor later.
    m_cancelClient->doDelete(url, [this, cancel, tag = vorn::utils::log::Tag(log_support::objectLogTag(this))] {
        const bool succeeded = m_cancelClient->hasRequestSucceeded();
        VN_LOG(5, tag, "Subscription cancel for id %1 %2", cancel.id, succeeded ? "succeeded" : "failed");
        const int attempts = cancel.attempts + 1;
        if (!succeeded && attempts < kMaxCancelAttempts) {
            PendingCancel failed = cancel;
            failed.attempts = attempts;
            failed.failedAt = nextExchange();
            dropRunOutCancels();
            m_failedCancels.push_back(failed); // waits for a renewal that proves the camera kept it
        } else if (!succeeded) {
            VN_LOG(5, tag, "Subscription cancel for id %1 given up after %2 attempts", cancel.id, attempts);
        }
        sendNextCancel();
    });
}

void MetadataMonitor::dropRunOutCancels()
{
    const int64_t now = nowSeconds();
    std::erase_if(m_failedCancels, [&](const PendingCancel& cancel) { return hasGrantRunOut(cancel, now); });
}

void MetadataMonitor::retryFailedCancels(uint64_t renewalSentAt)
{
    dropRunOutCancels();
    const uint64_t subscribedAt = m_subscription->subscribedAt();
    for (const PendingCancel& cancel : std::exchange(m_failedCancels, {})) {
        // A camera that restarted gives its ids out again: the current subscription may have this one.
        if (cancel.id == m_subscription->id())
            continue;
        // The camera gave the renewed subscription before the failed try and still renewed it after the
        // failure: it has not restarted since the try, and still holds what the try was meant for.
        if (subscribedAt < cancel.triedAt && renewalSentAt > cancel.failedAt)
            m_pendingCancels.push_back(cancel);
        else
            m_failedCancels.push_back(cancel); // no proof yet: a later renewal may give it
    }
    if (!m_cancelInFlight)
        sendNextCancel();
}

void MetadataMonitor::pushDiagnosticEvent(Level level, std::string caption, std::string description)
{
    const Ptr<vorn::sdk::analytics::IMetadataReceiver> receiver = m_deviceAgent->handler();
    if (!receiver)
        return;
    const auto event = makePtr<PluginDiagnosticEvent>(level, std::move(caption), std::move(description));
    receiver->receiveDiagnosticEvent(event.get());
}

void MetadataMonitor::processVideoFrame(const uint8_t* data, int size)
{
    std::vector<Object> objects = SeiProcessor(data, size).parse();
    if (objects.empty())
        return;
    MetadataPackets packets;
    {
        const std::lock_guard<std::mutex> lock(m_structureProcessorMutex);
        if (!m_structureProcessor)
            m_structureProcessor = std::make_unique<StructureProcessor>(m_deviceAgent);
        packets = m_structureProcessor->sendObjects(std::move(objects), {}, std::nullopt);
        m_structureProcessor->sweep();
    }
    deliver(packets);
}

void MetadataMonitor::deliver(const MetadataPackets& packets) const
{
    if (packets.empty())
        return;
    const Ptr<vorn::sdk::analytics::IMetadataReceiver> receiver = m_deviceAgent->handler();
    if (!receiver)
        return; // dropped: nobody to hand them to
    for (const auto& packet : packets)
        receiver->receiveMetadata(packet.get());
}

} // namespace vorn::vms_server_plugins::analytics::uniview
