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
// or a device error ("ResponseCode"); a slot limit makes subscribe fail with a device error while that
// many subscriptions are live; restart() forgets every subscription, as a rebooted camera does.
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
        bool live = true; //< false once cancelled or forgotten by a restart
    };

    explicit FakeEventService(FakeUniviewCamera& camera);
    ~FakeEventService();

    FakeEventService(const FakeEventService&) = delete;
    FakeEventService& operator=(const FakeEventService&) = delete;

    void setSubscribeFailure(Failure failure);
    void setRenewFailure(Failure failure);
    /** A cancel that fails leaves the subscription live. */
    void setCancelFailure(Failure failure);
    /** What the camera grants; by default the "Duration" asked for. */
    void setGrantSeconds(std::optional<int> seconds);
    /** The camera's clock ("CurrentTime") is the system clock plus this. */
    void setClockOffsetSeconds(std::int64_t seconds);
    /** At most this many live subscriptions; a further subscribe gets ResponseCode 1. */
    void setSlotLimit(std::optional<int> slots);
    /** The camera forgets every subscription and gives new ones ids from 0 again. */
    void restart();

    std::vector<Subscriber> subscribers() const;
    std::vector<Subscriber> liveSubscribers() const;
    bool waitForLiveSubscriptions(std::size_t count,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    /** Waits until `predicate` holds for the subscriber list. */
    bool waitUntil(const std::function<bool(const std::vector<Subscriber>&)>& predicate,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    /** POSTs the body to the alarm route of every live subscriber; returns how many answered 200. */
    int pushAlarm(const std::string& body) const;
    int pushStructure(const std::string& body) const;
    /** POSTs to any path of every live subscriber; the statuses in subscriber order (0: no answer). */
    std::vector<int> push(const std::string& path, const std::string& body) const;

    static std::string alarmBody(const std::string& alarmType, std::optional<std::int64_t> timeStamp);

private:
    FakeHttpServer::Reply onSubscribe(const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply onRenew(int id, const FakeHttpServer::RecordedRequest& request);
    FakeHttpServer::Reply onCancel(int id);
    FakeHttpServer::Reply failureReply(Failure failure, const std::string& path) const;
    FakeHttpServer::Reply grantReply(const std::string& path, int id, int requested) const;
    std::int64_t cameraNow() const;

    FakeUniviewCamera& m_camera;
    mutable std::mutex m_mutex; //< Guards everything below.
    mutable std::condition_variable m_changed;
    Failure m_subscribeFailure = Failure::none;
    Failure m_renewFailure = Failure::none;
    Failure m_cancelFailure = Failure::none;
    std::optional<int> m_grantSeconds;
    std::int64_t m_clockOffsetSeconds = 0;
    std::optional<int> m_slotLimit;
    int m_generation = 0; //< Moves on with every restart; routes of older generations answer "no such id".
    int m_nextId = 0;
    std::vector<Subscriber> m_subscribers;
};

} // namespace vorn::testing
