#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <boost/json/object.hpp>
#include <boost/json/parse.hpp>

#include <vorn/vms_server/json_line_writer.h>
#include <vorn/vms_server/received_record_json.h>

namespace vorn::vms_server {
namespace {

TEST(JsonLineWriter, TextsBecomeValidJsonStrings)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Row rows[] = {
        {"plain", "Motion", R"("Motion")"},
        {"quote and backslash", R"(a"b\c)", R"("a\"b\\c")"},
        {"control characters", std::string("a\nb\tc\x01\x1f", 7), R"("a\nb\tc\u0001\u001f")"},
        {"zero byte", std::string("a\0b", 3), R"("a\u0000b")"},
        {"two-, three- and four-byte sequences", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7",
         "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7\""},
        {"stray continuation byte", "a\x80z", "\"a\xEF\xBF\xBDz\""},
        {"sequence cut at the end", "a\xE2\x82", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"overlong form", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"surrogate", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"highest code point", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string out;
        JsonLineWriter::appendString(&out, row.bytes);
        EXPECT_EQ(out, row.expected);
        boost::system::error_code error;
        boost::json::parse(out, error);
        EXPECT_FALSE(error) << error.message();
    }
}

TEST(JsonLineWriter, NumbersStayReadable)
{
    struct Row
    {
        const char* name;
        double value;
        const char* expected;
    };
    const Row rows[] = {
        {"confidence from a float", floatToJsonNumber(0.9F), "0.9"},
        {"whole number", -1.0, "-1.0"},
        {"large", 1e21, "1e+21"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), "null"},
        {"infinite", std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string out;
        JsonLineWriter::appendDouble(&out, row.value);
        EXPECT_EQ(out, row.expected);
    }
}

TEST(JsonLineWriter, KeepsTheOrderOfMembers)
{
    const auto manifest = boost::json::parse(R"({"z":1,"a":[true,null,"x"],"m":{"b":2,"a":-3}})");
    EXPECT_EQ(JsonLineWriter::format(boost::json::object{{"kind", "k"}, {"manifest", manifest}}),
              R"({"kind":"k","manifest":{"z":1,"a":[true,null,"x"],"m":{"b":2,"a":-3}}})");
}

} // namespace
} // namespace vorn::vms_server
