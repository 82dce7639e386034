#include "channel_factory.h"

#include "device_agent.h"
#include "lpr_monitor.h"
#include "vca_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

std::unique_ptr<TcpDataMonitor> ChannelFactory::createLprMonitor(DeviceAgent* deviceAgent) const
{
    return std::make_unique<LprMonitor>(deviceAgent);
}

std::unique_ptr<TcpDataMonitor> ChannelFactory::createVcaMonitor(DeviceAgent* deviceAgent) const
{
    return std::make_unique<VcaMonitor>(deviceAgent);
}

std::unique_ptr<RtpMetadataMonitor> ChannelFactory::createRtpMetadataMonitor(DeviceAgent* deviceAgent) const
{
    return std::make_unique<RtpMetadataMonitor>(deviceAgent);
}

const ChannelFactory& ChannelFactory::instance()
{
    static const ChannelFactory factory;
    return factory;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
