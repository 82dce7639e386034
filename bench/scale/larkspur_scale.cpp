#include "larkspur_scale.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <variant>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>

namespace vorn::bench::scale {

namespace {

using vorn::testing::FakeZodivadadCamera;
using vorn::testing::VcaPushServer;
namespace wire = vorn::testing::vca_wire;

/** Where the library's brand table has the Zodivadad plugin. */
constexpr int kZodivadadPluginIndex = 1;
constexpr char kPeopleCountingTypeId[] = "vorn.zodivadad.PeopleCounting";
constexpr char kEnteringAttribute[] = "Number of people entering";

// A camera without licence-plate recognition: its CGI scripts over HTTP, which the agent asks once, and
// its video-analytics push port, where the agent's channel registers and the pushes come from. Each runs
// on a thread of its own, as the fake camera does for tests.
class ZodivadadScaleCamera final : public ScaleCamera
{
public:
    CameraDescription description() const override
    {
        return {.vendor = "Zodivadad",
                .model = "ZV-IPC5000",
                .url = m_http.url(),
                .login = "admin",
                .password = "s3cret",
                .settings = {{"VCA.Port", std::to_string(m_vca.port())}}};
    }

    bool waitUntilLive(Deadline deadline) override
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Deadline::clock::now());
        return m_vca.waitForRegistrations(1, std::max(left, std::chrono::milliseconds::zero()));
    }

    bool push(std::uint32_t sequence, TimePoint* sent) override
    {
        return m_vca.push(wire::frame(wire::kVcaCountCommand, R"({"event":0,"in":)" + std::to_string(sequence) +
                                                                  R"(,"out":0,"capacity":0,"sum":0})"),
                          sent);
    }

private:
    FakeZodivadadCamera m_http;
    VcaPushServer m_vca;
};

std::optional<std::uint32_t> pushedSequence(const vorn::vms_server::ReceivedRecord& record)
{
    const auto* packet = std::get_if<vorn::vms_server::ReceivedEventPacket>(&record);
    if (!packet || packet->items.size() != 1 || packet->items.front().typeId != kPeopleCountingTypeId)
        return std::nullopt;
    for (const auto& attribute : packet->items.front().attributes) {
        if (attribute.name != kEnteringAttribute)
            continue;
        std::uint32_t sequence = 0;
        const char* end = attribute.value.data() + attribute.value.size();
        const auto [stop, error] = std::from_chars(attribute.value.data(), end, sequence);
        if (error == std::errc() && stop == end)
            return sequence;
    }
    return std::nullopt;
}

// What a plain client of the push port must do: register for people counting, then split the stream
// into frames and read the number out of the counting pushes.
ScaleScenario::PlainClient plainClient()
{
    ScaleScenario::PlainClient client;
    client.address = [](const CameraDescription& camera) {
        for (const auto& [name, value] : camera.settings) {
            if (name == "VCA.Port")
                return std::pair<std::string, std::uint16_t>("127.0.0.1", static_cast<std::uint16_t>(std::stoi(value)));
        }
        return std::pair<std::string, std::uint16_t>("127.0.0.1", 0);
    };
    client.hello = [](const CameraDescription& camera) {
        return wire::frame(wire::kRegisterCommand, R"({"vcacount":"1","user":")" + camera.login + R"(","password":")" +
                                                       camera.password + R"(","streamid":0})");
    };
    client.take = [](std::string* buffer, std::optional<std::uint32_t>* sequence) {
        wire::Frame frame;
        if (wire::readFrame(buffer, &frame) != wire::ReadStatus::frame)
            return false; // A bad frame counts as none: its push never arrives, and the run says so.
        static constexpr std::string_view kIn = R"("in":)";
        if (const std::size_t at = frame.payload.find(kIn);
            frame.command == wire::kVcaCountCommand && at != std::string::npos) {
            std::uint32_t number = 0;
            const char* begin = frame.payload.data() + at + kIn.size();
            if (std::from_chars(begin, frame.payload.data() + frame.payload.size(), number).ec == std::errc())
                *sequence = number;
        }
        return true;
    };
    return client;
}

ScaleScenario scenario(std::size_t agents, double eventsPerSecond, std::size_t events, bool baseline = false)
{
    ScaleScenario result;
    result.name = "larkspur VCA";
    result.pluginPath = LARKSPUR_PLUGIN_PATH;
    result.pluginIndex = kZodivadadPluginIndex;
    result.agents = agents;
    result.eventsPerSecond = eventsPerSecond;
    result.events = events;
    result.eventTypeIds = {kPeopleCountingTypeId};
    result.makeCamera = [] { return std::make_unique<ZodivadadScaleCamera>(); };
    result.sequenceOf = &pushedSequence;
    result.plainClient = plainClient();
    result.baseline = baseline;
    if (baseline)
        result.name = "plain socket reader, larkspur's pushes (baseline)";
    return result;
}

} // namespace

std::vector<ScaleScenario> larkspurScenarios(bool smoke)
{
    if (smoke)
        return {scenario(1, 1000, 200), scenario(3, 1000, 300), scenario(3, 1000, 300, /*baseline*/ true)};
    // Two seconds of the full rate: 20 000 latencies, so the p99 rests on 200 of them.
    return {scenario(1, 10'000, 20'000), scenario(100, 10'000, 20'000), scenario(1000, 10'000, 20'000),
            scenario(1, 10'000, 20'000, /*baseline*/ true), scenario(1000, 10'000, 20'000, /*baseline*/ true)};
}

} // namespace vorn::bench::scale
