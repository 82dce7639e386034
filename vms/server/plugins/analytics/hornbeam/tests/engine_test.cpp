#include <chrono>
#include <string>

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>

#include <gtest/gtest.h>

#include <fake_uniview_camera/fake_uniview_camera.h>
#include <vorn/sdk/helpers/string.h>
#include <vorn/utils/assert.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine.h>
#include <vorn/vms_server_plugins/analytics/uniview/lapi.h>

#include "hornbeam_test_support.h"

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using namespace vorn::sdk;
using hornbeam_test::describeCamera;
using hornbeam_test::logged;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeUniviewCamera;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;

QByteArray manifestText(const Engine& engine)
{
    Result<const IString*> result;
    engine.getManifest(&result);
    EXPECT_TRUE(result.isOk());
    const Ptr<const IString> text = toPtr(result.value);
    return text ? QByteArray(text->text()) : QByteArray("<null>");
}

std::string eventTypeOf(const Engine& engine, const std::string& trigger)
{
    const EventType* type = engine.eventTypeByTrigger(trigger);
    return type ? type->id.toStdString() : std::string("<none>");
}

TEST(UniviewEngine, PublishesTheEmbeddedManifestAndFindsEventTypesByTrigger)
{
    hornbeam_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get());
    EXPECT_EQ(manifestText(*engine), hornbeam_test::embeddedResource(":/uniview/manifest.json"));
    EXPECT_EQ(engine->engineManifest().eventTypes.size(), 22U);

    const struct
    {
        const char* trigger;
        const char* eventType;
    } rows[] = {
        {"MotionAlarmOn", "vorn.uniview.Motion"},
        {"MotionAlarmOff", "vorn.uniview.Motion"},
        {"motionalarmoff", "<none>"}, // Byte for byte.
        {"MotionAlarmOff ", "<none>"},
        {"", "<none>"},
        {"LineDetectorCrossed", "vorn.uniview.LineCrossed"},
        {"CrowdDensityCriticalAlarmCleared", "vorn.uniview.CrowdDensityCritical"},
        {"ObjTrack", "vorn.uniview.ObjTracking"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.trigger);
        EXPECT_EQ(eventTypeOf(*engine, row.trigger), row.eventType);
    }
}

TEST(UniviewEngine, AReadableFileInTheWorkingFolderReplacesTheEmbeddedManifest)
{
    const struct
    {
        const char* name;
        QByteArray text;
        const char* triggerFound; //< "MotionAlarmOn" looked up
    } rows[] = {
        {"a manifest of its own", R"({"eventTypes": [{"id": "x.Motion", "triggers": ["MotionAlarmOn"]}]} )",
         "x.Motion"},
        {"text that is no JSON", "not a manifest", "<none>"},
        {"an empty file", "", "<none>"},
        // An event type with an unreadable trigger list keeps the empty text it was reading into; an empty alarm
        // name must still find nothing.
        {"unreadable triggers", R"({"eventTypes": [{"id": "x.Bad", "triggers": [1]}]})", "<none>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        hornbeam_test::ScopedWorkingFolder folder;
        const QString path = folder.writeManifest(row.text);
        hornbeam_test::PluginWithClock host;
        LogCapture capture(Level::verbose);

        const auto engine = makePtr<Engine>(host.plugin.get());

        EXPECT_EQ(manifestText(*engine), row.text);
        EXPECT_EQ(eventTypeOf(*engine, "MotionAlarmOn"), row.triggerFound);
        EXPECT_EQ(eventTypeOf(*engine, ""), "<none>");
        ASSERT_FALSE(capture.logger().records().empty());
        EXPECT_EQ(capture.logger().records().front().level, Level::info);
        EXPECT_TRUE(logged(capture, "Switch to external manifest file " + path));
    }
}

TEST(UniviewEngine, ReadsTheServerClockThroughThePluginsHostServices)
{
    hornbeam_test::PluginWithClock host(hornbeam_test::kUniviewIndex, 1'700'000'000'123);
    const auto engine = makePtr<Engine>(host.plugin.get());
    EXPECT_EQ(engine->serverTimeMs(), 1'700'000'000'123);

    // Without host services the local clock stands in, after an assertion report.
    host.plugin->attachHostServices(nullptr);
    vorn::utils::AssertionCapture assertions(/*result*/ true);
    const int64_t before = QDateTime::currentMSecsSinceEpoch();
    const int64_t now = engine->serverTimeMs();
    EXPECT_EQ(assertions.reports().size(), 1);
    EXPECT_GE(now, before);
    EXPECT_LE(now, QDateTime::currentMSecsSinceEpoch());
}

TEST(UniviewEngine, AcceptsAUniviewCameraByItsVendorAlone)
{
    FakeUniviewCamera camera;
    hornbeam_test::PluginWithClock host(hornbeam_test::kUniviewIndex);
    const auto engine = makePtr<Engine>(host.plugin.get());
    EXPECT_TRUE(engine->supportsDevice(describeCamera("UNV", camera.url()).get()));
    EXPECT_TRUE(engine->supportsDevice(describeCamera("Uniview", "").get()));
    EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", camera.url()).get()));
    EXPECT_TRUE(camera.requests().empty());
}

TEST(UniviewEngine, AProbingBrandingAcceptsACameraWhoseClockReplyIsALapiReply)
{
    using Reply = FakeHttpServer::Reply;
    const struct
    {
        const char* name;
        std::optional<Reply> reply; //< none: the camera's own clock reply
        bool expected;
    } rows[] = {
        {"the camera's clock", std::nullopt, true},
        {"an envelope without payload", Reply::ok(R"({"Response": {}})"), true},
        {"a device error is still a LAPI camera", Reply::ok(R"({"Response": {"ResponseCode": 3}})"), true},
        {"any status but with an envelope", Reply::withStatus(500, R"({"Response": {}})"), true},
        {"Response is a text", Reply::ok(R"({"Response": "OK"})"), false},
        {"Response is a number", Reply::ok(R"({"Response": 0})"), false},
        {"Response is an array", Reply::ok(R"({"Response": [{}]})"), false},
        {"no Response", Reply::ok(R"({"Data": {}})"), false},
        {"top level is an array", Reply::ok(R"([{"Response": {}}])"), false},
        {"not JSON", Reply::ok("<html>Not Found</html>"), false},
        {"empty body", Reply::ok(""), false},
        {"cut body", Reply::cutBody(R"({"Response": {)", 100), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUniviewCamera camera;
        if (row.reply)
            camera.setLapiReply("GET", "System/Time", *row.reply);
        hornbeam_test::PluginWithClock host(hornbeam_test::kHykonIndex);
        const auto engine = makePtr<Engine>(host.plugin.get());
        LogCapture capture(Level::verbose);

        EXPECT_EQ(engine->supportsDevice(describeCamera("HYKON", camera.url()).get()), row.expected);

        ASSERT_EQ(camera.requests().size(), 1U);
        const auto request = camera.requests().front();
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.target, "/LAPI/V1.0/System/Time");
        EXPECT_FALSE(request.header("Authorization"));
        EXPECT_TRUE(capture.logger().records().empty());
    }
}

TEST(UniviewEngine, TheProbeGoesOverPlainHttpToTheCamerasPort)
{
    FakeUniviewCamera camera;
    hornbeam_test::PluginWithClock host(hornbeam_test::kVideosecIndex);
    const auto engine = makePtr<Engine>(host.plugin.get());
    const std::string httpsUrl = "https://127.0.0.1:" + std::to_string(camera.httpPort()) + "/web/index.html?x=1";
    EXPECT_TRUE(engine->supportsDevice(describeCamera("Videosec", httpsUrl).get()));
    ASSERT_EQ(camera.requests().size(), 1U);
    EXPECT_EQ(camera.requests().front().target, "/LAPI/V1.0/System/Time");
}

TEST(UniviewEngine, AProbeThatGetsNoReplyRefuses)
{
    hornbeam_test::PluginWithClock host(hornbeam_test::kHykonIndex);
    const auto engine = makePtr<Engine>(host.plugin.get());
    {
        FakeUniviewCamera camera;
        camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
        EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", camera.url()).get()));
    }
    {
        FakeUniviewCamera camera;
        camera.refuseConnections();
        EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", camera.url()).get()));
    }
    EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", "").get()));
    EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", "not a url").get()));
}

// A camera that takes the connection and never answers costs one time-out, not a server thread for ever.
TEST(UniviewEngine, AStalledCameraCostsTheProbeOneTimeOut)
{
    FakeUniviewCamera camera;
    camera.setLapiReply("GET", "System/Time", FakeHttpServer::Reply::silent());
    hornbeam_test::PluginWithClock host(hornbeam_test::kHykonIndex);
    const auto engine = makePtr<Engine>(host.plugin.get());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine->supportsDevice(describeCamera("HYKON", camera.url()).get()));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, kLapiRequestTimeout - std::chrono::milliseconds(100));
    EXPECT_LT(took, kLapiRequestTimeout * 3);
}

TEST(UniviewEngine, NullTextsOfTheServerCountAsEmpty)
{
    const auto nullTexts = makePtr<hornbeam_test::NullTextDescription>();
    for (const int index : {hornbeam_test::kUniviewIndex, hornbeam_test::kHykonIndex}) {
        SCOPED_TRACE(index);
        hornbeam_test::PluginWithClock host(index);
        const auto engine = makePtr<Engine>(host.plugin.get());
        EXPECT_FALSE(engine->supportsDevice(nullTexts.get()));
    }

    // A branding whose patterns take the empty vendor gets as far as the probe, which has no camera to ask.
    const auto anyVendor = makePtr<Plugin>(true, std::set<std::string>{"*"}, "{}");
    const auto engine = makePtr<Engine>(anyVendor.get());
    EXPECT_FALSE(engine->supportsDevice(nullTexts.get()));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
