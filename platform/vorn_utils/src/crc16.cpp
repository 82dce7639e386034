#include <vorn/utils/crc16.h>

#include <boost/crc.hpp>

namespace vorn::utils {

// Crc16Type::arc is the only variant so far.
std::uint16_t crc16(const void* data, std::size_t size, [[maybe_unused]] Crc16Type type)
{
    if (size == 0)
        return 0;
    boost::crc_16_type crc;
    crc.process_bytes(data, size);
    return crc.checksum();
}

} // namespace vorn::utils
