#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/uniview/json_to_int.h>

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using Json = vorn::kit::detail::json11::Json;

TEST(UniviewJsonToInt, ReadsNumbersAndLeadingIntegersOfTexts)
{
    const struct
    {
        const char* json;
        std::optional<int> expected;
    } rows[] = {
        {"2", 2},
        {"-7", -7},
        {"2.9", 2}, // The fraction is dropped.
        {"-2.9", -2},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483648},
        {"2147483648", std::nullopt}, // Beyond the int range: no value, not a saturated one.
        {"-2147483649", std::nullopt},
        {"1e300", std::nullopt},
        {R"("2")", 2},
        {R"("-15")", -15},
        {R"("12abc")", 12},
        {R"("007")", 7},
        {R"("2147483647")", 2147483647},
        {R"("2147483648")", std::nullopt},
        {R"("-2147483649")", std::nullopt},
        {R"("99999999999999999999")", std::nullopt},
        // No leading integer: no value (not the code 0, which is a real code of several tables).
        {R"("abc")", std::nullopt},
        {R"("")", std::nullopt},
        {R"(" 5")", std::nullopt},
        {R"("+5")", std::nullopt},
        {R"("-")", std::nullopt},
        {R"("unknown")", std::nullopt},
        {"null", std::nullopt},
        {"true", std::nullopt},
        {"false", std::nullopt},
        {"[1]", std::nullopt},
        {R"({"a": 1})", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        std::string error;
        const Json value = Json::parse(row.json, error);
        ASSERT_TRUE(error.empty()) << error;
        EXPECT_EQ(jsonToInt(value), row.expected);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
