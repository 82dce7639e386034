// vorn::testing::FakeEventService: the event side of a fake Uniview camera: the subscription resource
// ("System/Event/Subscription": POST creates, PUT renews, DELETE cancels) and a pusher that POSTs alarms and
// structured data to every live subscriber, as the camera does.
//
//     FakeUniviewCamera camera;
//     FakeEventService events(camera);
//     events.setGrantSeconds(1800);                      // what the camera grants, whatever is asked
//     events.setClockOffsetSeconds(-3600);               // the camera's clock runs an hour behind
//     ... the plugin subscribes ...
//     ASSERT_TRUE(events.waitForLiveSubscriptions(1));
//     events.pushAlarm(FakeEventService::alarmBody("MotionAlarmOn", 1700000000));
//
// Failures are scripted per operation: a status, a closed connection, silence, a reply that is no JSON,
// or a device error ("ResponseCode"); the answers to cancels can be held back (the cancel itself is done
// on arrival) until the test lets them go; a slot limit makes subscribe fail with a device error while that
// many subscriptions are live; restart() forgets every subscription, as a rebooted camera does, and
// subscribeAsAnotherClient() takes one as some other client of the camera would. Subscriptions end only
// when cancelled or forgotten, unless expireOnClock() gives the camera a clock on which they run out:
//
//     events.expireOnClock([] { return serverSeconds(); });   // the test's clock, frozen or scaled
//     events.restart();
//     const int theirs = events.subscribeAsAnotherClient();  // 0: the restarted camera's first id
//
// The replies are written from this file's own code. Members may be called from any thread; the pusher
// sends from the calling thread and waits for each answer (bounded by kPushTimeout). The routes the service
// adds to the camera call into it, so destroying it stops the camera's HTTP server first: nothing of the
// service runs after its destructor, even for a request that was on its way (a plugin's subscribe sent
// just before the test ends). Destroy it only with the camera.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fake_uniview_camera.h"

namespace vorn::testing {

class FakeEventService
{
public:
    static constexpr char kSubscriptionPath[] = "System/Event/Subscription";
    static constexpr char kAlarmPath[] = "/LAPI/V1.0/System/Event/Notification/Alarm";
    static constexpr char kStructurePath[] = "/LAPI/V1.0/System/Event/Notification/Structure";
    static constexpr std::chrono::seconds kPushTimeout{5};

    enum class Failure {
        none,
        clientError,  //< 400
        serverError,  //< 500
        close,        //< the connection closes without an answer
        stall,        //< no answer at all
        notJson,      //< 200 with a body that is no JSON
        responseCode, //< the envelope with ResponseCode 1
    };

    struct Subscriber
    {
        int id = 0;
        std::string ipAddress;
        int port = 0;
        int addressType = -1;
        int requestedDuration = 0;
        int renewals = 0;
        bool live = true;                 //< false once cancelled, forgotten by a restart or run out
        bool cancelled = false;           //< ended by a DELETE of its id
        bool otherClient = false;         //< made by subscribeAsAnotherClient(): no receiver, never runs out
        std::int64_t terminationTime = 0; //< the camera's clock when its grant runs out
    };

    explicit FakeEventService(FakeUniviewCamera& camera);
    ~FakeEventService();

    FakeEventService(const FakeEventService&) = delete;
    FakeEventService& operator=(const FakeEventService&) = delete;

    void setSubscribeFailure(Failure failure);
    void setRenewFailure(Failure failure);
    /** A cancel that fails leaves the subscription live. */
    void setCancelFailure(Failure failure);
    /**
     * From now on the camera does each cancel as it arrives but holds its answer back (the client waits,
     * within its time-out) until releaseCancelAnswers().
     */
    void holdCancelAnswers();
    /** Sends the answers held back so far; later cancels are answered at once again. */
    void releaseCancelAnswers();
    /** What the camera grants; by default the "Duration" asked for. */
    void setGrantSeconds(std::optional<int> seconds);
    /** The camera's clock ("CurrentTime") is the system clock plus this. */
    void setClockOffsetSeconds(std::int64_t seconds);
    /** At most this many live subscriptions; a further subscribe gets ResponseCode 1. */
    void setSlotLimit(std::optional<int> slots);
    /** The camera forgets every subscription and gives new ones ids from 0 again. */
    void restart();
    /**
     * From now on the camera's clock ("CurrentTime" before the offset) is `nowSeconds`, and a subscription
     * that is not renewed before its "TerminationTime" ends, as at a camera: renewing or cancelling it
     * finds no such subscription, and it holds no slot. The end shows at the next request or query (the
     * members below), so a test that moves a frozen clock sees it at once. Without a clock of its own the
     * camera reads the system clock and nothing runs out: a loaded machine cannot let a grant lapse.
     */
    void expireOnClock(std::function<std::int64_t()> nowSeconds);
    /**
     * A subscription that another client of the camera takes, with the next id, as the camera gives ids
     * to all its clients; the scripted subscribe failures and the slot limit do not apply. It has no
     * receiver (pushes skip it) and never runs out (its client renews it), but a DELETE of its id ends it
     * like any other. Returns its id.
     */
    int subscribeAsAnotherClient();

    std::vector<Subscriber> subscribers() const;
    std::vector<Subscriber> liveSubscribers() const;
    bool waitForLiveSubscriptions(std::size_t count,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    /** Waits until `predicate` holds for the subscriber list. */
    bool waitUntil(const std::function<bool(const std::vector<Subscriber>&)>& predicate,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    /**
     * POSTs the body to the alarm route of every live subscriber (but another client's); returns how many
     * answered 200.
     */
    int pushAlarm(const std::string& body) const;
    int pushStructure(const std::string& body) const;
    /**
     * POSTs to any path of every live subscriber but another client's; the statuses in subscriber order
     * (0: no answer).
     */
    std::vector<int> push(const std::string& path, const std::string& body) const;

    static std::string alarmBody(const std::string& alarmType, std::optional<std::int64_t> timeStamp);

private:
    FakeHttpServer::Reply onSubscribe(const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply onRenew(int id, const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply onCancel(int id);
    FakeHttpServer::Reply failureReply(Failure failure, const std::string& path) const;
    /** Grants the subscriber what it asked for (or the scripted grant) from now on; the reply says so. */
    FakeHttpServer::Reply grant(Subscriber& subscriber, int requested);
    /** Takes the next id and routes its renewal and cancel; with m_mutex held. */
    int addSubscriber(Subscriber subscriber);
    /** Ends the subscriptions whose grant has run out on the camera's clock; with m_mutex held. */
    void expire() const;
    std::int64_t cameraNow() const;

    FakeUniviewCamera& m_camera;
    mutable std::mutex m_mutex; //< Guards everything below.
    mutable std::condition_variable m_changed;
    Failure m_subscribeFailure = Failure::none;
    Failure m_renewFailure = Failure::none;
    Failure m_cancelFailure = Failure::none;
    bool m_holdCancelAnswers = false;
    std::optional<int> m_grantSeconds;
    std::int64_t m_clockOffsetSeconds = 0;
    std::function<std::int64_t()> m_clock; //< Set by expireOnClock(); the system clock without.
    std::optional<int> m_slotLimit;
    int m_generation = 0; //< Moves on with every restart; routes of older generations answer "no such id".
    int m_nextId = 0;
    mutable std::vector<Subscriber> m_subscribers; //< Mutable: a query shows what ran out by then.
};

} // namespace vorn::testing
