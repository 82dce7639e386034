#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camera_tool_options.h"

namespace vorn::testing::zodivadad {
namespace {

struct Row
{
    const char* name;
    std::vector<std::string> args;
    std::string error; //< Empty: accepted.
    std::function<void(const CameraToolOptions&)> check = [](const CameraToolOptions&) {};
};

TEST(CameraToolOptions, ParsesFlagsAndRefusesWhatIsWrong)
{
    const Row rows[] = {
        {"defaults",
         {},
         "",
         [](const CameraToolOptions& o) {
             EXPECT_FALSE(o.lpr);
             EXPECT_EQ(o.alarms, 5);
             EXPECT_EQ(o.plates, 3);
             EXPECT_EQ(o.intervalMs, 300);
             EXPECT_EQ(o.runForSeconds, std::nullopt);
             EXPECT_TRUE(o.portsFile.empty());
         }},
        {"every flag, both spellings",
         {"--lpr", "--login", "admin", "--password=s3cret", "--alarms=2", "--plates", "4", "--interval-ms", "0",
          "--wait-for-client", "2.5", "--run-for=6", "--ports-file", "/tmp/p"},
         "",
         [](const CameraToolOptions& o) {
             EXPECT_TRUE(o.lpr);
             EXPECT_EQ(o.login, "admin");
             EXPECT_EQ(o.password, "s3cret");
             EXPECT_EQ(o.alarms, 2);
             EXPECT_EQ(o.plates, 4);
             EXPECT_EQ(o.intervalMs, 0);
             EXPECT_EQ(o.waitForClientSeconds, 2.5);
             EXPECT_EQ(o.runForSeconds, 6.0);
             EXPECT_EQ(o.portsFile, "/tmp/p");
         }},
        {"help", {"--help"}, "", [](const CameraToolOptions& o) { EXPECT_TRUE(o.help); }},
        {"count at the limit", {"--alarms", "10000"}, ""},
        {"count past the limit", {"--alarms", "10001"}, "--alarms needs a count from 0 to 10000"},
        {"negative count", {"--plates=-1"}, "--plates needs a count from 0 to 10000"},
        {"count with trailing text", {"--plates", "3x"}, "--plates needs a count from 0 to 10000"},
        {"interval past the limit", {"--interval-ms", "60001"}, "--interval-ms needs milliseconds from 0 to 60000"},
        {"seconds not a number", {"--run-for", "soon"}, "--run-for needs seconds from 0 to 86400"},
        {"seconds not finite", {"--run-for", "inf"}, "--run-for needs seconds from 0 to 86400"},
        {"negative seconds", {"--wait-for-client", "-1"}, "--wait-for-client needs seconds from 0 to 86400"},
        {"value missing at the end", {"--login"}, "--login needs a value"},
        {"empty ports file", {"--ports-file="}, "--ports-file needs a file name"},
        {"switch with a value", {"--lpr=1"}, "--lpr takes no value"},
        {"password without login", {"--password", "x"}, "--password needs --login"},
        {"unknown flag", {"--vca-port", "8214"}, "unknown argument --vca-port"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CameraToolOptions options;
        EXPECT_EQ(CameraToolOptions::parse(row.args, &options), row.error);
        if (row.error.empty())
            row.check(options);
    }
}

} // namespace
} // namespace vorn::testing::zodivadad
