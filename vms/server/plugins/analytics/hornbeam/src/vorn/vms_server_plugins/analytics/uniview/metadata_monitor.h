// uniview::MetadataMonitor: keeps a device agent's event subscription at the camera alive and routes what
// arrives: pushed alarms to the alarm processor, pushed structured data and SEI tracks of the video to
// the structure processor.
//
//     MetadataMonitor monitor(deviceAgent);
//     monitor.cancelPendingOperations();     // before every start or stop
//     monitor.startMonitoring();             // probe, push receiver, subscribe: blocks for the attempt
//     ...
//     monitor.processVideoFrame(data, size); // on the thread that delivers video packets
//
// Life cycle: a subscription lives for what the camera grants, bounded by what was asked
// (grantedLifetime()); it is renewed kRenewMargin before it expires (for grants of kShortGrant or less,
// after half the remaining time, at least kMinRenewDelay later); a failed step is retried every
// kRetryDelay; more than kMaxRenewAttempts steps without a successful renewal count as lost ("Event
// subscription lost"), and the monitor subscribes anew ("Event subscription recovered" when that
// succeeds).
//
// Cancels: a subscription that is replaced or lost is cancelled at the camera once the new one is in
// place, or as soon as an attempt to make one fails (cameras have few subscription slots). A camera that
// restarts numbers its subscriptions from 0 again, so an id is cancelled only while the camera may still
// hold it for this monitor:
// - never once the cancelled subscription's grant has run out on the monitor's clock (checked right
//   before each try: the camera has dropped it by then, and may have given its id to another client);
//   such a cancel is dropped with a line;
// - a failed cancel is tried again only after the camera has shown that it kept its subscriptions since
//   that try: a successful renewal, sent after the try failed, of a subscription that the camera gave
//   before the try (a restart in between would have made that renewal fail). A new subscribe proves
//   nothing, since a restarted camera hands out the old ids again. "Before" and "after" are the order of
//   the monitor's exchanges with the camera (exchange numbers), not the clock, which may not move between
//   them;
// - never to the id that the camera has given the current subscription again (checked when the cancel is
//   queued and right before each try: a cancel queued behind one in flight may meet a new subscription
//   with its id);
// - at most kMaxCancelAttempts tries; a failed cancel that is never proven again waits until its grant
//   runs out and is dropped then, so the failed cancels cannot pile up.
// A retry needs no spacing of its own: a subscription is renewed once a renewal delay after its last
// successful renewal, so the proof of one retry comes a renewal delay after the previous one, and
// exchanges in quick succession (a new subscription at each re-selection) prove nothing and use up no
// tries within a short outage of the cancel alone.
//
// Threads and rules:
// - The device agent calls the public operations from server threads, one selection at a time;
//   processVideoFrame() may run at the same time on the video thread.
// - Everything else runs on the I/O thread of the monitor's timer: probe, requests, timer steps, the push
//   receiver. Every completion is wrapped by the operation guard, so cancelPendingOperations() and the
//   destructor make pending ones no-ops; the state they touch (subscription, counter, clients, probe
//   socket) lives on that thread, and the public operations reach it through executeInAioThreadSync().
// - The structure processor is shared by the push thread and the video thread under
//   m_structureProcessorMutex; packets go to the server after the lock is released.
// - Destruction is synchronous: nothing of the monitor, its clients, probe socket or receiver runs after
//   the destructor returns.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QtCore/QString>

#include <vorn/kit/json.h>
#include <vorn/network/aio/timer.h>
#include <vorn/network/http/async_client.h>
#include <vorn/network/http/buffer_source.h>
#include <vorn/network/tcp_socket.h>
#include <vorn/sdk/i_plugin_diagnostic_event.h>
#include <vorn/utils/async_operation_guard.h>
#include <vorn/utils/move_only_func.h>
#include <vorn/utils/url.h>

#include "structure_processor.h"
#include "subscription.h"

namespace vorn::vms_server_plugins::analytics::uniview {

class DeviceAgent;

class MetadataMonitor
{
public:
    static constexpr char kSubscriptionPath[] = "System/Event/Subscription";
    static constexpr char kAlarmNotificationPath[] = "System/Event/Notification/Alarm";
    static constexpr char kStructureNotificationPath[] = "System/Event/Notification/Structure";
    static constexpr char kJsonContentType[] = "application/json";
    /** Timer steps with a subscription after which, when exceeded, it counts as lost. */
    static constexpr int kMaxRenewAttempts = 10;
    /** The lifetime asked of the camera, in seconds. */
    static constexpr int kSubscriptionDuration = 1800;
    static constexpr std::chrono::seconds kRenewMargin{60};
    static constexpr std::chrono::seconds kRetryDelay{5};
    /** Bounds the probe connect to a camera that does not answer. */
    static constexpr std::chrono::milliseconds kProbeSendTimeout{20000};
    /**
     * A camera that grants this much or less would otherwise be renewed after a negative delay, at once,
     * again and again: such grants are renewed after half of what remains, never sooner than
     * kMinRenewDelay.
     */
    static constexpr std::chrono::seconds kShortGrant{120};
    static constexpr std::chrono::seconds kMinRenewDelay{1};
    /**
     * Tries of one cancel at the camera. A failed cancel is tried again, while the orphan's grant runs,
     * each time a renewal proves that the camera still holds it (cameras have few subscription slots, and
     * an orphan holds one until its grant runs out). Proofs come a renewal delay apart, so this many tries
     * span at least two renewal delays, about a whole grant. After this many the cancel is given up, and
     * the camera drops the orphan when its grant runs out.
     */
    static constexpr int kMaxCancelAttempts = 3;

    explicit MetadataMonitor(DeviceAgent* deviceAgent);
    ~MetadataMonitor();
    MetadataMonitor(const MetadataMonitor&) = delete;
    MetadataMonitor& operator=(const MetadataMonitor&) = delete;

    void startMonitoring();
    void stopMonitoring();
    void cancelPendingOperations();
    void processVideoFrame(const uint8_t* data, int size);

    /** "%1 Sub %2": the device URL text and the subscription id, or "N/A" without one. */
    QString logTagSuffix() const;

    int64_t nowSeconds() const;

    /**
     * Bounds the camera's "CurrentTime" and "TerminationTime": integers up to 2^53 are exact in the JSON
     * reader's doubles, and the difference of two such values cannot overflow 64 bits.
     */
    static constexpr double kMaxCameraSeconds = 9'007'199'254'740'992.0;

    /**
     * The lifetime that a subscribe or renew reply grants: "TerminationTime" - "CurrentTime" of
     * "Response"."Data", both read as 64-bit seconds. Only the difference matters, so the camera's clock
     * need not agree with the server's. When either is missing or no number (or beyond kMaxCameraSeconds),
     * or the lifetime is not positive or exceeds kSubscriptionDuration, the reply grants what was asked:
     * a camera's bad times must neither put the renewal decades away nor make it run every second.
     */
    static std::chrono::seconds grantedLifetime(const vorn::kit::detail::json11::Json& reply);
    /** nowSeconds + grantedLifetime(reply). */
    static int64_t expirationTimeFromResponse(const vorn::kit::detail::json11::Json& reply, int64_t nowSeconds);
    /**
     * The delay of the next renewal for an expiration time; see kShortGrant. Pass the nowSeconds that the
     * expiration time was computed with: two readings of the clock may straddle a second.
     */
    static std::chrono::seconds renewDelay(int64_t expirationTime, int64_t nowSeconds);

    static vorn::network::http::BufferSource makeJsonBody(const vorn::kit::detail::json11::Json& value);

private:
    using SubscribeCompletion = vorn::utils::MoveOnlyFunc<void(std::unique_ptr<Subscription>)>;
    using ProbeCompletion = vorn::utils::MoveOnlyFunc<void(QString)>;

    /**
     * A cancel of a subscription at the camera, from its first try to its success, its last try, or the
     * end of the subscription's grant.
     */
    struct PendingCancel
    {
        int id = 0;
        /** When the cancelled subscription's grant runs out, on the monitor's clock: no try after it. */
        int64_t expirationTime = 0;
        int attempts = 0;      //< Tries made so far.
        uint64_t triedAt = 0;  //< The exchange number of the last try.
        uint64_t failedAt = 0; //< The exchange number at which the last try failed.
    };
    static PendingCancel cancelOf(const Subscription& subscription);
    /** Numbers the monitor's exchanges with the camera in the order they happen (see the class comment). */
    uint64_t nextExchange() { return ++m_exchangeCount; }

    std::unique_ptr<Subscription> subscribeSync();
    void subscribeAsync(SubscribeCompletion completion);
    void probeAsync(const vorn::utils::Url& url, ProbeCompletion completion);
    void onSubscribeRequestCompleted(std::unique_ptr<Subscription> subscription, SubscribeCompletion completion);
    /** Replaces the subscription; the replaced one (and every lost one) is cancelled when `subscription` is set. */
    void setSubscription(std::unique_ptr<Subscription> subscription);
    void installProcessors();
    void scheduleSubscriptionRenew(std::chrono::seconds delay);
    void onTimer();
    void renewSubscriptionAsync();
    void onRenewRequestDone();
    /** After a failed attempt: cancels the replaced and lost subscriptions without waiting for a new one. */
    void cancelLostSubscriptions();
    void unsubscribeAsync(const PendingCancel& cancel);
    /**
     * Sends the next queued cancel whose grant still runs and whose id is not the current subscription's;
     * drops the others.
     */
    void sendNextCancel();
    /** Whether the cancel's grant has run out at `now`; writes the line of the dropped cancel when it has. */
    bool hasGrantRunOut(const PendingCancel& cancel, int64_t now) const;
    /** Drops the failed cancels whose grant has run out. */
    void dropRunOutCancels();
    /**
     * After a successful renewal of the current subscription, sent at exchange `renewalSentAt`: queues
     * for another try the failed cancels that it proves the camera still holds.
     */
    void retryFailedCancels(uint64_t renewalSentAt);
    void pushDiagnosticEvent(vorn::sdk::IPluginDiagnosticEvent::Level level, std::string caption,
                             std::string description);
    void deliver(const MetadataPackets& packets) const;

    DeviceAgent* const m_deviceAgent;
    vorn::network::aio::Timer m_timer;

    // On the timer's thread only (see the class comment).
    std::unique_ptr<Subscription> m_subscription;
    int m_renewAttempts = 0;
    std::unique_ptr<vorn::network::http::AsyncClient> m_httpClient;
    std::unique_ptr<vorn::network::TCPSocket> m_probeSocket;
    /** Cancels at the camera go over their own client, one after another, so no renewal cuts one short. */
    std::unique_ptr<vorn::network::http::AsyncClient> m_cancelClient;
    std::deque<PendingCancel> m_pendingCancels;
    bool m_cancelInFlight = false;
    std::vector<PendingCancel> m_failedCancels;     //< Tried again by retryFailedCancels().
    std::vector<PendingCancel> m_lostSubscriptions; //< Cancelled once a new subscription is in place.
    uint64_t m_exchangeCount = 0;                   //< The last exchange number given out.
    uint64_t m_renewalSentAt = 0;                   //< The exchange number of the renewal in flight.

    /** The current subscription's id for the log tag, which any thread may build; kNoSubscription without. */
    static constexpr int kNoSubscription = INT32_MIN;
    std::atomic<int> m_loggedSubscriptionId{kNoSubscription};

    std::mutex m_structureProcessorMutex; //< Guards m_structureProcessor (push thread and video thread).
    std::unique_ptr<StructureProcessor> m_structureProcessor;

    // Declared last: destroyed first, so no guarded completion runs into members already gone.
    vorn::utils::AsyncOperationGuard m_asyncOperationGuard;
};

} // namespace vorn::vms_server_plugins::analytics::uniview
