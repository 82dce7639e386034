// The vms_plugin_host tool run as a process against the test plugin library: the JSON lines it prints,
// their order and values, and its exit status.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include <vorn/testing/scratch_folder.h>

#include "child_process.h"

namespace vorn::vms_server {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

// Generous: the tool runs under the sanitizers on a shared machine. Only a hang would reach it.
constexpr auto kRunDeadline = 60s;

struct HostRun
{
    int exitCode = -1;
    std::vector<boost::json::value> lines;
    std::string stderrText;

    std::vector<std::string> kinds() const
    {
        std::vector<std::string> result;
        for (const auto& line : lines)
            result.emplace_back(line.at("kind").as_string());
        return result;
    }

    const boost::json::value& first(const char* kind) const
    {
        for (const auto& line : lines) {
            if (line.at("kind") == kind)
                return line;
        }
        throw std::runtime_error(std::string("no line of kind ") + kind);
    }

    std::vector<boost::json::value> all(const char* kind) const
    {
        std::vector<boost::json::value> result;
        for (const auto& line : lines) {
            if (line.at("kind") == kind)
                result.push_back(line);
        }
        return result;
    }
};

std::vector<boost::json::value> parseLines(const std::vector<std::string>& texts)
{
    std::vector<boost::json::value> lines;
    for (const auto& text : texts) {
        boost::system::error_code error;
        lines.push_back(boost::json::parse(text, error));
        EXPECT_FALSE(error) << "not a JSON line: " << text;
    }
    return lines;
}

HostRun runHost(std::vector<std::string> args, std::map<std::string, std::string> environment = {})
{
    args.insert(args.begin(), VMS_PLUGIN_HOST_PATH);
    ChildProcess tool(std::move(args), std::move(environment));
    HostRun run;
    EXPECT_TRUE(tool.finish(ChildProcess::Clock::now() + kRunDeadline)) << "the tool did not finish";
    run.exitCode = tool.exitCode();
    run.lines = parseLines(tool.stdoutLines());
    run.stderrText = tool.stderrText();
    return run;
}

// Input files of the tool live in this test program's own folder, removed when the program ends.
std::string writeFile(const std::string& name, const std::string& bytes)
{
    static const vorn::testing::ScratchFolder scratch;
    const std::string path = scratch.filePath("vms_plugin_host_test_" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

const std::string kPlugin = VMS_HOST_TEST_PLUGIN_PATH;

TEST(VmsPluginHost, KindsOrderAndExitStatus)
{
    const std::vector<std::string> deviceSteps = {"pluginManifest", "engineManifest", "supportsDevice"};
    const auto then = [&](std::vector<std::string> rest) {
        auto kinds = deviceSteps;
        kinds.insert(kinds.end(), rest.begin(), rest.end());
        return kinds;
    };
    struct Row
    {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> kinds;
        int exitCode;
        std::map<std::string, std::string> environment = {};
        const char* stderrPart = nullptr;
    };
    const char* const usage = "Usage: vms_plugin_host LIBRARY";
    const Row rows[] = {
        {"list of two plugins, the second without engine",
         {kPlugin, "--list"},
         {"pluginManifest", "engineManifest", "pluginManifest", "error", "leakCheck"},
         1},
        {"list of a createVornPlugin-only library",
         {VMS_HOST_SINGLE_TEST_PLUGIN_PATH, "--list"},
         {"pluginManifest", "engineManifest", "leakCheck"},
         0},
        {"device run with every type",
         {kPlugin, "--vendor", "Any", "--events", "all", "--objects", "all", "--run-for", "0"},
         then({"deviceAgentManifest", "eventPacket", "objectPacket", "bestShot", "leakCheck"}),
         0},
        {"device run without a selection", {kPlugin, "--run-for", "0"}, then({"deviceAgentManifest", "leakCheck"}), 0},
        {"unknown type selected",
         {kPlugin, "--events", "vorn.hostTest.Nothing", "--run-for", "0"},
         then({"deviceAgentManifest", "diagnostic", "leakCheck"}),
         0},
        {"device not supported",
         {kPlugin, "--vendor", "Unsupported", "--events", "all", "--run-for", "0"},
         then({"leakCheck"}),
         0},
        {"engine failure", {kPlugin, "--index", "1", "--run-for", "0"}, {"pluginManifest", "error", "leakCheck"}, 1},
        {"no plugin at the index", {kPlugin, "--index", "2", "--run-for", "0"}, {"error", "leakCheck"}, 1},
        {"device agent manifest not JSON",
         {kPlugin, "--setting", "brokenManifest=true", "--run-for", "0"},
         then({"error", "leakCheck"}),
         1},
        // The leaked object stays leaked in the tool's process: the sanitizer's leak report is not wanted here.
        {"leaked object",
         {kPlugin, "--setting", "leak=true", "--run-for", "0"},
         then({"deviceAgentManifest", "leakCheck"}),
         3,
         {{"ASAN_OPTIONS", "detect_leaks=0"}}},
        {"missing library", {"/nonexistent/libplugin.so", "--list"}, {"error"}, 1},
        {"library without entry points", {VMS_HOST_NOT_A_PLUGIN_PATH, "--list"}, {"error"}, 1},
        {"no arguments", {}, {}, 2, {}, usage},
        {"unknown option", {kPlugin, "--bogus"}, {}, 2, {}, usage},
        {"missing packet file",
         {kPlugin, "--custom-packet", "c:/nonexistent/packet"},
         {},
         2,
         {},
         "Cannot read packet file /nonexistent/packet"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const HostRun run = runHost(row.args, row.environment);
        EXPECT_EQ(run.kinds(), row.kinds) << run.stderrText;
        EXPECT_EQ(run.exitCode, row.exitCode) << run.stderrText;
        if (row.stderrPart) {
            EXPECT_NE(run.stderrText.find(row.stderrPart), std::string::npos) << run.stderrText;
        }
        if (!row.kinds.empty() && row.kinds.back() == "leakCheck" && run.kinds() == row.kinds) {
            EXPECT_EQ(run.lines.back().at("live"), row.exitCode == 3 ? 1 : 0);
        }
    }
}

TEST(VmsPluginHost, ListShowsManifestsAndTheEngineFailure)
{
    const HostRun run = runHost({kPlugin, "--list"});
    ASSERT_EQ(run.lines.size(), 5u) << run.stderrText;
    EXPECT_EQ(run.lines[0].at("index"), 0);
    EXPECT_EQ(run.lines[0].at("manifest").at("id"), "vorn.hostTest.0");
    EXPECT_EQ(run.lines[1].at("index"), 0);
    EXPECT_EQ(run.lines[1].at("manifest").at("streamTypeFilter"), "metadata");
    EXPECT_EQ(run.lines[2].at("manifest").at("id"), "vorn.hostTest.1");
    const auto& error = run.lines[3];
    EXPECT_EQ(error.at("operation"), "obtainEngine");
    EXPECT_EQ(error.at("code"), -100);
    EXPECT_EQ(error.at("message"), "This plugin has no engine");
    EXPECT_EQ(error.at("index"), 1);
}

TEST(VmsPluginHost, DeviceRunPrintsWhatThePluginSent)
{
    const HostRun run = runHost({kPlugin, "--vendor", "Any", "--events", "all", "--objects", "all", "--run-for", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;

    EXPECT_EQ(run.first("supportsDevice").at("result"), true);
    // The plugin's manifest is nested as it was written, keys in the plugin's order.
    const auto& manifest = run.first("deviceAgentManifest").at("manifest").as_object();
    std::vector<std::string> keys;
    for (const auto& member : manifest)
        keys.emplace_back(member.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"eventTypes", "supportedTypes", "typeLibrary"}));

    // "all" selected every event type and every object type of that manifest.
    const auto& events = run.first("eventPacket");
    EXPECT_GT(events.at("timestampUs").as_int64(), 0) << "stamped with the server clock";
    EXPECT_EQ(events.at("flags"), 0);
    EXPECT_EQ(events.at("durationUs"), 0);
    const auto& eventItems = events.at("items").as_array();
    ASSERT_EQ(eventItems.size(), 2u);
    EXPECT_EQ(eventItems[0].at("typeId"), "vorn.hostTest.Motion");
    EXPECT_EQ(eventItems[1].at("typeId"), "vorn.hostTest.LineCrossing");
    EXPECT_EQ(eventItems[0].at("caption"), "Test event");
    EXPECT_EQ(eventItems[0].at("isActive"), true);
    EXPECT_EQ(eventItems[0].at("key"), "test-key");
    EXPECT_EQ(eventItems[0].at("trackId").as_string().size(), 36u);
    EXPECT_EQ(eventItems[0].at("attributes").at(0).at("name"), "Source");
    EXPECT_FALSE(eventItems[0].as_object().contains("boundingBox"));

    const auto& objects = run.first("objectPacket");
    EXPECT_EQ(objects.at("durationUs"), 40000);
    const auto& objectItems = objects.at("items").as_array();
    ASSERT_EQ(objectItems.size(), 2u);
    EXPECT_EQ(objectItems[0].at("typeId"), "vorn.hostTest.Person");
    EXPECT_EQ(objectItems[1].at("typeId"), "vorn.hostTest.Car");
    EXPECT_EQ(objectItems[0].at("confidence"), 0.75);
    const auto& box = objectItems[0].at("boundingBox");
    EXPECT_EQ(box.at("x"), 0.25);
    EXPECT_EQ(box.at("y"), 0.125);
    EXPECT_EQ(box.at("width"), 0.5);
    EXPECT_EQ(box.at("height"), 0.75);
    EXPECT_EQ(objectItems[0].at("attributes").at(0),
              boost::json::parse(R"({"type":1,"name":"Speed","value":"12.5","confidence":0.5})"));
    EXPECT_FALSE(objectItems[0].as_object().contains("caption"));

    const auto& bestShot = run.first("bestShot");
    EXPECT_EQ(bestShot.at("trackId"), objectItems[0].at("trackId"));
    EXPECT_EQ(bestShot.at("timestampUs"), objects.at("timestampUs"));
    EXPECT_EQ(bestShot.at("imageUrl"), "");
    EXPECT_EQ(bestShot.at("flags"), 0);
    EXPECT_EQ(bestShot.at("imageFormat"), "image/jpeg");
    EXPECT_EQ(bestShot.at("imageSize"), 4);
    EXPECT_EQ(bestShot.at("boundingBox"), box);
}

TEST(VmsPluginHost, DiagnosticEventLine)
{
    const HostRun run = runHost({kPlugin, "--events", "vorn.hostTest.Nothing", "--run-for", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.first("diagnostic"),
              boost::json::parse(
                  R"({"kind":"diagnostic","level":1,"caption":"Unknown type","description":"vorn.hostTest.Nothing"})"));
}

TEST(VmsPluginHost, PacketsAreHandedOverInOrderWithTheirTimestamp)
{
    const std::string metadata = writeFile("metadata.bin", "12345");
    const std::string video = writeFile("frame.h264", std::string("\0\0\1", 3));
    const HostRun run =
        runHost({kPlugin, "--events", "vorn.hostTest.Motion", "--custom-packet", "Zodivadad:" + metadata,
                 "--video-packet", video, "--custom-packet", "Other:" + metadata, "--packet-timestamp-us", "1234567"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    const auto packets = run.all("eventPacket");
    ASSERT_EQ(packets.size(), 4u) << "one for the selection, one per packet";
    EXPECT_EQ(packets[0].at("items").at(0).at("description"), "selected");
    const char* expected[] = {"codec=Zodivadad bytes=5", "codec=h264 bytes=3", "codec=Other bytes=5"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& packet = packets[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(packet.at("timestampUs"), 1234567);
        EXPECT_EQ(packet.at("flags"), 1);
        EXPECT_EQ(packet.at("items").at(0).at("description"), expected[i]);
    }
    EXPECT_EQ(run.lines.back().at("kind"), "leakCheck");
}

// --log-level reaches the plugin library's own logging, which starts at the level the host passes on.
TEST(VmsPluginHost, LogLevelReachesThePlugin)
{
    const char* const pluginLine = "Creating a device agent for vendor LevelTest";
    struct Row
    {
        const char* name;
        std::vector<std::string> levelArgs;
        bool pluginLineExpected;
    };
    const Row rows[] = {
        {"default level", {}, false},
        {"detailed level", {"--log-level", "5"}, true},
        {"beyond the most detailed level", {"--log-level", "9"}, true},
        {"quiet level", {"--log-level", "1"}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {kPlugin, "--vendor", "LevelTest", "--run-for", "0"};
        args.insert(args.end(), row.levelArgs.begin(), row.levelArgs.end());
        // An empty variable, so that a level set in the test's own environment does not leak in.
        const HostRun run = runHost(args, {{"VORN_LOG_LEVEL", ""}});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText.find(pluginLine) != std::string::npos, row.pluginLineExpected) << run.stderrText;
    }
}

TEST(VmsPluginHost, RunsUntilInterruptedOrTerminatedWithoutPackets)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        ChildProcess tool({VMS_PLUGIN_HOST_PATH, kPlugin, "--events", "all", "--objects", "all"});
        const auto deadline = ChildProcess::Clock::now() + kRunDeadline;
        ASSERT_TRUE(tool.readUntil(
            [](const std::string& line) { return line.find(R"("kind":"bestShot")") != std::string::npos; }, deadline))
            << tool.stderrText();
        const std::size_t linesBeforeSignal = tool.stdoutLines().size();
        tool.sendSignal(signal);
        ASSERT_TRUE(tool.finish(deadline)) << tool.stderrText();
        EXPECT_EQ(tool.exitCode(), 0) << tool.stderrText();
        ASSERT_EQ(tool.stdoutLines().size(), linesBeforeSignal + 1);
        EXPECT_EQ(tool.stdoutLines().back(), R"({"kind":"leakCheck","live":0})");
    }
}

} // namespace
} // namespace vorn::vms_server
