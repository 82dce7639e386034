#include <string>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/rtp_blob_encoder.h>

namespace vorn::testing::zodivadad {
namespace {

TEST(RtpBlobEncoder, OnePersonListIsFortyEightBytes)
{
    const std::string blob = encodeRtpBlob(
        {rtpObjectList(1920, 1080, {{.number = 42, .type = 1, .x1 = 960, .y1 = 540, .x2 = 1920, .y2 = 1080}})});
    const std::string expected = std::string("\x80\x60\x01\x02\x12\x34\x56\x78", 8) +
                                 std::string("\x00\x01\x05\x01\x00\x00\x00\x00\x00\x00\x00\x07", 12) +
                                 std::string("\x07\x80\x04\x38", 4) +
                                 std::string("\x00\x00\x00\x2A\xC0\xFF\xEE\x01\xC0\xFF\xEE\x02\x00\x00\x00\x01", 16) +
                                 std::string("\x03\xC0\x02\x1C\x07\x80\x04\x38", 8);
    EXPECT_EQ(blob, expected);
}

} // namespace
} // namespace vorn::testing::zodivadad
