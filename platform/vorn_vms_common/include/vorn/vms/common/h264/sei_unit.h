// vorn::vms::common::h264::SEIUnit: an SEI NAL unit split into its SEI messages.
//
//     SEIUnit sei;
//     sei.decodeBuffer(current, next);
//     if (!sei.deserialize(SPSUnit(), 0))
//         return;                                         // malformed: nothing listed
//     for (const auto& [data, size] : sei.m_processedMessages) ...    // payload bytes of each message
//
// Every message is listed, whatever its payload type (messages() has the type too), in stream order;
// each entry points at the first byte of the message's payload inside the unit's decoded bytes, so the
// pointers live as long as the unit and are valid only until the next decodeBuffer(). A payload size that
// reaches past the unit makes the whole unit malformed: no message of it is listed.
#pragma once

#include <utility>
#include <vector>

#include <vorn/vms/common/h264/nal_unit.h>
#include <vorn/vms/common/h264/sps_unit.h>

namespace vorn::vms::common::h264 {

struct SeiMessage
{
    int payloadType = 0;
    const std::uint8_t* payload = nullptr;
    int payloadSize = 0;
};

class SEIUnit : public NALUnit
{
public:
    // The SPS is taken for the signature of the stream's readers; no message read here depends on it.
    // `flags` is reserved and must be 0. False when the decoded unit is not an SEI unit or is malformed.
    bool deserialize(const SPSUnit& sps, int flags);

    const std::vector<SeiMessage>& messages() const { return m_messages; }

    // The messages as (payload, size) pairs, in stream order.
    std::vector<std::pair<const std::uint8_t*, int>> m_processedMessages;

private:
    std::vector<SeiMessage> m_messages;
};

} // namespace vorn::vms::common::h264
