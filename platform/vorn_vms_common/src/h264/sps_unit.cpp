#include <vorn/vms/common/h264/sps_unit.h>

namespace vorn::vms::common::h264 {

namespace {

// Reads Exp-Golomb codes from the decoded payload; fails at the end instead of reading past it.
class BitReader
{
public:
    BitReader(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {}

    bool bit(int* value)
    {
        if (m_position >= m_size * 8)
            return false;
        *value = (m_data[m_position / 8] >> (7 - m_position % 8)) & 1;
        ++m_position;
        return true;
    }

    bool unsignedGolomb(int* value)
    {
        int leadingZeros = 0;
        int b = 0;
        for (;;) {
            if (!bit(&b))
                return false;
            if (b)
                break;
            // Beyond 31 the value does not fit an int: no valid stream has it here.
            if (++leadingZeros > 31)
                return false;
        }
        std::uint32_t suffix = 0;
        for (int i = 0; i < leadingZeros; ++i) {
            if (!bit(&b))
                return false;
            suffix = suffix << 1 | static_cast<std::uint32_t>(b);
        }
        const std::uint64_t result = (std::uint64_t{1} << leadingZeros) - 1 + suffix;
        if (result > 0x7FFFFFFF)
            return false;
        *value = static_cast<int>(result);
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

} // namespace

bool SPSUnit::deserialize()
{
    // Header byte, profile_idc, constraint flags, level_idc, then seq_parameter_set_id.
    if (nalUnitType() != kSpsType || m_decoded.size() < 5)
        return false;
    BitReader reader(m_decoded.data() + 4, m_decoded.size() - 4);
    int id = 0;
    if (!reader.unsignedGolomb(&id))
        return false;
    profileIdc = m_decoded[1];
    levelIdc = m_decoded[3];
    seqParameterSetId = id;
    return true;
}

} // namespace vorn::vms::common::h264
