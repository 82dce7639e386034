#include <vorn/vms_server/compressed_video_packet.h>

#include <algorithm>
#include <cassert>
#include <utility>

namespace vorn::vms_server {

CompressedVideoPacket::CompressedVideoPacket(std::string codec, std::string data, int64_t timestampUs)
    : m_codec(std::move(codec))
    , m_data(std::move(data))
    , m_timestampUs(timestampUs)
{
    assert(m_data.size() <= kMaxDataSize);
}

int64_t CompressedVideoPacket::timestampUs() const
{
    return m_timestampUs;
}

const char* CompressedVideoPacket::codec() const
{
    return m_codec.c_str();
}

const char* CompressedVideoPacket::data() const
{
    return m_data.data();
}

int32_t CompressedVideoPacket::dataSize() const
{
    return static_cast<int32_t>(std::min(m_data.size(), kMaxDataSize));
}

} // namespace vorn::vms_server
