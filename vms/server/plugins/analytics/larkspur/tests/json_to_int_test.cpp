#include <cmath>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/json_to_int.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using Json = vorn::kit::detail::json11::Json;

TEST(JsonToInt, Table)
{
    const struct
    {
        const char* name;
        Json value;
        std::optional<int> expected;
    } rows[] = {
        {"number", Json(42), 42},
        {"negative number", Json(-7), -7},
        {"fraction truncated", Json(2.9), 2},
        {"number at int limit", Json(2147483647.0), 2147483647},
        {"number past int limit", Json(2147483648.0), std::nullopt},
        {"number at int minimum", Json(-2147483648.0), -2147483647 - 1},
        {"number past int minimum", Json(-2147483649.0), std::nullopt},
        {"number far beyond int", Json(1e12), std::nullopt},
        {"not a number", Json(std::nan("")), std::nullopt},
        {"text", Json("200"), 200},
        {"negative text", Json("-1"), -1},
        {"text at int limit", Json("2147483647"), 2147483647},
        {"text past int limit", Json("2147483648"), std::nullopt},
        {"text with blank", Json(" 1"), std::nullopt},
        {"text not a number", Json("x"), std::nullopt},
        {"empty text", Json(""), std::nullopt},
        {"true", Json(true), std::nullopt},
        {"null", Json(), std::nullopt},
        {"array", Json(Json::array{Json(1)}), std::nullopt},
        {"object", Json(Json::object{{"a", Json(1)}}), std::nullopt},
        {"absent member", Json(Json::object{})["alarm"], std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(jsonToInt(row.value), row.expected);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
