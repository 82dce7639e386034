// Uuid: the 16-byte identifier that ties the metadata of one tracked object together.
// Compared and copied as raw bytes; the null identifier has all bytes zero.
#pragma once

#include <array>
#include <cstdint>

namespace vorn::sdk {

struct Uuid
{
    std::array<uint8_t, 16> bytes{};

    bool isNull() const
    {
        for (uint8_t b : bytes) {
            if (b != 0)
                return false;
        }
        return true;
    }

    bool operator==(const Uuid&) const = default;
    auto operator<=>(const Uuid&) const = default;
};

} // namespace vorn::sdk
