#include <fake_uniview_camera/fake_event_service.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace vorn::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
namespace json = boost::json;
using Reply = FakeHttpServer::Reply;

namespace {

std::int64_t systemSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::optional<std::int64_t> intMember(const json::value& value, const char* key)
{
    const json::object* object = value.if_object();
    if (!object)
        return std::nullopt;
    const json::value* member = object->if_contains(key);
    if (!member)
        return std::nullopt;
    if (member->is_int64())
        return member->as_int64();
    if (member->is_uint64())
        return static_cast<std::int64_t>(member->as_uint64());
    return std::nullopt;
}

// One POST on a connection of its own; the status, or 0 when no answer came in time.
int postOnce(const std::string& host, int port, const std::string& path, const std::string& body,
             std::chrono::seconds timeout)
{
    asio::io_context io;
    beast::tcp_stream stream(io);
    boost::system::error_code error;
    const asio::ip::address address = asio::ip::make_address(host, error);
    if (error)
        return 0;
    const auto run = [&](auto start) {
        boost::system::error_code result = asio::error::would_block;
        start([&](boost::system::error_code e, auto&&...) { result = e; });
        io.restart();
        io.run();
        return result;
    };
    stream.expires_after(timeout);
    if (run([&](auto handler) {
            stream.async_connect(asio::ip::tcp::endpoint(address, static_cast<unsigned short>(port)),
                                 std::move(handler));
        })) {
        return 0;
    }
    bhttp::request<bhttp::string_body> request(bhttp::verb::post, path, 11);
    request.set(bhttp::field::host, host + ":" + std::to_string(port));
    request.set(bhttp::field::content_type, "application/json");
    request.set(bhttp::field::connection, "close");
    request.body() = body;
    request.prepare_payload();
    if (run([&](auto handler) { bhttp::async_write(stream, request, std::move(handler)); }))
        return 0;
    beast::flat_buffer buffer;
    bhttp::response<bhttp::string_body> response;
    if (run([&](auto handler) { bhttp::async_read(stream, buffer, response, std::move(handler)); }))
        return 0;
    return static_cast<int>(response.result_int());
}

} // namespace

FakeEventService::FakeEventService(FakeUniviewCamera& camera)
    : m_camera(camera)
{
    m_camera.http().route("POST", std::string(FakeUniviewCamera::kLapiPrefix) + kSubscriptionPath,
                          [this](const FakeHttpServer::RecordedRequest& request) { return onSubscribe(request); });
}

FakeEventService::~FakeEventService()
{
    // The routes stay with the camera's server and point here: stop it before this object goes.
    m_camera.http().stop();
}

std::int64_t FakeEventService::cameraNow() const
{
    return (m_clock ? m_clock() : systemSeconds()) + m_clockOffsetSeconds;
}

void FakeEventService::expire() const
{
    if (!m_clock)
        return;
    const std::int64_t now = cameraNow();
    for (Subscriber& subscriber : m_subscribers) {
        if (subscriber.live && !subscriber.otherClient && now >= subscriber.terminationTime) {
            subscriber.live = false;
            m_changed.notify_all();
        }
    }
}

Reply FakeEventService::failureReply(Failure failure, const std::string& path) const
{
    switch (failure) {
    case Failure::none:
        break;
    case Failure::clientError:
        return Reply::withStatus(400, "bad request");
    case Failure::serverError:
        return Reply::withStatus(500, "internal error");
    case Failure::close:
        return Reply::cutBody("", 100);
    case Failure::stall:
        return Reply::silent();
    case Failure::notJson:
        return Reply::ok("<html>not json</html>", "text/html");
    case Failure::responseCode:
        return Reply::ok(FakeUniviewCamera::envelope(path, 1, "Failed", ""), "application/json");
    }
    return Reply::withStatus(500, "no failure");
}

Reply FakeEventService::grant(Subscriber& subscriber, int requested)
{
    const std::int64_t now = cameraNow();
    subscriber.terminationTime = now + m_grantSeconds.value_or(requested);
    json::object data;
    data["CurrentTime"] = now;
    data["TerminationTime"] = subscriber.terminationTime;
    data["ID"] = subscriber.id;
    std::string text = FakeUniviewCamera::envelope(kSubscriptionPath, 0, "Succeed", json::serialize(data));
    // The created id stands in the envelope itself.
    json::value envelope = json::parse(text);
    envelope.as_object()["Response"].as_object()["CreatedID"] = subscriber.id;
    return Reply::ok(json::serialize(envelope), "application/json");
}

int FakeEventService::addSubscriber(Subscriber subscriber)
{
    subscriber.id = m_nextId++;
    m_subscribers.push_back(subscriber);
    const int id = subscriber.id;
    const int generation = m_generation;
    const std::string idPath =
        std::string(FakeUniviewCamera::kLapiPrefix) + kSubscriptionPath + "/" + std::to_string(id);
    m_camera.http().route("PUT", idPath, [this, id, generation](const FakeHttpServer::RecordedRequest& request) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (generation != m_generation)
                return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 2, "No such subscription", ""),
                                 "application/json");
        }
        return onRenew(id, request);
    });
    m_camera.http().route("DELETE", idPath, [this, id, generation](const FakeHttpServer::RecordedRequest&) {
        bool current = false;
        bool hold = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            current = generation == m_generation;
            hold = m_holdCancelAnswers;
        }
        Reply reply = current ? onCancel(id)
                              : Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 2, "No such subscription", ""),
                                          "application/json");
        return hold ? reply.hold() : reply;
    });
    m_changed.notify_all();
    return id;
}

Reply FakeEventService::onSubscribe(const FakeHttpServer::RecordedRequest& request)
{
    boost::system::error_code error;
    const json::value body = json::parse(request.body, error);
    const std::unique_lock<std::mutex> lock(m_mutex);
    if (m_subscribeFailure != Failure::none)
        return failureReply(m_subscribeFailure, kSubscriptionPath);
    if (error || !body.is_object())
        return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 4, "Invalid body", ""), "application/json");
    expire();
    int live = 0;
    for (const Subscriber& subscriber : m_subscribers)
        live += subscriber.live ? 1 : 0;
    if (m_slotLimit && live >= *m_slotLimit)
        return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 1, "No free subscription slot", ""),
                         "application/json");

    Subscriber subscriber;
    const json::object& object = body.as_object();
    if (const json::value* address = object.if_contains("IpAddress"); address && address->is_string())
        subscriber.ipAddress = std::string(address->as_string());
    subscriber.port = static_cast<int>(intMember(body, "Port").value_or(0));
    subscriber.addressType = static_cast<int>(intMember(body, "AddressType").value_or(-1));
    subscriber.requestedDuration = static_cast<int>(intMember(body, "Duration").value_or(0));
    addSubscriber(subscriber);
    // Still under the lock: nobody sees the subscriber before its grant is set.
    return grant(m_subscribers.back(), subscriber.requestedDuration);
}

int FakeEventService::subscribeAsAnotherClient()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Subscriber subscriber;
    subscriber.otherClient = true;
    return addSubscriber(subscriber);
}

Reply FakeEventService::onRenew(int id, const FakeHttpServer::RecordedRequest& request)
{
    boost::system::error_code error;
    const json::value body = json::parse(request.body, error);
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_renewFailure != Failure::none)
        return failureReply(m_renewFailure, kSubscriptionPath);
    expire();
    for (Subscriber& subscriber : m_subscribers) {
        if (subscriber.id == id && subscriber.live) {
            ++subscriber.renewals;
            m_changed.notify_all();
            return grant(subscriber, static_cast<int>(intMember(body, "Duration").value_or(0)));
        }
    }
    return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 2, "No such subscription", ""), "application/json");
}

Reply FakeEventService::onCancel(int id)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelFailure != Failure::none)
        return failureReply(m_cancelFailure, kSubscriptionPath);
    expire();
    for (Subscriber& subscriber : m_subscribers) {
        if (subscriber.id == id && subscriber.live) {
            subscriber.live = false;
            subscriber.cancelled = true;
            m_changed.notify_all();
            return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 0, "Succeed", ""), "application/json");
        }
    }
    return Reply::ok(FakeUniviewCamera::envelope(kSubscriptionPath, 2, "No such subscription", ""), "application/json");
}

void FakeEventService::setSubscribeFailure(Failure failure)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_subscribeFailure = failure;
}

void FakeEventService::setRenewFailure(Failure failure)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_renewFailure = failure;
}

void FakeEventService::setCancelFailure(Failure failure)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelFailure = failure;
}

void FakeEventService::holdCancelAnswers()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_holdCancelAnswers = true;
}

void FakeEventService::releaseCancelAnswers()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_holdCancelAnswers = false;
    }
    m_camera.http().releaseHeldReplies();
}

void FakeEventService::setGrantSeconds(std::optional<int> seconds)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_grantSeconds = seconds;
}

void FakeEventService::setClockOffsetSeconds(std::int64_t seconds)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_clockOffsetSeconds = seconds;
}

void FakeEventService::setSlotLimit(std::optional<int> slots)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_slotLimit = slots;
}

void FakeEventService::expireOnClock(std::function<std::int64_t()> nowSeconds)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(nowSeconds);
}

void FakeEventService::restart()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_generation;
    m_nextId = 0;
    for (Subscriber& subscriber : m_subscribers)
        subscriber.live = false;
    m_changed.notify_all();
}

std::vector<FakeEventService::Subscriber> FakeEventService::subscribers() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    expire();
    return m_subscribers;
}

std::vector<FakeEventService::Subscriber> FakeEventService::liveSubscribers() const
{
    std::vector<Subscriber> live;
    for (const Subscriber& subscriber : subscribers()) {
        if (subscriber.live)
            live.push_back(subscriber);
    }
    return live;
}

bool FakeEventService::waitUntil(const std::function<bool(const std::vector<Subscriber>&)>& predicate,
                                 std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] {
        expire();
        return predicate(m_subscribers);
    });
}

bool FakeEventService::waitForLiveSubscriptions(std::size_t count, std::chrono::milliseconds timeout) const
{
    return waitUntil(
        [count](const std::vector<Subscriber>& all) {
            std::size_t live = 0;
            for (const Subscriber& subscriber : all)
                live += subscriber.live ? 1 : 0;
            return live >= count;
        },
        timeout);
}

std::vector<int> FakeEventService::push(const std::string& path, const std::string& body) const
{
    std::vector<int> statuses;
    for (const Subscriber& subscriber : liveSubscribers()) {
        if (!subscriber.otherClient)
            statuses.push_back(postOnce(subscriber.ipAddress, subscriber.port, path, body, kPushTimeout));
    }
    return statuses;
}

int FakeEventService::pushAlarm(const std::string& body) const
{
    int ok = 0;
    for (const int status : push(kAlarmPath, body))
        ok += status == 200 ? 1 : 0;
    return ok;
}

int FakeEventService::pushStructure(const std::string& body) const
{
    int ok = 0;
    for (const int status : push(kStructurePath, body))
        ok += status == 200 ? 1 : 0;
    return ok;
}

std::string FakeEventService::alarmBody(const std::string& alarmType, std::optional<std::int64_t> timeStamp)
{
    json::object info;
    info["AlarmType"] = alarmType;
    if (timeStamp)
        info["TimeStamp"] = *timeStamp;
    info["AlarmSrcType"] = 1;
    info["AlarmSrcID"] = 0;
    json::object body;
    body["Reference"] = "/LAPI/V1.0/System/Event/Notification/Alarm";
    body["AlarmInfo"] = std::move(info);
    return json::serialize(body);
}

} // namespace vorn::testing
