// The licence-plate channel inside a device agent, over 127.0.0.1 against the fake camera: the settings
// check, the login, the reconnections and the plates, vehicles and best shots that reach the receiver.

#include <atomic>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/utils/scaled_clock.h>

#include <fake_zodivadad_camera/lpr_push_server.h>
#include <fake_zodivadad_camera/lpr_settings_writes.h>
#include <vorn/sdk/helpers/uuid.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/device_agent.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;
using larkspur_test::kDeadline;
using larkspur_test::logged;
using larkspur_test::loggedCount;
using larkspur_test::waitUntil;
using ::testing::ElementsAre;
using ::testing::Pair;
using vorn::testing::FakeHttpServer;
using vorn::testing::zodivadad::encodeLprMetadataPacket;
using vorn::testing::zodivadad::encodeLprPacket;
using vorn::testing::zodivadad::kLprLoginReply;
using vorn::testing::zodivadad::kLprMetadata;
using vorn::testing::zodivadad::LprPlate;
using vorn::testing::zodivadad::LprPushServer;
using vorn::testing::zodivadad::lprSettingsWrites;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::MetadataReceiver;
using vorn::vms_server::ReceivedBestShot;
using vorn::vms_server::ReceivedObjectPacket;
using Strings = std::vector<std::string>;

const vorn::testing::FakeZodivadadCamera::Settings kAllOn = [] {
    vorn::testing::FakeZodivadadCamera::Settings settings;
    for (const auto& [key, value] : requiredLprSettings())
        settings[key.toStdString()] = value.toStdString();
    return settings;
}();

LprPlate plate(std::string number, int64_t timestampMs, std::vector<std::string> images = {})
{
    LprPlate result;
    result.plateNumber = std::move(number);
    result.timestampMs = timestampMs;
    result.images = std::move(images);
    return result;
}

// One line per record the receiver got:
//   "objects <timestamp> flags=<flags> duration=<duration> | <type> <Number attribute> | <type> ..."
//   "bestShot <timestamp> flags=<flags> <format> <image bytes> of <plate|vehicle>"
// A best shot names the object of the latest object packet whose track it carries.
Strings summaries(const MetadataReceiver& receiver)
{
    Strings lines;
    std::vector<std::pair<Uuid, std::string>> tracks;
    for (const auto& record : receiver.records()) {
        if (const auto* packet = std::get_if<ReceivedObjectPacket>(&record)) {
            std::string line = "objects " + std::to_string(packet->timestampUs) +
                               " flags=" + std::to_string(packet->flags.value_or(-1)) +
                               " duration=" + std::to_string(packet->durationUs);
            tracks.clear();
            for (std::size_t i = 0; i < packet->items.size(); ++i) {
                const auto& item = packet->items[i];
                line += " | " + item.typeId + " " + (item.attributes.empty() ? "" : item.attributes[0].value);
                tracks.emplace_back(item.trackId, i == 0 ? "plate" : "vehicle");
            }
            lines.push_back(line);
        } else if (const auto* bestShot = std::get_if<ReceivedBestShot>(&record)) {
            std::string owner = "unknown track";
            for (const auto& [trackId, name] : tracks) {
                if (trackId == bestShot->trackId)
                    owner = name;
            }
            lines.push_back("bestShot " + std::to_string(bestShot->timestampUs) + " flags=" +
                            std::to_string(bestShot->flags.value_or(-1)) + " " + bestShot->imageFormat.value_or("") +
                            " " + std::to_string(bestShot->imageData.size()) + " of " + owner);
        } else {
            lines.push_back("other record");
        }
    }
    return lines;
}

// A device agent of a licence-plate camera whose licence-plate channel goes to the fake camera's push
// port.
class LprChannel : public larkspur_test::ChannelUnderTest<LprPushServer>
{
public:
    LprChannel()
    {
        camera.setLprSupport(true);
        camera.setLprSettings(kAllOn);
        push.setCredentials("admin", "s3cret");
    }

    /** Makes the agent (which checks the camera's settings) and starts the channel for the object types. */
    void start(const Strings& objectTypes = {"vorn.zodivadad.LicensePlate"})
    {
        create();
        setPort("LPR.Port");
        selectTypes(std::nullopt, objectTypes);
    }
};

TEST(LprMonitor, LogsInAndPublishesPlatesVehiclesAndBestShots)
{
    LprChannel test;
    test.start();
    ASSERT_TRUE(test.push.waitForLogins(1, kDeadline));
    EXPECT_EQ(test.push.logins()[0].json, R"({"id":"admin","password":"s3cret"})");
    EXPECT_EQ(test.channel().portSettingName(), "LPR.Port");
    EXPECT_EQ(LprMonitor::name(), "LPR");

    // Two packets in one write: the first with two records, one of them with three images.
    const std::string first = encodeLprMetadataPacket(
        {plate("AB123CD", 1'700'000'000'100, {std::string(500, 'a'), std::string(800, 'b'), std::string(600, 'c')}),
         plate("XY99", 1'700'000'000'200)});
    const std::string second = encodeLprMetadataPacket({plate("KL7", 1'700'000'000'300, {"jpeg"})});
    ASSERT_EQ(test.push.pushBytes(first + second), 1U);

    ASSERT_TRUE(test.waitForRecords(6));
    EXPECT_THAT(summaries(*test.receiver),
                ElementsAre("objects 1700000000100000 flags=1 duration=500000 | vorn.zodivadad.LicensePlate AB123CD"
                            " | vorn.zodivadad.Car AB123CD",
                            "bestShot 1700000000100000 flags=1 image/jpeg 500 of plate",
                            "bestShot 1700000000100000 flags=1 image/jpeg 600 of vehicle",
                            "objects 1700000000200000 flags=1 duration=500000 | vorn.zodivadad.LicensePlate XY99"
                            " | vorn.zodivadad.Car XY99",
                            "objects 1700000000300000 flags=1 duration=500000 | vorn.zodivadad.LicensePlate KL7"
                            " | vorn.zodivadad.Car KL7",
                            "bestShot 1700000000300000 flags=1 image/jpeg 4 of plate"));
    EXPECT_TRUE(lprSettingsWrites(test.camera).empty());
}

TEST(LprMonitor, SwitchesOnTheCamerasLicencePlateSettingsOnce)
{
    using Settings = vorn::testing::FakeZodivadadCamera::Settings;
    struct Row
    {
        const char* name;
        std::function<void(vorn::testing::FakeZodivadadCamera&)> prepare;
        bool written;
        const char* line; //< A level-5 line of the check, if any.
    };
    const Row rows[] = {
        {"all on", [](auto& camera) { camera.setLprSettings(kAllOn); }, false, nullptr},
        {"one off and another key",
         [](auto& camera) {
             Settings settings = kAllOn;
             settings["lpr_region_enable"] = "0";
             settings["lpr_other"] = "7";
             camera.setLprSettings(settings);
         },
         true, "LPR values set result true"},
        {"one missing",
         [](auto& camera) {
             Settings settings = kAllOn;
             settings.erase("lpr_enable");
             camera.setLprSettings(settings);
         },
         true, "LPR values set result true"},
        {"write refused",
         [](auto& camera) {
             camera.setLprSettings({{"lpr_enable", "0"}});
             camera.http().route(
                 "GET", vorn::testing::FakeZodivadadCamera::kOperatorCgiPath,
                 [&camera](const FakeHttpServer::RecordedRequest& request) {
                     return request.query.find("get.lpr.settings") != std::string::npos
                                ? FakeHttpServer::Reply::ok(
                                      vorn::testing::FakeZodivadadCamera::settingsReply(camera.lprSettings()))
                                : FakeHttpServer::Reply::withStatus(403, "forbidden");
                 });
         },
         true, "LPR values set result false"},
        {"unreadable settings",
         [](auto& camera) {
             camera.http().route("GET", vorn::testing::FakeZodivadadCamera::kOperatorCgiPath,
                                 FakeHttpServer::Reply::withStatus(500, "<html>error</html>", "text/html"));
         },
         false, "Cannot get LPR settings from camera"},
    };
    const std::vector<std::pair<std::string, std::string>> allNine{
        {"lpr_direction_enable", "1"},  {"lpr_enable", "1"},
        {"lpr_platecolor_enable", "1"}, {"lpr_post_enable", "1"},
        {"lpr_post_type", "1"},         {"lpr_region_enable", "1"},
        {"lpr_roiid_enable", "1"},      {"lpr_vehiclecolor_enable", "1"},
        {"lpr_vehicletype_enable", "1"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::debug);
        LprChannel test;
        row.prepare(test.camera);
        test.start();
        // The channel connects and logs in whatever the settings said.
        ASSERT_TRUE(test.push.waitForLogins(1, kDeadline));

        const auto writes = lprSettingsWrites(test.camera);
        if (row.written) {
            ASSERT_EQ(writes.size(), 1U);
            EXPECT_EQ(writes[0].items, allNine);
            EXPECT_TRUE(writes[0].actionFirst);
        } else {
            EXPECT_TRUE(writes.empty());
        }
        if (row.line) {
            EXPECT_TRUE(logged(capture, row.line));
        }
        EXPECT_EQ(loggedCount(capture, "LPR values set result"), row.written ? 1 : 0);
    }
}

TEST(LprMonitor, IsNeededForObjectTypesOnly)
{
    LprChannel test;
    test.create();
    TcpDataMonitor& channel = test.channel();
    EXPECT_FALSE(channel.setNeededTypes({"vorn.zodivadad.Motion"}, {}));
    EXPECT_TRUE(channel.setNeededTypes({}, {"vorn.zodivadad.Vehicle"}));

    test.setPort("LPR.Port");
    test.selectTypes(Strings{"vorn.zodivadad.Motion"}, std::nullopt);
    EXPECT_FALSE(channel.isStarted());
    test.selectTypes(std::nullopt, Strings{"vorn.zodivadad.Bus"});
    EXPECT_TRUE(channel.isStarted());
    EXPECT_TRUE(test.push.waitForLogins(1, kDeadline));
}

TEST(LprMonitor, RefusedLoginIsTriedAgainAfterTheDelay)
{
    LogCapture capture(Level::debug);
    LprChannel test;
    test.push.setCredentials("admin", "another");
    test.start();
    ASSERT_TRUE(test.push.waitForLogins(3, kDeadline));
    EXPECT_TRUE(waitUntil(
        [&] { return loggedCount(capture, "Login reply parse failed. Next connection attempt in 5 seconds") >= 3; }));
    EXPECT_GE(loggedCount(capture, "HTTP code 401 (401 Unauthorized)"), 3);
    // Every connection logs in. The channel keeps reconnecting, so a connection may have been accepted
    // and its login not read yet: the counts are compared when they stand still, during a delay.
    EXPECT_TRUE(waitUntil([&] { return test.push.connectionCount() == test.push.logins().size(); }));
}

TEST(LprMonitor, ReconnectsFromEveryStepAndDeliversAgain)
{
    const std::string reply = LprPushServer::loginReplyPacket(200);
    const std::string metadata = encodeLprMetadataPacket({plate("AB1", 1'700'000'000'000)});
    const char* const loggedIn = "Waiting for LPR messages";
    struct Row
    {
        const char* name;
        std::string answer;              //< What the camera sends for the first login.
        const char* misbehaveWhenLogged; //< The channel's line after which the camera misbehaves; null: never.
        std::function<void(LprPushServer&)> misbehave;
        const char* reason;
        bool timedOut;                  //< The camera fell silent and the channel gave up waiting.
        std::vector<const char*> lines; //< Lines of the failure.
        int loginResponses;             //< "Login response:" lines: one per packet read as a login reply.
    };
    const auto close = [](LprPushServer& camera) { camera.closeConnections(); };
    const Row rows[] = {
        {"camera closes before the login reply",
         "",
         "Wait for registration reply.",
         close,
         "Failed to register",
         false,
         {},
         1},
        {"camera silent after the login", "", nullptr, {}, "Failed to register", true, {}, 1},
        {"half a login reply header, then silence", reply.substr(0, 5), nullptr, {}, "Failed to register", true, {}, 1},
        {"half a login reply, then silence", reply.substr(0, 12), nullptr, {}, "Failed to register", true, {}, 1},
        {"garbage for the login reply",
         std::string(16, 'g'),
         nullptr,
         {},
         "Login reply parse failed",
         false,
         {"Invalid login reply header"},
         1},
        {"metadata instead of the login reply",
         metadata,
         nullptr,
         {},
         "Login reply parse failed",
         false,
         {"Invalid login reply header"},
         1},
        {"login refused",
         LprPushServer::loginReplyPacket(401),
         nullptr,
         {},
         "Login reply parse failed",
         false,
         {"HTTP code 401"},
         2},
        {"login reply in the metadata phase",
         reply + reply,
         nullptr,
         {},
         "Push data parse failed",
         false,
         {"Invalid login reply header"},
         2},
        {"bad end marker in the metadata phase",
         reply + metadata.substr(0, metadata.size() - 1) + "\xFE",
         nullptr,
         {},
         "Push data parse failed",
         false,
         {"Packet End marker not found at desired position"},
         2},
        {"camera closes after the login reply",
         reply,
         loggedIn,
         close,
         "Push connection closed unexpectedly",
         false,
         {},
         2},
        {"camera stops inside a packet header",
         reply + metadata.substr(0, 5),
         nullptr,
         {},
         "Push connection closed unexpectedly",
         true,
         {},
         2},
        {"camera stops inside a packet",
         reply + metadata.substr(0, 20),
         nullptr,
         {},
         "Push connection closed unexpectedly",
         true,
         {},
         2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        LprChannel test;
        // Every later login is accepted, and the camera pushes a plate right behind the reply.
        std::atomic<int> logins{0};
        test.push.setLoginHandler([&](const LprPushServer::Login&) {
            return ++logins == 1
                       ? LprPushServer::LoginAnswer{row.answer, true}
                       : LprPushServer::LoginAnswer{reply + encodeLprMetadataPacket({plate("NEW1", 1)}), true};
        });
        auto failedAt = vorn::utils::ScaledClock::now();
        test.start();
        if (row.misbehave) {
            // The camera has the connection (and the login) before it misbehaves on it.
            ASSERT_TRUE(test.push.waitForLogins(1, kDeadline));
            ASSERT_TRUE(waitUntil([&] { return logged(capture, row.misbehaveWhenLogged); }));
            failedAt = vorn::utils::ScaledClock::now();
            row.misbehave(test.push);
        }

        ASSERT_TRUE(test.waitForRecords(1));
        EXPECT_THAT(summaries(*test.receiver), ElementsAre(::testing::HasSubstr("LicensePlate NEW1")));
        EXPECT_EQ(logins, 2);
        EXPECT_EQ(loggedCount(capture, QString(row.reason) + ". Next connection attempt in 5 seconds"), 1);
        EXPECT_EQ(loggedCount(capture, "Next connection attempt"), 1);
        EXPECT_EQ(loggedCount(capture, "No data from Zodivadad camera for 30 seconds"), row.timedOut ? 1 : 0);
        if (row.timedOut) {
            EXPECT_GE(vorn::utils::ScaledClock::now() - failedAt,
                      TcpDataMonitor::kDataTimeout + TcpDataMonitor::kReconnectDelay);
        }
        for (const char* line : row.lines)
            EXPECT_EQ(loggedCount(capture, line), 1) << line;
        EXPECT_EQ(loggedCount(capture, "Login response:"), row.loginResponses);
    }
}

TEST(LprMonitor, AnIdleConnectionStaysOpen)
{
    LogCapture capture(Level::verbose);
    LprChannel test;
    test.start();
    ASSERT_TRUE(waitUntil([&] { return logged(capture, "Waiting for LPR messages"); }));
    ASSERT_EQ(test.push.pushPlates({plate("FIRST", 1'700'000'000'000)}), 1U);
    ASSERT_TRUE(test.waitForRecords(1));
    // Nothing started: the camera has nothing to report for twice the time-out.
    larkspur_test::letScaledTimePass(2 * TcpDataMonitor::kDataTimeout);

    ASSERT_EQ(test.push.pushPlates({plate("SECOND", 1'700'000'000'001)}), 1U);
    ASSERT_TRUE(test.waitForRecords(2));
    EXPECT_EQ(test.push.connectionCount(), 1U);
    EXPECT_EQ(loggedCount(capture, "Next connection attempt"), 0);
}

TEST(LprMonitor, ReadsRepliesAndPacketsCutAnywhere)
{
    LprChannel test;
    const std::string reply = LprPushServer::loginReplyPacket(200);
    const std::string first = encodeLprMetadataPacket({plate("FIRST", 1'700'000'000'001, {"jpeg1"})});
    const std::string second = encodeLprMetadataPacket({plate("SECOND", 1'700'000'000'002)});
    // The camera answers with half a reply; the rest, the packets and their pieces follow.
    test.push.setLoginHandler([&](const LprPushServer::Login&) {
        return LprPushServer::LoginAnswer{reply.substr(0, 5), true};
    });
    test.start();
    ASSERT_TRUE(test.push.waitForLogins(1, kDeadline));
    const std::string stream = reply.substr(5) + first + second;
    const std::size_t cuts[] = {3, reply.size() - 5 + 4, reply.size() - 5 + first.size() + 20, stream.size()};
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        ASSERT_EQ(test.push.pushBytes(stream.substr(from, cut - from)), 1U);
        from = cut;
    }
    ASSERT_TRUE(test.waitForRecords(3));
    EXPECT_THAT(summaries(*test.receiver), ElementsAre(::testing::HasSubstr("LicensePlate FIRST"),
                                                       "bestShot 1700000000001000 flags=1 image/jpeg 5 of plate",
                                                       ::testing::HasSubstr("LicensePlate SECOND")));
}

TEST(LprMonitor, PacketsBehindTheLoginReplyArePublishedAtOnce)
{
    LprChannel test;
    const std::string answer =
        LprPushServer::loginReplyPacket(200) + encodeLprMetadataPacket({plate("EARLY", 1'700'000'000'000)});
    test.push.setLoginHandler([&](const LprPushServer::Login&) { return LprPushServer::LoginAnswer{answer, true}; });
    test.start();
    // Nothing else comes from the camera: the packet must not wait for another read.
    ASSERT_TRUE(test.waitForRecords(1));
    EXPECT_THAT(summaries(*test.receiver).at(0), ::testing::HasSubstr("LicensePlate EARLY"));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
