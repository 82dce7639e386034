// vorn::utils::crc16: 16-bit cyclic redundancy checks over a byte range.
//
//     const std::uint16_t checksum = vorn::utils::crc16(payload.data(), payload.size());
//
// Crc16Type::arc (the default) is CRC-16/ARC: polynomial 0x8005 processed bit-reflected, initial value 0,
// no final XOR; its check value, the CRC of the nine bytes "123456789", is 0xBB3D.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorn::utils {

enum class Crc16Type {
    arc,
};

// Reads exactly `size` bytes from `data`; `data` may be null when `size` is 0.
std::uint16_t crc16(const void* data, std::size_t size, Crc16Type type = Crc16Type::arc);

inline std::uint16_t crc16(std::string_view bytes, Crc16Type type = Crc16Type::arc)
{
    return crc16(bytes.data(), bytes.size(), type);
}

} // namespace vorn::utils
