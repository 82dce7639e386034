#include "hornbeam_scale.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include <fake_uniview_camera/fake_event_service.h>
#include <fake_uniview_camera/fake_uniview_camera.h>

#include "http_poster.h"

namespace vorn::bench::scale {

namespace {

using vorn::testing::FakeEventService;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeUniviewCamera;

/** Where the library's branding list has the Uniview plugin. */
constexpr int kUniviewPluginIndex = 0;
constexpr char kMotionTypeId[] = "vorn.uniview.Motion";
constexpr char kMotionAlarm[] = "MotionAlarmOn";
// The alarm's "TimeStamp" is this many seconds plus the push's number: a time of the camera's own, in
// whole seconds as the camera sends it, which the plugin hands on as the packet's time.
constexpr std::int64_t kTimeStampBase = 1'700'000'000;
constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;
// Bit 0 of a packet's flags: its time came from the camera.
constexpr std::int32_t kTimestampFromDeviceFlag = 1;

// A camera with motion detection: its LAPI, which the agent asks for capabilities and subscribes at, and
// the push of alarms to the newest live subscriber, which is the agent's receiver. The LAPI runs on a
// thread of its own, as the fake camera does for tests; pushes go from the farm's driving threads.
class UniviewScaleCamera final : public ScaleCamera
{
public:
    explicit UniviewScaleCamera(HttpPoster::Connections connections)
        : m_poster(connections)
    {
        m_camera.setLapiData("GET", "Channels/0/Alarm/Capabilities", R"({"MotionDetection":{"IsSupport":1}})");
        m_camera.setLapiData("GET", "Channels/0/Smart/Capabilities", R"({"CrossLineDetection":{"IsSupport":1}})");
    }

    // The LAPI's handlers reach the event service: they stop before it goes.
    ~UniviewScaleCamera() override { m_camera.http().stop(); }

    CameraDescription description() const override
    {
        return {.vendor = "Uniview",
                .model = "IPC3612LB",
                .url = m_camera.url(),
                .login = "admin",
                .password = "s3cret",
                .settings = {}};
    }

    bool waitUntilLive(Deadline deadline) override
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Deadline::clock::now());
        if (!m_events.waitForLiveSubscriptions(1, std::max(left, std::chrono::milliseconds::zero())))
            return false;
        const FakeEventService::Subscriber subscriber = m_events.liveSubscribers().back();
        const std::lock_guard lock(m_targetMutex);
        m_target = {subscriber.ipAddress, static_cast<std::uint16_t>(subscriber.port)};
        return true;
    }

    bool push(std::uint32_t sequence, TimePoint* sent) override
    {
        std::pair<std::string, std::uint16_t> target;
        {
            const std::lock_guard lock(m_targetMutex);
            target = m_target;
        }
        if (target.second == 0)
            return false;
        const std::string body =
            FakeEventService::alarmBody(kMotionAlarm, kTimeStampBase + static_cast<std::int64_t>(sequence));
        return m_poster.post(target.first, target.second, FakeEventService::kAlarmPath, body, sent) == 200;
    }

private:
    FakeUniviewCamera m_camera;
    FakeEventService m_events{m_camera};
    HttpPoster m_poster;
    std::mutex m_targetMutex; //< Guards m_target.
    std::pair<std::string, std::uint16_t> m_target{"", 0};
};

std::optional<std::uint32_t> pushedSequence(const vorn::vms_server::ReceivedRecord& record)
{
    const auto* packet = std::get_if<vorn::vms_server::ReceivedEventPacket>(&record);
    if (!packet || packet->items.size() != 1 || packet->items.front().typeId != kMotionTypeId ||
        !(packet->flags.value_or(0) & kTimestampFromDeviceFlag) || packet->timestampUs % kMicrosecondsPerSecond != 0) {
        return std::nullopt;
    }
    const std::int64_t sequence = packet->timestampUs / kMicrosecondsPerSecond - kTimeStampBase;
    if (sequence < 0 || sequence > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    return static_cast<std::uint32_t>(sequence);
}

// Host and port of a camera URL "http://127.0.0.1:<port>/".
std::pair<std::string, std::uint16_t> hostAndPort(const std::string& url)
{
    const std::size_t hostStart = url.find("://");
    const std::size_t colon = hostStart == std::string::npos ? std::string::npos : url.find(':', hostStart + 3);
    if (colon == std::string::npos)
        return {};
    std::uint16_t port = 0;
    std::from_chars(url.data() + colon + 1, url.data() + url.size(), port);
    return {url.substr(hostStart + 3, colon - hostStart - 3), port};
}

// What a plain receiver of the pushes must do: subscribe at the camera, then split each connection's bytes
// into HTTP requests, read the number out of the alarm's time stamp and answer 200.
ScaleScenario::PlainReceiver plainReceiver()
{
    ScaleScenario::PlainReceiver receiver;
    receiver.subscribe = [](const CameraDescription& camera, const std::string& host, std::uint16_t port) {
        const auto [cameraHost, cameraPort] = hostAndPort(camera.url);
        HttpPoster poster(HttpPoster::Connections::onePerPost);
        std::chrono::steady_clock::time_point sent;
        const std::string body =
            R"({"AddressType":0,"IpAddress":")" + host + R"(","Port":)" + std::to_string(port) + R"(,"Duration":1800})";
        return poster.post(cameraHost, cameraPort,
                           std::string(FakeUniviewCamera::kLapiPrefix) + FakeEventService::kSubscriptionPath, body,
                           &sent) == 200;
    };
    receiver.take = [](std::string* buffer, std::optional<std::uint32_t>* sequence) {
        const std::size_t headEnd = buffer->find("\r\n\r\n");
        if (headEnd == std::string::npos)
            return false;
        static constexpr std::string_view kLength = "Content-Length: ";
        const std::size_t at = buffer->find(kLength);
        std::size_t bodySize = 0;
        if (at != std::string::npos && at < headEnd)
            std::from_chars(buffer->data() + at + kLength.size(), buffer->data() + headEnd, bodySize);
        const std::size_t end = headEnd + 4 + bodySize;
        if (buffer->size() < end)
            return false;
        static constexpr std::string_view kTimeStamp = R"("TimeStamp":)";
        const std::string_view body(buffer->data() + headEnd + 4, bodySize);
        if (const std::size_t stamp = body.find(kTimeStamp); stamp != std::string_view::npos) {
            std::int64_t seconds = 0;
            const char* begin = body.data() + stamp + kTimeStamp.size();
            if (std::from_chars(begin, body.data() + body.size(), seconds).ec == std::errc() &&
                seconds >= kTimeStampBase)
                *sequence = static_cast<std::uint32_t>(seconds - kTimeStampBase);
        }
        buffer->erase(0, end);
        return true;
    };
    receiver.answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
    return receiver;
}

ScaleScenario scenario(std::size_t agents, double eventsPerSecond, std::size_t events,
                       HttpPoster::Connections connections, bool baseline = false)
{
    ScaleScenario result;
    const bool keptAlive = connections == HttpPoster::Connections::keptAlive;
    result.name = keptAlive ? "hornbeam alarms, kept connection" : "hornbeam alarms";
    result.pluginPath = HORNBEAM_PLUGIN_PATH;
    result.pluginIndex = kUniviewPluginIndex;
    result.agents = agents;
    result.eventsPerSecond = eventsPerSecond;
    result.events = events;
    result.eventTypeIds = {kMotionTypeId};
    result.makeCamera = [connections] { return std::make_unique<UniviewScaleCamera>(connections); };
    result.sequenceOf = &pushedSequence;
    result.plainReceiver = plainReceiver();
    result.baseline = baseline;
    if (baseline) {
        result.name = keptAlive ? "plain HTTP receiver, hornbeam's pushes, kept connection (baseline)"
                                : "plain HTTP receiver, hornbeam's pushes (baseline)";
    }
    return result;
}

} // namespace

std::vector<ScaleScenario> hornbeamScenarios(bool smoke)
{
    using Connections = HttpPoster::Connections;
    if (smoke) {
        return {scenario(3, 1000, 300, Connections::onePerPost), scenario(3, 1000, 300, Connections::keptAlive),
                scenario(3, 1000, 300, Connections::onePerPost, /*baseline*/ true)};
    }
    // Two seconds of the full rate, as the larkspur rows: 20 000 latencies.
    return {scenario(100, 10'000, 20'000, Connections::onePerPost),
            scenario(100, 10'000, 20'000, Connections::keptAlive),
            scenario(100, 10'000, 20'000, Connections::onePerPost, /*baseline*/ true),
            scenario(100, 10'000, 20'000, Connections::keptAlive, /*baseline*/ true)};
}

} // namespace vorn::bench::scale
