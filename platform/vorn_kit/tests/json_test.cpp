#include <vorn/kit/json.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace vorn::kit::detail::json11 {
namespace {

std::string nested(int depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(Json, ParsesValidTexts)
{
    struct Row
    {
        const char* name;
        std::string text;
        Json::Type type;
        std::string dump; // the value printed back
    };
    const Row rows[] = {
        {"null", "null", Json::NUL, "null"},
        {"integer", "42", Json::NUMBER, "42"},
        {"negative fraction", " -7.25 ", Json::NUMBER, "-7.25"},
        {"exponent", "1e3", Json::NUMBER, "1000"},
        {"large integer", "9007199254740993", Json::NUMBER, "9007199254740992"},
        {"true", "true", Json::BOOL, "true"},
        {"string with escapes", R"("a\"b\\c\n\u00e9\u0001")", Json::STRING, "\"a\\\"b\\\\c\\n\xC3\xA9\\u0001\""},
        {"invalid UTF-8 kept byte for byte", "\"\xFF\xFE\"", Json::STRING, "\"\xFF\xFE\""},
        {"empty array", "[]", Json::ARRAY, "[]"},
        {"array", "[1, \"x\", null, [false]]", Json::ARRAY, "[1,\"x\",null,[false]]"},
        {"object keys come sorted", R"({"b": 1, "a": {"d": [], "c": ""}})", Json::OBJECT,
         R"({"a":{"c":"","d":[]},"b":1})"},
        {"duplicate key, last wins", R"({"a": 1, "a": 2})", Json::OBJECT, R"({"a":2})"},
        {"nesting at the limit", nested(Json::kMaxNestingDepth), Json::ARRAY, nested(Json::kMaxNestingDepth)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error = "stale";
        const Json value = Json::parse(row.text, error);
        EXPECT_EQ(error, "");
        EXPECT_EQ(value.type(), row.type);
        EXPECT_EQ(value.dump(), row.dump);
    }
}

TEST(Json, RefusesInvalidTextsWithAReason)
{
    struct Row
    {
        const char* name;
        std::string text;
        const char* expectedError; // a part of the error text
    };
    const Row rows[] = {
        {"empty", "", "offset 0"},
        {"blank", "   ", "offset"},
        {"bare word", "nul", "offset"},
        {"trailing comma", "[1,]", "offset 3"},
        {"comment", "{} // note", "offset 3"},
        {"second value", "{} {}", "offset 3"},
        {"unterminated string", "\"abc", "offset"},
        {"single quotes", "{'a': 1}", "offset 1"},
        {"missing colon", R"({"a" 1})", "offset"},
        {"control character in string", "\"a\x01\"", "offset"},
        {"nesting one past the limit", nested(Json::kMaxNestingDepth + 1), "nesting deeper than 64 levels"},
        {"deep nesting", nested(100000), "nesting deeper than 64 levels"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        const Json value = Json::parse(row.text, error);
        EXPECT_TRUE(value.is_null());
        EXPECT_NE(error.find(row.expectedError), std::string::npos) << error;
    }
}

TEST(Json, IntValueTruncatesAndSaturates)
{
    struct Row
    {
        const char* text;
        int expected;
    };
    const Row rows[] = {
        {"7.9", 7},
        {"-7.9", -7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"1e300", INT_MAX},
        {"-1e300", INT_MIN},
        {"1e400", INT_MAX}, // beyond double: parsed as infinity
        {"18446744073709551615", INT_MAX},
        {"\"12\"", 0},
        {"true", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const Json value = Json::parse(row.text, error);
        ASSERT_EQ(error, "");
        EXPECT_EQ(value.int_value(), row.expected);
    }
    EXPECT_EQ(Json(std::numeric_limits<double>::quiet_NaN()).int_value(), 0);
    EXPECT_EQ(Json(std::numeric_limits<double>::infinity()).int_value(), INT_MAX);
    EXPECT_EQ(Json(-std::numeric_limits<double>::infinity()).int_value(), INT_MIN);
}

TEST(Json, AccessorsOfTheWrongKindGiveEmptyAnswers)
{
    const Json values[] = {Json(), Json(3.5), Json(true), Json("text"), Json(Json::array{1, 2})};
    for (const Json& value : values) {
        SCOPED_TRACE(value.dump());
        EXPECT_TRUE(value["key"].is_null());
        EXPECT_TRUE(value["key"]["deeper"].is_null());
        EXPECT_TRUE(value.object_items().empty());
    }
    const Json object = Json::object{{"a", Json::array{"x"}}, {"n", nullptr}};
    EXPECT_TRUE(object["missing"].is_null());
    EXPECT_TRUE(object["n"].is_null());
    EXPECT_TRUE(object[0].is_null());
    EXPECT_EQ(object["a"][0].string_value(), "x");
    EXPECT_TRUE(object["a"][1].is_null());
    EXPECT_EQ(object["a"].string_value(), "");
    EXPECT_EQ(object["a"].number_value(), 0.0);
    EXPECT_FALSE(object["a"].bool_value());
    EXPECT_TRUE(object.array_items().empty());
}

TEST(Json, BuildsAndPrintsValues)
{
    const Json body = Json::object{
        {"Duration", 1800},
        {"Address", "10.0.0.1"},
        {"Enabled", true},
        {"Ratio", 0.1},
        {"Types", Json::array{1, 2.5, nullptr, Json::object{}}},
        {"Text", "line\nbreak \"quoted\" \xE2\x80\xA8"},
    };
    EXPECT_EQ(body.dump(), R"({"Address":"10.0.0.1","Duration":1800,"Enabled":true,"Ratio":0.1,)"
                           R"("Text":"line\nbreak \"quoted\" \u2028","Types":[1,2.5,null,{}]})");
    EXPECT_EQ(Json(std::numeric_limits<double>::infinity()).dump(), "null");
    EXPECT_EQ(Json(static_cast<const char*>(nullptr)).dump(), "\"\"");

    // What is printed parses back to the same value.
    std::string error;
    EXPECT_EQ(Json::parse(body.dump(), error), body);
}

TEST(Json, ComparesByTypeThenValue)
{
    EXPECT_EQ(Json(1), Json(1.0));
    EXPECT_NE(Json(1), Json(true));
    EXPECT_NE(Json("1"), Json(1));
    EXPECT_EQ(Json(), Json(nullptr));
    EXPECT_EQ(Json(Json::object{{"a", 1}}), Json(Json::object{{"a", 1.0}}));
    EXPECT_NE(Json(Json::object{{"a", 1}}), Json(Json::object{{"b", 1}}));
    EXPECT_LT(Json(), Json(0));
    EXPECT_LT(Json(5), Json(false));
    EXPECT_LT(Json(1), Json(2));
    EXPECT_LT(Json("a"), Json("b"));
    EXPECT_LT(Json(Json::array{1}), Json(Json::array{1, 0}));
    EXPECT_GT(Json(Json::object{}), Json(Json::array{}));
    EXPECT_LE(Json(2), Json(2));
    EXPECT_GE(Json(3), Json(2));

    // Copies share the value.
    const Json original = Json::array{"shared"};
    const Json copy = original;
    EXPECT_EQ(&original.array_items(), &copy.array_items());
}

} // namespace
} // namespace vorn::kit::detail::json11
