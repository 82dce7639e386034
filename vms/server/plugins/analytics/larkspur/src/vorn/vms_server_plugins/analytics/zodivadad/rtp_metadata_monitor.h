// RtpMetadataMonitor: the parser of the camera's metadata stream, which the server passes to a device
// agent of a camera without licence-plate support as custom metadata packets with the codec
// "Zodivadad". It turns the object tracks it finds into object metadata packets and hands them to its
// device agent.
//
//     if (codec == "Zodivadad")
//         rtpMonitor->parseMetadata(data, size, packet->timestampUs());
//
// It runs on the thread on which the server delivers the packet.
#pragma once

#include <cstdint>

namespace vorn::vms_server_plugins::analytics::zodivadad {

class DeviceAgent;

class RtpMetadataMonitor
{
public:
    explicit RtpMetadataMonitor(DeviceAgent* deviceAgent);
    virtual ~RtpMetadataMonitor();

    RtpMetadataMonitor(const RtpMetadataMonitor&) = delete;
    RtpMetadataMonitor& operator=(const RtpMetadataMonitor&) = delete;

    /** One packet of the metadata stream; size > 0 and data not null. */
    virtual void parseMetadata(const char* data, int32_t size, int64_t timestampUs) = 0;

    /** A packet of another codec: nothing to do. */
    void ignorePacket(const char* /*data*/, int32_t /*size*/, int64_t /*timestampUs*/) {}

protected:
    DeviceAgent* const m_deviceAgent; //< Owns this parser and outlives it.
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
