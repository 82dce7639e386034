#include "rtp_metadata_monitor.h"

#include "device_agent.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

RtpMetadataMonitor::RtpMetadataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
    , m_parser(
          [deviceAgent](const sdk::Ptr<sdk::analytics::IMetadataPacket>& packet) {
              deviceAgent->pushMetadataPacket(packet);
          },
          deviceAgent->host())
{}

RtpMetadataMonitor::~RtpMetadataMonitor() = default;

void RtpMetadataMonitor::parseMetadata(const char* data, int32_t size, int64_t timestampUs)
{
    m_parser.parseMetadata(data, size, timestampUs);
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
