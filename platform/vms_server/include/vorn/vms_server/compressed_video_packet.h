// CompressedVideoPacket: one encoded video frame as the server passes it to a consuming device agent
// (the agent finds it by asking an IDataPacket for "vorn::sdk::analytics::ICompressedVideoPacket1").
//
//     auto frame = sdk::makePtr<CompressedVideoPacket>("h264", annexBBytes, timestampUs);
//     consumingAgent->consumeDataPacket(&result, frame.get());
//
// Immutable after construction; the bytes stay valid while the caller holds a reference.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include <vorn/sdk/analytics/i_data_packet.h>
#include <vorn/vms_server/server_ref_countable.h>

namespace vorn::vms_server {

class CompressedVideoPacket final : public ServerRefCountable<sdk::analytics::ICompressedVideoPacket>
{
public:
    // The interface describes the size as int32; longer data cannot be handed over whole.
    static constexpr std::size_t kMaxDataSize = std::numeric_limits<int32_t>::max();

    /** @param data The encoded frame; must not exceed kMaxDataSize. */
    CompressedVideoPacket(std::string codec, std::string data, int64_t timestampUs);

    int64_t timestampUs() const override;
    const char* codec() const override;
    const char* data() const override;
    int32_t dataSize() const override;

private:
    ~CompressedVideoPacket() override = default;

    const std::string m_codec;
    const std::string m_data;
    const int64_t m_timestampUs;
};

} // namespace vorn::vms_server
