#include <vorn/kit/from_string.h>

#include <climits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace vorn::kit::utils {
namespace {

TEST(FromString, AcceptsOnlyAWholeDecimalIntInRange)
{
    struct Row
    {
        std::string text;
        std::optional<int> expected;
    };
    const Row rows[] = {
        {"0", 0},
        {"42", 42},
        {"-17", -17},
        {"+5", 5},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", std::nullopt},
        {"-2147483648", INT_MIN},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"12abc", std::nullopt},
        {"1.5", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {std::string("1\0", 2), std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("text: \"" + row.text + "\"");
        int value = 12345;
        EXPECT_EQ(fromString(row.text, &value), row.expected.has_value());
        EXPECT_EQ(value, row.expected.value_or(12345)); // untouched on refusal
    }
    EXPECT_FALSE(fromString("1", nullptr));
}

} // namespace
} // namespace vorn::kit::utils
