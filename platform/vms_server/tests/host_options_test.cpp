#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vorn/vms_server/host_options.h>

namespace vorn::vms_server {
namespace {

TEST(HostOptions, FullCommandLine)
{
    HostOptions options;
    const std::string error = HostOptions::parse({"lib.so",
                                                  "--index",
                                                  "2",
                                                  "--vendor",
                                                  "Zodivadad",
                                                  "--model=M1",
                                                  "--url",
                                                  "http://127.0.0.1:8080/",
                                                  "--login",
                                                  "admin",
                                                  "--password",
                                                  "a=b",
                                                  "--channel",
                                                  "1",
                                                  "--setting",
                                                  "VCA.Port=9000",
                                                  "--setting",
                                                  "Empty=",
                                                  "--events",
                                                  "a,b,,c",
                                                  "--objects",
                                                  "all",
                                                  "--custom-packet",
                                                  "Zodivadad:/tmp/one:two.rtp",
                                                  "--video-packet",
                                                  "frame.h264",
                                                  "--packet-timestamp-us",
                                                  "-5",
                                                  "--run-for",
                                                  "0.5",
                                                  "--log-level",
                                                  "6",
                                                  "--time-scale=0.05"},
                                                 &options);
    ASSERT_EQ(error, "");
    EXPECT_EQ(options.library, "lib.so");
    EXPECT_EQ(options.pluginIndex, 2);
    EXPECT_FALSE(options.list);
    EXPECT_EQ(options.device.vendor, "Zodivadad");
    EXPECT_EQ(options.device.model, "M1");
    EXPECT_EQ(options.device.url, "http://127.0.0.1:8080/");
    EXPECT_EQ(options.device.login, "admin");
    EXPECT_EQ(options.device.password, "a=b");
    EXPECT_EQ(options.device.channel, 1);
    const std::vector<std::pair<std::string, std::string>> settings = {{"VCA.Port", "9000"}, {"Empty", ""}};
    EXPECT_EQ(options.settings, settings);
    ASSERT_TRUE(options.events);
    EXPECT_FALSE(options.events->all);
    EXPECT_EQ(options.events->ids, (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_TRUE(options.objects);
    EXPECT_TRUE(options.objects->all);
    ASSERT_EQ(options.packets.size(), 2u);
    EXPECT_EQ(options.packets[0].kind, HostOptions::PacketFile::Kind::customMetadata);
    EXPECT_EQ(options.packets[0].codec, "Zodivadad");
    EXPECT_EQ(options.packets[0].path, "/tmp/one:two.rtp");
    EXPECT_EQ(options.packets[1].kind, HostOptions::PacketFile::Kind::compressedVideo);
    EXPECT_EQ(options.packets[1].path, "frame.h264");
    EXPECT_EQ(options.packetTimestampUs, -5);
    EXPECT_EQ(options.runForSeconds, 0.5);
    EXPECT_EQ(options.logLevel, 6);
    EXPECT_EQ(options.timeScale, 0.05);
}

TEST(HostOptions, DefaultsLeaveSelectionAndRunTimeOpen)
{
    HostOptions options;
    ASSERT_EQ(HostOptions::parse({"--list", "lib.so"}, &options), "");
    EXPECT_TRUE(options.list);
    EXPECT_EQ(options.pluginIndex, 0);
    EXPECT_FALSE(options.events);
    EXPECT_FALSE(options.objects);
    EXPECT_FALSE(options.runForSeconds);
    EXPECT_FALSE(options.packetTimestampUs);
    EXPECT_FALSE(options.timeScale);
}

TEST(HostOptions, BadCommandLinesAreRefused)
{
    struct Row
    {
        const char* name;
        std::vector<std::string> args;
        const char* error;
    };
    const Row rows[] = {
        {"no library", {"--list"}, "No plugin library"},
        {"two libraries", {"a.so", "b.so"}, "More than one library"},
        {"unknown option", {"a.so", "--frobnicate"}, "Unknown option: --frobnicate"},
        {"missing value", {"a.so", "--index"}, "--index needs a value"},
        {"negative index", {"a.so", "--index", "-1"}, "--index needs a plugin index"},
        {"index with trailing text", {"a.so", "--index", "1x"}, "--index needs a plugin index"},
        {"index out of int range", {"a.so", "--index", "99999999999"}, "--index needs a plugin index"},
        {"setting without value separator", {"a.so", "--setting", "KEY"}, "--setting needs KEY=VALUE"},
        {"setting without key", {"a.so", "--setting", "=v"}, "--setting needs KEY=VALUE"},
        {"custom packet without codec", {"a.so", "--custom-packet", "file"}, "--custom-packet needs CODEC:FILE"},
        {"custom packet without file", {"a.so", "--custom-packet", "codec:"}, "--custom-packet needs CODEC:FILE"},
        {"negative run time", {"a.so", "--run-for", "-1"}, "--run-for needs"},
        {"run time not a number", {"a.so", "--run-for", "nan"}, "--run-for needs"},
        {"time scale zero", {"a.so", "--time-scale", "0"}, "--time-scale needs"},
        {"time scale negative", {"a.so", "--time-scale", "-0.5"}, "--time-scale needs"},
        {"time scale infinite", {"a.so", "--time-scale", "inf"}, "--time-scale needs"},
        {"time scale not a number", {"a.so", "--time-scale", "fast"}, "--time-scale needs"},
        {"timestamp not whole", {"a.so", "--packet-timestamp-us", "1.5"}, "--packet-timestamp-us needs"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HostOptions options;
        const std::string error = HostOptions::parse(row.args, &options);
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
}

} // namespace
} // namespace vorn::vms_server
