#include <string>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/camera_settings_parser.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

struct ReplyRow
{
    const char* name;
    std::string body;
    CameraSettings expected;
};

TEST(CameraSettingsParser, Table)
{
    const ReplyRow rows[] = {
        {"one entry", "var system_lpr_support='1';", {{"system_lpr_support", "1"}}},
        {"several entries with line breaks",
         "var system_model='IPCam 5000';\r\nvar system_lpr_support='0';\n",
         {{"system_model", "IPCam 5000"}, {"system_lpr_support", "0"}}},
        {"blanks inside the quotes and around the entry", "  var  a = ' x y '  ;", {{"a", "x y"}}},
        {"no trailing separator", "var a='1'", {{"a", "1"}}},
        {"letters var inside a name stay",
         "var system_variant='2';var varnish='3';",
         {{"system_variant", "2"}, {"varnish", "3"}}},
        {"keyword needs a blank after it", "variable='4';", {{"variable", "4"}}},
        {"name that is only the word var", "var='5';", {{"var", "5"}}},
        {"quotes inside a value stay", "var a='it's';", {{"a", "it's"}}},
        {"unquoted value", "var a=7;", {{"a", "7"}}},
        {"empty value", "var a='';", {{"a", ""}}},
        {"equals sign inside the value", "var a='x=y';", {{"a", "x=y"}}},
        {"later value wins", "var a='1';var a='2';", {{"a", "2"}}},
        {"empty name is stored", "='v';", {{"", "v"}}},
        {"value cut at a separator inside quotes", "var a='x;y';var b='1';", {{"a", "x"}, {"b", "1"}}},
        {"pieces without assignment skipped", "hello;;world;var a='1';", {{"a", "1"}}},
        {"empty body", "", {}},
        {"HTML error page", "<html><body><h1>500 Internal Server Error</h1></body></html>", {}},
        {"HTML with stray assignments",
         "<meta charset=utf-8>;<p style=x>",
         {{"<meta charset", "utf-8>"}, {"<p style", "x>"}}},
        {"UTF-8 value",
         "var name='Kamera \xC3\xBC"
         "ber';",
         {{"name", QString::fromUtf8("Kamera \xC3\xBC"
                                     "ber")}}},
        {"zero byte ends a piece", std::string("var a='1'\0junk;var b='2';", 25), {{"a", "1"}, {"b", "2"}}},
        {"zero byte before the assignment", std::string("var a\0='1';", 11), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseCameraSettingsReply(row.body), row.expected);
    }
}

TEST(CameraSettingsParser, NeverReadsPastTheRange)
{
    // The range ends inside a larger buffer: the bytes after it must not show up in the result.
    const std::string buffer = "var a='1';var b='2'";
    EXPECT_EQ(parseCameraSettingsReply(std::string_view(buffer).substr(0, 16)),
              (CameraSettings{{"a", "1"}, {"b", ""}}));
    EXPECT_EQ(parseCameraSettingsReply(std::string_view(buffer.data(), 9)), (CameraSettings{{"a", "1"}}));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
