#include <vorn/vms/common/h264/sei_unit.h>

namespace vorn::vms::common::h264 {

namespace {

// Reads one ff-coded number (payload type or size): 0xFF bytes add 255 each, the first other byte ends
// it. False at the end of the data or once the number exceeds `limit`, so that no sum can overflow.
bool readCodedNumber(const std::uint8_t*& p, const std::uint8_t* end, std::size_t limit, std::size_t* value)
{
    std::size_t sum = 0;
    for (;;) {
        if (p >= end)
            return false;
        const std::uint8_t byte = *p++;
        sum += byte;
        if (sum > limit)
            return false;
        if (byte != 0xFF)
            break;
    }
    *value = sum;
    return true;
}

} // namespace

bool SEIUnit::deserialize(const SPSUnit& /*sps*/, int /*flags*/)
{
    m_messages.clear();
    m_processedMessages.clear();
    if (nalUnitType() != kSeiType)
        return false;

    const std::uint8_t* p = m_decoded.data() + 1;
    const std::uint8_t* const end = m_decoded.data() + m_decoded.size();
    std::vector<SeiMessage> messages;
    // more_rbsp_data(): messages follow until only the stop bit (0x80) is left; a unit whose trailing bits
    // were cut off ends with its last message.
    while (p < end && !(end - p == 1 && *p == 0x80)) {
        std::size_t type = 0;
        std::size_t size = 0;
        if (!readCodedNumber(p, end, static_cast<std::size_t>(end - p) + 0xFFFF, &type) ||
            !readCodedNumber(p, end, static_cast<std::size_t>(end - p), &size)) {
            return false;
        }
        if (size > static_cast<std::size_t>(end - p))
            return false; // the payload reaches past the unit
        messages.push_back({static_cast<int>(type), p, static_cast<int>(size)});
        p += size;
    }
    m_messages = std::move(messages);
    m_processedMessages.reserve(m_messages.size());
    for (const SeiMessage& message : m_messages)
        m_processedMessages.emplace_back(message.payload, message.payloadSize);
    return true;
}

} // namespace vorn::vms::common::h264
