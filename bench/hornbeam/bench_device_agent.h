// The device agent that hornbeam's push benchmarks hand their bodies to: made as the server makes one,
// for a camera that refuses connections, so that nothing but the benchmark's own calls runs.
//
//     const auto agent = makeBenchDeviceAgent();
//     uniview::StructureProcessor processor(agent.get());
#pragma once

#include <vorn/sdk/ptr.h>
#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>

namespace vorn::bench {

vorn::sdk::Ptr<vorn::vms_server_plugins::analytics::uniview::DeviceAgent> makeBenchDeviceAgent();

} // namespace vorn::bench
