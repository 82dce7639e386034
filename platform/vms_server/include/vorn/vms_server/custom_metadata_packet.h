// CustomMetadataPacket: a packet of a camera's metadata stream as the server passes it to a consuming
// device agent (the agent finds it by asking an IDataPacket for "vorn::sdk::analytics::ICustomMetadataPacket").
//
//     auto packet = sdk::makePtr<CustomMetadataPacket>("Zodivadad", rtpBytes, timestampUs);
//     consumingAgent->consumeDataPacket(&result, packet.get());
//
// Immutable after construction; the bytes stay valid while the caller holds a reference.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class CustomMetadataPacket final : public ServerRefCountable<sdk::analytics::ICustomMetadataPacket>
{
public:
    // The interface describes the size as int32; longer data cannot be handed over whole.
    static constexpr std::size_t kMaxDataSize = std::numeric_limits<int32_t>::max();

    /** @param data The payload bytes; must not exceed kMaxDataSize. */
    CustomMetadataPacket(std::string codec, std::string data, int64_t timestampUs);

    int64_t timestampUs() const override;
    const char* codec() const override;
    const char* data() const override;
    int32_t dataSize() const override;

private:
    ~CustomMetadataPacket() override = default;

    const std::string m_codec;
    const std::string m_data;
    const int64_t m_timestampUs;
};

} // namespace vorn::vms_server
