// A camera event turned into event metadata (the event's JSON text parsed, then DeviceAgent::handleEvent:
// event type lookup, attributes, description, packet, hand-over to the server's receiver), against
// parsing the same JSON text alone, the least any plugin does with it. Both start from the same bytes,
// the text as the channel takes it out of a frame. Two pushes of the video-analytics channel: a line-crossing alarm
// and a face push whose 50 faces each become an event.
//
// The device agent is a real one, of the embedded Zodivadad engine, created against the fake camera;
// its channels are inert (nothing connects), and the server's receiver drops what it gets.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <vorn/kit/json.h>
#include <vorn/sdk/analytics/helpers/plugin.h>
#include <vorn/sdk/analytics/i_metadata_receiver.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/host_services.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/server_ref_countable.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/channel_factory.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/device_agent.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/engine.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_command.h>

#include "bench_support.h"

namespace {

namespace zodivadad = vorn::vms_server_plugins::analytics::zodivadad;
namespace sdk = vorn::sdk;
using vorn::bench::AllocationMeter;
using vorn::kit::detail::json11::Json;

// Counts what it is handed and keeps nothing.
class DroppingReceiver final : public vorn::vms_server::ServerRefCountable<sdk::analytics::IMetadataReceiver>
{
public:
    void receiveMetadata(sdk::analytics::IMetadataPacket*) override { ++packets; }
    void receiveDiagnosticEvent(sdk::IPluginDiagnosticEvent*) override {}

    std::uint64_t packets = 0;

private:
    ~DroppingReceiver() override = default;
};

// A push channel that is never started and never connects.
class InertMonitor final : public zodivadad::TcpDataMonitor
{
public:
    InertMonitor(zodivadad::DeviceAgent* agent, std::string portSettingName, bool forObjects)
        : TcpDataMonitor(agent)
        , m_portSettingName(std::move(portSettingName))
        , m_forObjects(forObjects)
    {}

    void start() override {}
    void stop() override {}
    bool isStarted() const override { return false; }
    std::string portSettingName() const override { return m_portSettingName; }
    bool setNeededTypes(const std::set<std::string>& events, const std::set<std::string>& objects) override
    {
        return m_forObjects ? !objects.empty() : !events.empty();
    }
    vorn::BasicBuffer<char> makeRegisterRequest() override { return {}; }

private:
    const std::string m_portSettingName;
    const bool m_forObjects;
};

class InertChannelFactory final : public zodivadad::ChannelFactory
{
public:
    std::unique_ptr<zodivadad::TcpDataMonitor> createLprMonitor(zodivadad::DeviceAgent* agent) const override
    {
        return std::make_unique<InertMonitor>(agent, "LPR.Port", true);
    }
    std::unique_ptr<zodivadad::TcpDataMonitor> createVcaMonitor(zodivadad::DeviceAgent* agent) const override
    {
        return std::make_unique<InertMonitor>(agent, "VCA.Port", false);
    }
};

// The plugin, engine and device agent of one camera, with every event type needed.
struct AgentSetup
{
    AgentSetup()
    {
        hostServices->setServerTimeMs(1'700'000'000'000);
        plugin->attachHostServices(hostServices.get());
        engine = sdk::makePtr<zodivadad::Engine>(plugin.get(), "manifest_zodivadad");

        vorn::vms_server::DeviceDescription::Fields fields;
        fields.vendor = "Zodivadad";
        fields.model = "ZV-IPC5000";
        fields.url = camera.url();
        fields.login = "admin";
        fields.password = "s3cret";
        const auto description = sdk::makePtr<vorn::vms_server::DeviceDescription>(std::move(fields));
        agent = sdk::makePtr<zodivadad::DeviceAgent>(engine, description.get(), engine->manifest(), factory);
        agent->attachReceiver(receiver.get());

        const auto selection = sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(
            std::vector<std::string>{"vorn.zodivadad.LineCrossing", "vorn.zodivadad.Face"}, std::nullopt);
        sdk::Result<void> result;
        agent->selectMetadataTypes(&result, selection.get());
    }

    vorn::testing::FakeZodivadadCamera camera;
    sdk::Ptr<vorn::vms_server::HostServices> hostServices = sdk::makePtr<vorn::vms_server::HostServices>();
    sdk::Ptr<sdk::analytics::Plugin> plugin =
        sdk::makePtr<sdk::analytics::Plugin>("{}", sdk::analytics::Plugin::CreateEngine());
    sdk::Ptr<zodivadad::Engine> engine;
    InertChannelFactory factory;
    sdk::Ptr<DroppingReceiver> receiver = sdk::makePtr<DroppingReceiver>();
    sdk::Ptr<zodivadad::DeviceAgent> agent;
};

AgentSetup& setup()
{
    static AgentSetup instance;
    return instance;
}

const std::string kLineCrossing = R"({"event": 4, "alarm": 1, "line": 2, "direction": 1, "object": 2})";

std::string facePush(int faces)
{
    std::string text = R"({"event": 0, "alarm": 1, "face_data": [)";
    for (int i = 0; i < faces; ++i)
        text += std::string(i == 0 ? "" : ", ") + R"({"age": )" + std::to_string(20 + i) + R"(, "gender": )" +
                std::to_string(i % 2) + "}";
    return text + "]}";
}

Json parse(const std::string& text)
{
    std::string error;
    return Json::parse(text, error);
}

void handleEvent(benchmark::State& state, std::uint16_t command, const std::string& text)
{
    AgentSetup& agentSetup = setup();
    const std::uint64_t before = agentSetup.receiver->packets;
    AllocationMeter allocations(state);
    for (auto _ : state)
        agentSetup.agent->handleEvent(command, parse(text));
    allocations.stop();
    if (agentSetup.receiver->packets - before != static_cast<std::uint64_t>(state.iterations()))
        state.SkipWithError("not every event reached the receiver");
}

void parseAlone(benchmark::State& state, const std::string& text)
{
    AllocationMeter allocations(state);
    for (auto _ : state) {
        Json event = parse(text);
        benchmark::DoNotOptimize(event);
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison(
        {"handleEvent", "line-crossing alarm: parse and handle", "parsing the event's JSON text"},
        [](benchmark::State& state) { handleEvent(state, zodivadad::kVcaAlarm, kLineCrossing); },
        [](benchmark::State& state) { parseAlone(state, kLineCrossing); });
    const std::string faces = facePush(50);
    vorn::bench::registerComparison(
        {"handleEvent", "face push with 50 faces: parse and handle", "parsing the event's JSON text"},
        [faces](benchmark::State& state) { handleEvent(state, zodivadad::kFace, faces); },
        [faces](benchmark::State& state) { parseAlone(state, faces); });
    return true;
}();

} // namespace
