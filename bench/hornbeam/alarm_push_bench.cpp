// A motion alarm that a camera pushes, from the received body to the server's receiver: JSON parse, the
// event type of its trigger, the needed-type test and the event packet, which the stand-in server's
// receiver copies. Every camera's every alarm takes this path, on the push receiver's I/O thread. The
// baseline parses the same body with the same JSON reader and nothing more.
#include <string>

#include <vorn/kit/json.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server_plugins/analytics/uniview/alarm_processor.h>
#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>

#include "bench_device_agent.h"
#include "bench_support.h"

namespace {

namespace uniview = vorn::vms_server_plugins::analytics::uniview;
using vorn::bench::AllocationMeter;

// As FakeEventService::alarmBody() writes it, and as the camera sends it.
constexpr char kAlarmBody[] = R"({"Reference":"/LAPI/V1.0/System/Event/Notification/Alarm",)"
                              R"("AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":1700000000,)"
                              R"("AlarmSrcType":1,"AlarmSrcID":0}})";

void bodyToReceiver(benchmark::State& state)
{
    // A camera that refuses connections: the selection's subscription fails, the needed types stay.
    const auto agent = vorn::bench::makeBenchDeviceAgent();
    std::size_t received = 0;
    const auto receiver = vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>(
        [&received](const vorn::vms_server::ReceivedRecord&) { ++received; },
        vorn::vms_server::MetadataReceiver::Retention::listenerOnly);
    agent->attachReceiver(receiver.get());
    vorn::sdk::Result<void> selected;
    agent->selectMetadataTypes(&selected,
                               vorn::sdk::makePtr<vorn::vms_server::MetadataTypeSelection>(
                                   std::vector<std::string>{"vorn.uniview.Motion"}, std::vector<std::string>{})
                                   .get());

    const std::string body = kAlarmBody;
    {
        AllocationMeter allocations(state);
        for (auto _ : state)
            uniview::AlarmProcessor(agent.get()).process(body);
    }
    if (received != static_cast<std::size_t>(state.iterations()))
        state.SkipWithError("an alarm did not reach the receiver");
    agent->attachReceiver(nullptr);
}

void parseAlone(benchmark::State& state)
{
    const std::string body = kAlarmBody;
    AllocationMeter allocations(state);
    for (auto _ : state) {
        std::string error;
        benchmark::DoNotOptimize(vorn::kit::detail::json11::Json::parse(body, error));
    }
}

const bool kRegistered = [] {
    vorn::bench::registerComparison(
        {"Alarm push", "motion alarm: received body to the server's receiver", "parsing the alarm's JSON text alone"},
        bodyToReceiver, parseAlone);
    return true;
}();

} // namespace
