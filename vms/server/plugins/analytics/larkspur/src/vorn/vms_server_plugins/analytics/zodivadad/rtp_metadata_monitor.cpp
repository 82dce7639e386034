#include "rtp_metadata_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

RtpMetadataMonitor::RtpMetadataMonitor(DeviceAgent* deviceAgent)
    : m_deviceAgent(deviceAgent)
{}

RtpMetadataMonitor::~RtpMetadataMonitor() = default;

} // namespace vorn::vms_server_plugins::analytics::zodivadad
