#include "channel_factory.h"

#include <vorn/log_support/log.h>

#include "device_agent.h"
#include "vca_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

// The licence-plate channel and the metadata stream parser are not part of this build yet: a device
// agent without them answers the server and narrows its manifest, but receives nothing on them.

std::unique_ptr<TcpDataMonitor> ChannelFactory::createLprMonitor(DeviceAgent* deviceAgent) const
{
    VN_LOG(5, deviceAgent, "No %1 channel in this build", kLprChannelName);
    return nullptr;
}

std::unique_ptr<TcpDataMonitor> ChannelFactory::createVcaMonitor(DeviceAgent* deviceAgent) const
{
    return std::make_unique<VcaMonitor>(deviceAgent);
}

std::unique_ptr<RtpMetadataMonitor> ChannelFactory::createRtpMetadataMonitor(DeviceAgent* deviceAgent) const
{
    VN_LOG(5, deviceAgent, "No metadata stream parser in this build");
    return nullptr;
}

const ChannelFactory& ChannelFactory::instance()
{
    static const ChannelFactory factory;
    return factory;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
