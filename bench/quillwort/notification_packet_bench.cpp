// One packet of an Axis camera's ONVIF metadata stream, handed to a device agent the way the server hands
// it over: codec check, copy, nesting check, parse, the notification and the chain of processors, up to
// the event metadata packet that reaches the server's receiver. It runs on the server thread that delivers
// the packet, for every packet of every camera. The baseline is the least any implementation must do with
// the same bytes: copy them and parse them with RapidXML.
#include <atomic>
#include <cstdint>
#include <string>

#include <rapidxml/rapidxml.hpp>

#include <fake_axis_camera/fake_axis_camera.h>
#include <vorn/sdk/analytics/i_metadata_receiver.h>
#include <vorn/sdk/ptr.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/device_description.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/server_ref_countable.h>
#include <vorn/vms_server_plugins/analytics/axis/device_agent.h>

#include "bench_support.h"

namespace {

namespace axis = vorn::vms_server_plugins::analytics::axis;
using vorn::bench::AllocationMeter;
using vorn::testing::FakeAxisCamera;

// Counts what arrives and copies nothing: the server's own copying is not the plugin's cost.
class CountingReceiver : public vorn::vms_server::ServerRefCountable<vorn::sdk::analytics::IMetadataReceiver>
{
public:
    void receiveMetadata(vorn::sdk::analytics::IMetadataPacket*) override { ++count; }
    void receiveDiagnosticEvent(vorn::sdk::IPluginDiagnosticEvent*) override {}
    std::atomic<int> count{0};

private:
    ~CountingReceiver() override = default;
};

const std::string& packetText()
{
    static const std::string text = FakeAxisCamera::readDataFile("motion_started.xml");
    return text;
}

void deviceAgentConsumesPacket(benchmark::State& state)
{
    FakeAxisCamera camera;
    camera.setTopicSet(FakeAxisCamera::readDataFile("catalogue_topic_set.xml"));
    vorn::vms_server::DeviceDescription::Fields fields;
    fields.vendor = "AXIS";
    fields.url = camera.url();
    const auto agent = vorn::sdk::makePtr<axis::DeviceAgent>(
        nullptr, vorn::sdk::makePtr<vorn::vms_server::DeviceDescription>(std::move(fields)));
    const auto receiver = vorn::sdk::makePtr<CountingReceiver>();
    agent->attachReceiver(receiver.get());
    std::vector<std::string> ids;
    for (const auto& type : agent->eventTypes())
        ids.push_back(type.id.toStdString());
    vorn::sdk::Result<void> selected;
    agent->selectMetadataTypes(&selected,
                               vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(ids, std::nullopt).get());

    const auto packet = vorn::sdk::makePtr<vorn::vms_server::CustomMetadataPacket>(
        axis::MetadataProcessor::kOnvifMetadataCodec, packetText(), 1'714'564'800'000'000);
    AllocationMeter allocations(state);
    for (auto _ : state) {
        vorn::sdk::Result<void> result;
        agent->consumeDataPacket(&result, packet.get());
    }
    allocations.stop();
    if (receiver->count.load() != static_cast<int>(state.iterations()))
        state.SkipWithError("not every packet gave an event");
}

void copyAndParse(benchmark::State& state)
{
    const std::string& text = packetText();
    AllocationMeter allocations(state);
    for (auto _ : state) {
        std::string copy(text);
        rapidxml::xml_document<char> document;
        document.parse<0>(copy.data());
        benchmark::DoNotOptimize(document.first_node());
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison({"ONVIF notification packet", "893 B motion packet to an event metadata packet",
                                     "copy + RapidXML parse of the same packet"},
                                    deviceAgentConsumesPacket, copyAndParse);
    return true;
}();

} // namespace
