// RtpMetadataMonitor: the device agent's parser of the camera's metadata stream, which the server passes
// to a device agent of a camera without licence-plate support as custom metadata packets with the codec
// "Zodivadad". It ties an RtpMetadataParser to its device agent: the object packets it makes go to
// DeviceAgent::pushMetadataPacket(), and its log lines carry the camera host.
//
//     if (codec == "Zodivadad")
//         rtpMonitor->parseMetadata(data, size, packet->timestampUs());
//
// It runs on the thread on which the server delivers the packet, one packet at a time, and keeps the
// object tracks between packets. parseMetadata() is virtual so that tests can record what reaches it.
#pragma once

#include <cstdint>

#include <QtCore/QString>

#include "rtp_metadata_parser.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class DeviceAgent;

class RtpMetadataMonitor
{
public:
    /** The agent must be far enough in its construction to answer host(). */
    explicit RtpMetadataMonitor(DeviceAgent* deviceAgent);
    virtual ~RtpMetadataMonitor();

    RtpMetadataMonitor(const RtpMetadataMonitor&) = delete;
    RtpMetadataMonitor& operator=(const RtpMetadataMonitor&) = delete;

    /** One packet of the metadata stream; a negative size or null data with a size is ignored. */
    virtual void parseMetadata(const char* data, int32_t size, int64_t timestampUs);

    /** A packet of another codec: nothing to do. */
    void ignorePacket(const char* /*data*/, int32_t /*size*/, int64_t /*timestampUs*/) {}

    /** The camera host: the parser's log lines carry this object's tag. */
    QString logTagSuffix() const { return m_host; }

protected:
    DeviceAgent* const m_deviceAgent; //< Owns this parser and outlives it.

private:
    const QString m_host; //< Before m_parser, whose log tag it goes into.
    RtpMetadataParser m_parser;
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
