#include <vorn/utils/base64.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

std::optional<std::string> decodeBoth(std::string_view text)
{
    const std::int64_t size = fromBase64(text, nullptr);
    if (size < 0)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(size) + 8, '\x7E'); // sentinels past the end
    const std::int64_t written = fromBase64(text, out.data());
    EXPECT_EQ(written, size);
    EXPECT_EQ(out.substr(static_cast<std::size_t>(size)), std::string(8, '\x7E')) << "wrote past the size";
    out.resize(static_cast<std::size_t>(size));
    return out;
}

TEST(Base64, DecodesValidAndRefusesInvalidText)
{
    struct Row
    {
        const char* name;
        std::string text;
        std::optional<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"empty", "", std::string()},
        {"one byte padded", "Zg==", std::string("f")},
        {"two bytes padded", "Zm8=", std::string("fo")},
        {"three bytes", "Zm9v", std::string("foo")},
        {"rfc vector", "Zm9vYmFy", std::string("foobar")},
        {"missing padding", "Zm9vYg", std::string("foob")},
        {"line breaks and blanks", "Zm9v\r\nYmFy \t", std::string("foobar")},
        {"binary bytes", "AP8Agf4=", std::string("\x00\xFF\x00\x81\xFE", 5)},
        {"plus and slash", "+/+/", std::string("\xFB\xFF\xBF", 3)},
        {"stray single character", "Zm9vY", std::nullopt},
        {"character outside alphabet", "Zm9v*mFy", std::nullopt},
        {"url-safe alphabet", "Zm9v-_", std::nullopt},
        {"data after padding", "Zg==Zm9v", std::nullopt},
        {"three padding characters", "Zg===", std::nullopt},
        {"padding too early", "Z===", std::nullopt},
        {"padding alone", "==", std::nullopt},
        {"nul byte", std::string("Zm9v\0", 5), std::nullopt},
        {"high byte", "Zm9v\xC3\xA9", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decodeBoth(row.text), row.expected);
    }
}

TEST(Base64, RoundTripsEveryLengthAndByte)
{
    std::string bytes;
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(decodeBoth(toBase64(bytes)), bytes);
        bytes.push_back(static_cast<char>(i * 37 + 11));
    }
}

} // namespace
} // namespace vorn::utils
