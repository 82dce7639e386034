// One hornbeam device agent for the fuzz targets of its processors: a Uniview plugin with host services,
// its engine, and an agent for a camera that refuses connections (127.0.0.1, port 9), made once per
// process. Its receiver counts what it gets and checks each record.
#pragma once

#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server_plugins/analytics/uniview/device_agent.h>

namespace vorn::fuzz {

struct UniviewAgent
{
    vorn::vms_server_plugins::analytics::uniview::DeviceAgent* agent;
    vorn::vms_server::MetadataReceiver* receiver;
};

// Every event type of the embedded manifest is selected, so every known alarm makes a packet.
UniviewAgent& univiewAgent();

} // namespace vorn::fuzz
