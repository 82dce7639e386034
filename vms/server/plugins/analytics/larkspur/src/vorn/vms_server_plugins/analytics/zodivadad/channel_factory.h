// ChannelFactory: how a device agent makes its camera channels. The device agent asks it once, in its
// constructor, for the channels that suit the camera; tests hand the device agent a factory of their
// own that makes recording fakes.
//
//     class RecordingFactory: public ChannelFactory
//     {
//         std::unique_ptr<TcpDataMonitor> createVcaMonitor(DeviceAgent* agent) const override
//         { return std::make_unique<RecordingMonitor>(agent, "VCA.Port"); }
//     };
//     auto agent = makePtr<DeviceAgent>(engine, description, manifest, RecordingFactory());
//
// A factory may return null for a channel that it cannot make; the device agent then works without it.
// The device agent takes ownership of what is returned and destroys it before itself.
#pragma once

#include <memory>

#include "rtp_metadata_monitor.h"
#include "tcp_data_monitor.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

class DeviceAgent;

/** Channel names; a channel's settings are named after it ("VCA.Port"). */
inline constexpr char kVcaChannelName[] = "VCA";
inline constexpr char kLprChannelName[] = "LPR";

class ChannelFactory
{
public:
    virtual ~ChannelFactory() = default;

    /** The licence-plate push channel of a camera with licence-plate support. */
    virtual std::unique_ptr<TcpDataMonitor> createLprMonitor(DeviceAgent* deviceAgent) const;

    /** The video-analytics push channel of a camera without licence-plate support. */
    virtual std::unique_ptr<TcpDataMonitor> createVcaMonitor(DeviceAgent* deviceAgent) const;

    /** The metadata stream parser of a camera without licence-plate support. */
    virtual std::unique_ptr<RtpMetadataMonitor> createRtpMetadataMonitor(DeviceAgent* deviceAgent) const;

    /** The factory of the shipped channels. */
    static const ChannelFactory& instance();
};

} // namespace vorn::vms_server_plugins::analytics::zodivadad
