#include "rtp_metadata_monitor.h"

#include <vorn/log_support/object_log_tag.h>

#include "device_agent.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

RtpMetadataMonitor::RtpMetadataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
    , m_host(deviceAgent->host())
    , m_parser(
          [deviceAgent](const sdk::Ptr<sdk::analytics::IMetadataPacket>& packet) {
              deviceAgent->pushMetadataPacket(packet);
          },
          m_host, log_support::objectLogTag(this))
{}

RtpMetadataMonitor::~RtpMetadataMonitor() = default;

void RtpMetadataMonitor::parseMetadata(const char* data, int32_t size, int64_t timestampUs)
{
    m_parser.parseMetadata(data, size, timestampUs);
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
