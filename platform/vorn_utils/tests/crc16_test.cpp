#include <vorn/utils/crc16.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

// Bit by bit, straight from the definition (reflected polynomial 0xA001, initial value 0), so that a
// wrong table or variant in the product cannot agree with it by accident.
std::uint16_t bitwiseArc(const std::string& bytes)
{
    std::uint16_t crc = 0;
    for (const unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::string allByteValues()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

TEST(Crc16, ArcValues)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        std::uint16_t expected;
    };
    const Row rows[] = {
        {"check value", "123456789", 0xBB3D}, {"empty", "", 0x0000},
        {"one letter", "A", 0x30C0},          {"zero byte", std::string(1, '\0'), 0x0000},
        {"high bytes", "\xFF\xFF", 0xB001},   {"every byte value", allByteValues(), 0xBAD3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(crc16(row.bytes), row.expected);
        EXPECT_EQ(crc16(row.bytes.data(), row.bytes.size(), Crc16Type::arc), row.expected);
        EXPECT_EQ(bitwiseArc(row.bytes), row.expected);
    }
}

TEST(Crc16, ReadsOnlyTheGivenRange)
{
    const std::string frame = "123456789trailing bytes";
    EXPECT_EQ(crc16(frame.data(), 9), 0xBB3D);
    EXPECT_EQ(crc16(nullptr, 0), 0x0000);
}

} // namespace
} // namespace vorn::utils
