#include <vorn/vms/waypoint/api/tasks.h>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint::api {
namespace {

using vorn::utils::SoftwareVersion;

// One row per type: a filled object, its exact bytes, and a check that a read-back copy is equal.
struct Row
{
    const char* name;
    std::function<std::unique_ptr<BaseTask>()> makeTask;     // set for requests
    std::function<std::unique_ptr<Response>()> makeResponse; // set for replies
    QByteArray bytes;
    std::function<bool(const void* original, const void* copy)> equal;
};

template <typename T>
std::function<bool(const void*, const void*)> fieldsEqual(std::function<bool(const T&, const T&)> compare)
{
    return [compare](const void* a, const void* b) {
        return compare(*static_cast<const T*>(a), *static_cast<const T*>(b));
    };
}

TEST(WaypointApi, RoundTripWithExactBytes)
{
    const Row rows[] = {
        {"quit", [] { return std::make_unique<QuitTask>(); }, nullptr, "quit\n",
         [](const void*, const void*) { return true; }},
        {"ping",
         [] {
             auto task = std::make_unique<PingRequest>();
             task->value1 = 7;
             task->value2 = -9223372036854775807LL - 1;
             return task;
         },
         nullptr, R"(pingWaypoint
{"value1":"7","value2":"-9223372036854775808"})",
         fieldsEqual<PingRequest>(
             [](const auto& a, const auto& b) { return a.value1 == b.value1 && a.value2 == b.value2; })},
        {"run",
         [] {
             auto task = std::make_unique<StartApplicationTask>();
             task->version = SoftwareVersion("5.1.4.38659");
             task->arguments = QStringList{"--proto", "5", "ü \"quoted\""};
             return task;
         },
         nullptr, R"(run
{"arguments":["--proto","5","ü \"quoted\""],"version":"5.1.4.38659"})",
         fieldsEqual<StartApplicationTask>(
             [](const auto& a, const auto& b) { return a.version == b.version && a.arguments == b.arguments; })},
        {"installZip",
         [] {
             auto task = std::make_unique<InstallZipTask>();
             task->version = SoftwareVersion(4, 2, 0, 1);
             task->zipFileName = "/tmp/client 4.2.zip";
             return task;
         },
         nullptr, R"(installZip
{"version":"4.2.0.1","zipFileName":"/tmp/client 4.2.zip"})",
         fieldsEqual<InstallZipTask>(
             [](const auto& a, const auto& b) { return a.version == b.version && a.zipFileName == b.zipFileName; })},
        {"startZipInstallation",
         [] {
             auto task = std::make_unique<InstallZipTaskAsync>();
             task->version = SoftwareVersion(5, 0, 0, 0);
             task->zipFileName = "c.zip";
             return task;
         },
         nullptr, R"(startZipInstallation
{"version":"5.0.0.0","zipFileName":"c.zip"})",
         fieldsEqual<InstallZipTaskAsync>(
             [](const auto& a, const auto& b) { return a.version == b.version && a.zipFileName == b.zipFileName; })},
        {"checkZipProgress",
         [] {
             auto task = std::make_unique<InstallZipCheckStatus>();
             task->version = SoftwareVersion(5, 1, 2, 3);
             return task;
         },
         nullptr, R"(checkZipProgress
{"version":"5.1.2.3"})",
         fieldsEqual<InstallZipCheckStatus>([](const auto& a, const auto& b) { return a.version == b.version; })},
        {"isVersionInstalled",
         [] {
             auto task = std::make_unique<IsVersionInstalledRequest>();
             task->version = SoftwareVersion(3, 0, 0, 0);
             return task;
         },
         nullptr, R"(isVersionInstalled
{"version":"3.0.0.0"})",
         fieldsEqual<IsVersionInstalledRequest>([](const auto& a, const auto& b) { return a.version == b.version; })},
        {"getInstalledVersions", [] { return std::make_unique<GetInstalledVersionsRequest>(); }, nullptr,
         "getInstalledVersions\n{}", [](const void*, const void*) { return true; }},
        {"addProcessKillTimer",
         [] {
             auto task = std::make_unique<AddProcessKillTimerRequest>();
             task->pid = 4194304;
             task->timeoutMs = 2147483647;
             return task;
         },
         nullptr, R"(addProcessKillTimer
{"pid":"4194304","timeoutMs":2147483647})",
         fieldsEqual<AddProcessKillTimerRequest>(
             [](const auto& a, const auto& b) { return a.pid == b.pid && a.timeoutMs == b.timeoutMs; })},
        {"response ok", nullptr, [] { return std::make_unique<Response>(); }, "ok\n\n",
         fieldsEqual<Response>([](const auto& a, const auto& b) { return a.result == b.result; })},
        {"response busy", nullptr,
         [] {
             auto response = std::make_unique<AddProcessKillTimerResponse>();
             response->result = ResultType::busy;
             return response;
         },
         "busy\n\n", fieldsEqual<Response>([](const auto& a, const auto& b) { return a.result == b.result; })},
        {"ping response", nullptr,
         [] {
             auto response = std::make_unique<PingResponse>();
             response->value1 = 7;
             response->value2 = 9;
             response->timeMs = 1765380000000;
             return response;
         },
         "ok\n"
         R"({"timeMs":"1765380000000","value1":"7","value2":"9"})"
         "\n",
         fieldsEqual<PingResponse>([](const auto& a, const auto& b) {
             return a.result == b.result && a.value1 == b.value1 && a.value2 == b.value2 && a.timeMs == b.timeMs;
         })},
        {"progress response", nullptr,
         [] {
             auto response = std::make_unique<InstallZipCheckStatusResponse>();
             response->result = ResultType::unpackingZip;
             response->extracted = 1048576;
             response->total = 209715200;
             return response;
         },
         "unpackingZip\n"
         R"({"extracted":"1048576","total":"209715200"})"
         "\n",
         fieldsEqual<InstallZipCheckStatusResponse>([](const auto& a, const auto& b) {
             return a.result == b.result && a.extracted == b.extracted && a.total == b.total;
         })},
        {"installed response", nullptr,
         [] {
             auto response = std::make_unique<IsVersionInstalledResponse>();
             response->installed = true;
             return response;
         },
         "ok\n"
         R"({"installed":true})"
         "\n",
         fieldsEqual<IsVersionInstalledResponse>(
             [](const auto& a, const auto& b) { return a.result == b.result && a.installed == b.installed; })},
        {"versions response", nullptr,
         [] {
             auto response = std::make_unique<GetInstalledVersionsResponse>();
             response->versions = QList<SoftwareVersion>{SoftwareVersion(4, 2), SoftwareVersion("5.1.4.38659")};
             return response;
         },
         "ok\n"
         R"({"versions":["4.2.0.0","5.1.4.38659"]})"
         "\n",
         fieldsEqual<GetInstalledVersionsResponse>(
             [](const auto& a, const auto& b) { return a.result == b.result && a.versions == b.versions; })},
        {"empty versions response", nullptr, [] { return std::make_unique<GetInstalledVersionsResponse>(); },
         "ok\n"
         R"({"versions":[]})"
         "\n",
         fieldsEqual<GetInstalledVersionsResponse>(
             [](const auto& a, const auto& b) { return a.versions == b.versions; })},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.makeTask) {
            const auto original = row.makeTask();
            EXPECT_EQ(original->serialize(), row.bytes);
            auto fresh = row.makeTask();
            ASSERT_TRUE(fresh->deserialize(row.bytes));
            EXPECT_TRUE(row.equal(original.get(), fresh.get()));
        } else {
            const auto original = row.makeResponse();
            EXPECT_EQ(original->serialize(), row.bytes);
            auto fresh = row.makeResponse();
            ASSERT_TRUE(fresh->deserialize(row.bytes));
            EXPECT_TRUE(row.equal(original.get(), fresh.get()));
        }
    }
}

TEST(WaypointApi, DeserializationRefuses)
{
    struct Case
    {
        const char* name;
        std::function<std::unique_ptr<BaseTask>()> make;
        QByteArray bytes;
        bool expected;
    };
    const auto ping = [] { return std::make_unique<PingRequest>(); };
    const auto run = [] { return std::make_unique<StartApplicationTask>(); };
    const auto kill = [] { return std::make_unique<AddProcessKillTimerRequest>(); };
    const auto quit = [] { return std::make_unique<QuitTask>(); };
    const Case cases[] = {
        {"unknown member ignored", ping, R"(pingWaypoint
{"value1":"1","value2":"2","extra":{"a":[1]}})",
         true},
        {"trailing blanks", ping, "pingWaypoint\n{\"value1\":\"1\",\"value2\":\"2\"}\r\n", true},
        {"missing member", ping, R"(pingWaypoint
{"value1":"1"})",
         false},
        {"number instead of text", ping, R"(pingWaypoint
{"value1":1,"value2":"2"})",
         false},
        {"plus sign", ping, R"(pingWaypoint
{"value1":"+1","value2":"2"})",
         false},
        {"past 64 bits", ping, R"(pingWaypoint
{"value1":"9223372036854775808","value2":"2"})",
         false},
        {"other channel line", ping, R"(run
{"value1":"1","value2":"2"})",
         false},
        {"no body", ping, "pingWaypoint\n", false},
        {"no line", ping, R"({"value1":"1","value2":"2"})", false},
        {"not JSON", ping, "pingWaypoint\n{value1}", false},
        {"array body", ping, "pingWaypoint\n[]", false},
        {"two objects", ping, R"(pingWaypoint
{"value1":"1","value2":"2"}{})",
         false},
        {"version not a version", run, R"(run
{"version":"5.x","arguments":[]})",
         false},
        {"argument not a text", run, R"(run
{"version":"5.1","arguments":[1]})",
         false},
        {"timeout fractional", kill, R"(addProcessKillTimer
{"pid":"1","timeoutMs":1.5})",
         false},
        {"timeout negative", kill, R"(addProcessKillTimer
{"pid":"1","timeoutMs":-1})",
         false},
        {"negative pid read", kill, R"(addProcessKillTimer
{"pid":"-1","timeoutMs":0})",
         true},
        {"quit with body", quit, "quit\n{}", false},
        {"quit bare", quit, "quit\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.make()->deserialize(c.bytes), c.expected);
    }

    struct ReplyCase
    {
        const char* name;
        QByteArray bytes;
        bool expected;
    };
    const ReplyCase replies[] = {
        {"bare ok", "ok\n\n", true},
        {"without final line feed", "ok\n", true},
        {"unknown result", "fine\n\n", false},
        {"result in other case", "OK\n\n", false},
        {"body where none belongs", "ok\n{}\n", false},
        {"nothing", "", false},
    };
    for (const ReplyCase& c : replies) {
        SCOPED_TRACE(c.name);
        Response response;
        EXPECT_EQ(response.deserialize(c.bytes), c.expected);
    }
    PingResponse pingResponse;
    EXPECT_FALSE(pingResponse.deserialize("ok\n\n")); // its body is missing
}

} // namespace
} // namespace vorn::vms::waypoint::api
