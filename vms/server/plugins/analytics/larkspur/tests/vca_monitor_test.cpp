// The video-analytics channel inside a device agent, over 127.0.0.1 against the fake camera: the
// registration (plain and digest), the replies it accepts, and the pushes that reach the receiver.

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/vca_push_server.h>
#include <fake_zodivadad_camera/vca_wire.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_monitor.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using larkspur_test::loggedCount;
using larkspur_test::waitUntil;
using vorn::testing::VcaPushServer;
using vorn::utils::ScaledClock;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::ReceivedEventPacket;
using Strings = std::vector<std::string>;
namespace wire = vorn::testing::vca_wire;

constexpr int64_t kServerTimeMs = 1'700'000'000'000;

using larkspur_test::summary;

std::string registerReply(const QJsonObject& reply)
{
    return wire::frame(wire::kRegisterCommand, QJsonDocument(reply).toJson(QJsonDocument::Compact).toStdString());
}

// A device agent of a camera without licence-plate support whose video-analytics channel goes to the
// fake camera's push port.
class VcaChannel : public larkspur_test::ChannelUnderTest<VcaPushServer>
{
public:
    VcaChannel()
        : ChannelUnderTest(kServerTimeMs)
    {}

    void start(const Strings& eventTypes)
    {
        create();
        setPort("VCA.Port");
        selectTypes(eventTypes, std::nullopt);
    }

    Strings packets() const
    {
        Strings lines;
        for (const auto& record : receiver->records()) {
            if (const auto* packet = std::get_if<ReceivedEventPacket>(&record))
                lines.push_back(summary(*packet));
        }
        return lines;
    }
};

const std::string kMotion = wire::frame(wire::kBasicAlarmCommand, R"({"event":1,"alarm":1})");
const std::string kMotionPacket =
    std::to_string(kServerTimeMs * 1000) + " flags=0 | vorn.zodivadad.Motion 'Motion Detection #1' active []";

TEST(VcaMonitor, RegistersForTheSectionsOfTheNeededEventTypes)
{
    LogCapture capture(Level::verbose);
    VcaChannel test;
    test.start({"vorn.zodivadad.Motion", "vorn.zodivadad.LineCrossing", "vorn.zodivadad.AdvancedMotion",
                "vorn.zodivadad.Face", "vorn.zodivadad.Unknown"});
    ASSERT_TRUE(test.push.waitForRegistrations(1));

    EXPECT_EQ(test.push.registrations()[0].text,
              R"({"basicalarm":"1","face":"1","password":"s3cret","streamid":0,"user":"admin","vcaalarm":"1"})");
    EXPECT_EQ(test.channel().portSettingName(), "VCA.Port");
    EXPECT_EQ(VcaMonitor::name(), "VCA");

    // Without a section among the needed types the channel is not needed, and stays stopped.
    auto& channel = dynamic_cast<VcaMonitor&>(test.channel());
    EXPECT_FALSE(channel.setNeededTypes({"vorn.zodivadad.Unknown"}, {"vorn.zodivadad.Person"}));
    EXPECT_FALSE(channel.setNeededTypes({}, {}));
    EXPECT_TRUE(channel.setNeededTypes({"vorn.zodivadad.PeopleCounting"}, {}));
}

TEST(VcaMonitor, AnswersTheCamerasRegistrationReplies)
{
    const QString digestRefused = "Register digest: got unexpected code 401. Next connection attempt in 5 seconds";
    const QString sectionsWarning = "Warning: not all sections are catching";
    const struct
    {
        const char* name;
        std::function<void(VcaPushServer&)> script;
        std::size_t registrations; //< Before the pushes are read.
        bool digest;               //< The last registration carries a digest answer.
        int sectionWarnings;
    } rows[] = {
        {"result 200", [](VcaPushServer&) {}, 1, false, 0},
        {"no result counts as 200",
         [](VcaPushServer& camera) {
             camera.setReplyHandler([](const auto&) { return registerReply({{"basicalarm", 1}}) + kMotion; });
         },
         1, false, 0},
        {"result 500 goes on", [](VcaPushServer& camera) { camera.setRegistrationResult(500); }, 1, false, 0},
        {"a needed section refused", [](VcaPushServer& camera) { camera.setSectionAnswer("basicalarm", 0); }, 1, false,
         1},
        {"a needed section accepted", [](VcaPushServer& camera) { camera.setSectionAnswer("basicalarm", 1); }, 1, false,
         0},
        {"digest", [](VcaPushServer& camera) { camera.requireDigest("admin", "s3cret"); }, 2, true, 0},
        {"digest, then 500",
         [](VcaPushServer& camera) {
             camera.requireDigest("admin", "s3cret");
             camera.setRegistrationResult(500);
         },
         2, true, 0},
        {"digest, then a refused section",
         [](VcaPushServer& camera) {
             camera.requireDigest("admin", "s3cret");
             camera.setSectionAnswer("basicalarm", 2);
         },
         2, true, 1},
        {"401 given as text",
         [](VcaPushServer& camera) {
             camera.setReplyHandler([](const VcaPushServer::Registration& registration) {
                 if (!registration.hasDigest)
                     return registerReply({{"result", "401"}, {"nonce", "n0"}, {"realm", "cam"}, {"qop", "auth"}});
                 return registerReply({{"result", "200"}}) + kMotion;
             });
         },
         2, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        VcaChannel test;
        test.push.setBehindAcceptance(kMotion); // Also proves the bytes behind a reply are read at once.
        row.script(test.push);
        test.start({"vorn.zodivadad.Motion"});

        ASSERT_TRUE(test.waitForRecords(1));
        EXPECT_EQ(test.packets(), Strings{kMotionPacket});
        const auto registrations = test.push.registrations();
        ASSERT_EQ(registrations.size(), row.registrations);
        EXPECT_EQ(loggedCount(capture, sectionsWarning), row.sectionWarnings);
        EXPECT_EQ(loggedCount(capture, "Make digest auth"), row.digest ? 1 : 0);
        EXPECT_EQ(loggedCount(capture, "Waiting for messages without digest auth"), row.digest ? 0 : 1);
        if (row.digest) {
            const QJsonObject request = registrations.back().json;
            const auto text = [&](const char* name) { return request[name].toString().toStdString(); };
            EXPECT_EQ(text("Authorization"), "Digest");
            EXPECT_EQ(text("cmd"), "GET");
            EXPECT_EQ(text("uri"), "ipcsdk");
            EXPECT_EQ(text("user"), "admin");
            EXPECT_EQ(text("basicalarm"), "1");
            EXPECT_EQ(request["streamid"].toInt(-1), 0);
            EXPECT_FALSE(request.contains("password"));
            EXPECT_FALSE(request.contains("username"));
        }
        EXPECT_EQ(loggedCount(capture, digestRefused), 0);
    }
}

TEST(VcaMonitor, StartsOverWhenTheDigestIsRefused)
{
    LogCapture capture(Level::verbose);
    VcaChannel test;
    test.push.requireDigest("admin", "another password");
    test.start({"vorn.zodivadad.Motion"});

    // Plain, digest (refused), and after the delay plain again on a new connection.
    ASSERT_TRUE(test.push.waitForRegistrations(3));
    const auto registrations = test.push.registrations();
    EXPECT_TRUE(registrations[1].hasDigest);
    EXPECT_FALSE(registrations[1].digestValid);
    EXPECT_FALSE(registrations[2].hasDigest);
    EXPECT_EQ(registrations[2].connection, 2u);
    EXPECT_GE(loggedCount(capture, "Register digest: got unexpected code 401. Next connection attempt in 5 seconds"),
              1);
}

TEST(VcaMonitor, HandsEveryPushedEventToTheDeviceAgent)
{
    LogCapture capture(Level::verbose);
    VcaChannel test;
    test.start({"vorn.zodivadad.Motion", "vorn.zodivadad.LineCrossing", "vorn.zodivadad.AdvancedMotion",
                "vorn.zodivadad.RegionalPeopleCounting"});
    ASSERT_TRUE(test.push.waitForRegistrations(1));

    const std::string alarms = wire::frame(
        wire::kVcaAlarmCommand, wire::jsonChunk(R"({"event":4,"alarm":1,"line":2,"direction":1,"object":2})") +
                                    wire::imageChunk("JPEG") +
                                    wire::jsonChunk(R"({"event":2,"alarm":0,"time":"2024-05-01T12:00:00Z"})"));
    const std::string count = wire::frame(wire::kRegionalCountCommand, R"({"event":0,"number":7})");
    const std::string radar = wire::frame(wire::kRadarCommand, R"({"event":0})");
    const std::string registerPush = wire::frame(wire::kRegisterCommand, R"({"result":200})");
    const std::string unknown = wire::frame(300, "not looked at");
    // Split inside a header and inside a payload, and several frames in one write.
    const std::string stream = alarms + count + radar + registerPush + unknown + kMotion;
    ASSERT_TRUE(test.push.pushInPieces(stream, {7, alarms.size() + 20, alarms.size() + count.size()}));

    ASSERT_TRUE(test.waitForRecords(4));
    const std::string serverTime = std::to_string(kServerTimeMs * 1000);
    EXPECT_EQ(
        test.packets(),
        (Strings{
            serverTime + " flags=0 | vorn.zodivadad.LineCrossing 'Line Crossing #2' active [Crossing direction=B->A, "
                         "Object type=Car/Vehicle]",
            "1714564800000000 flags=1 | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection stopped' inactive []",
            serverTime + " flags=0 | vorn.zodivadad.RegionalPeopleCounting 'Regional People Counting' active "
                         "[Number=7]",
            kMotionPacket}));
    EXPECT_EQ(loggedCount(capture, "Not implemented handle of 784"), 1);
    EXPECT_EQ(loggedCount(capture, "Not implemented code 1"), 1);
    EXPECT_EQ(loggedCount(capture, "Undefined command code 300"), 1);
    EXPECT_EQ(loggedCount(capture, "Not implemented code 300"), 1);
    EXPECT_EQ(loggedCount(capture, "Next connection attempt"), 0);
}

TEST(VcaMonitor, ReconnectsFromEveryStepAndDeliversAgain)
{
    using Registration = VcaPushServer::Registration;
    const std::string accepted = registerReply({{"result", 200}});
    const std::string challenge = registerReply({{"result", 401}, {"nonce", "n0"}, {"realm", "cam"}, {"qop", "auth"}});
    const std::string garbage(32, 'g'); // More than a header, without the magic.
    const auto digestThen = [&](std::string answer) {
        return [&challenge, answer](const Registration& registration) {
            return registration.hasDigest ? answer : challenge;
        };
    };
    const auto answer = [](std::string bytes) { return [bytes](const Registration&) { return bytes; }; };
    const char* const registered = "Wait for registration reply.";
    const char* const pushing = "Waiting for messages without digest auth";
    struct Row
    {
        const char* name;
        VcaPushServer::ReplyHandler firstConnection; //< The camera's answers on its first connection.
        const char* failingSend;                     //< The first send with this text fails; null: none.
        const char* misbehaveWhenLogged;             //< The channel's line after which misbehave() runs,
        std::size_t misbehaveAfterRegistrations;     //< once the camera has this many registrations.
        std::function<void(VcaPushServer&)> misbehave;
        const char* reason;
        bool timedOut; //< The camera fell silent and the channel gave up waiting.
    };
    const auto close = [](VcaPushServer& camera) { camera.closeConnections(); };
    const auto send = [](std::string bytes) { return [bytes](VcaPushServer& camera) { camera.push(bytes); }; };
    const Row rows[] = {
        {"registration cannot be sent", answer(accepted), "\"password\"", nullptr, 0, {}, "Failed to register", false},
        {"camera closes before the register reply", answer(""), nullptr, registered, 1, close, "Failed to register",
         false},
        {"camera silent after the registration", answer(""), nullptr, nullptr, 0, {}, "Failed to register", true},
        {"half a register reply, then silence",
         answer(accepted.substr(0, 10)),
         nullptr,
         nullptr,
         0,
         {},
         "Failed to register",
         true},
        {"half a register reply body, then silence",
         answer(accepted.substr(0, 20)),
         nullptr,
         nullptr,
         0,
         {},
         "Failed to register",
         true},
        {"garbage for the register reply",
         answer(garbage),
         nullptr,
         nullptr,
         0,
         {},
         "Failed to parse register reply",
         false},
        {"digest registration cannot be sent",
         digestThen(accepted),
         "Authorization",
         nullptr,
         0,
         {},
         "Failed to register",
         false},
        {"camera closes before the digest reply", digestThen(""), nullptr, "Wait for digest registration reply.", 2,
         close, "Failed to register digest", false},
        {"camera silent after the digest registration",
         digestThen(""),
         nullptr,
         nullptr,
         0,
         {},
         "Failed to register digest",
         true},
        {"garbage for the digest reply",
         digestThen(garbage),
         nullptr,
         nullptr,
         0,
         {},
         "Digest registration reply not parsed",
         false},
        {"digest refused",
         digestThen(registerReply({{"result", 401}})),
         nullptr,
         nullptr,
         0,
         {},
         "Register digest: got unexpected code 401",
         false},
        {"camera closes in the push phase", answer(accepted), nullptr, pushing, 1, close,
         "Push connection closed unexpectedly", false},
        {"garbage in the push phase", answer(accepted), nullptr, pushing, 1, send(garbage), "Push data parse failed",
         false},
        {"camera stops inside a frame header", answer(accepted), nullptr, pushing, 1, send(kMotion.substr(0, 7)),
         "Push connection closed unexpectedly", true},
        {"camera stops inside a frame", answer(accepted), nullptr, pushing, 1, send(kMotion.substr(0, 20)),
         "Push connection closed unexpectedly", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        std::optional<larkspur_test::FirstSendFault> fault;
        if (row.failingSend)
            fault.emplace(row.failingSend);
        VcaChannel test;
        // Every later connection is accepted, and the camera pushes an alarm right behind the reply.
        test.push.setReplyHandler([&](const Registration& registration) {
            return registration.connection == 1 ? row.firstConnection(registration) : accepted + kMotion;
        });
        auto failedAt = ScaledClock::now();
        test.start({"vorn.zodivadad.Motion"});
        if (row.misbehave) {
            // The camera has the connection (and the registrations) before it misbehaves on it.
            ASSERT_TRUE(test.push.waitForRegistrations(row.misbehaveAfterRegistrations));
            ASSERT_TRUE(waitUntil([&] { return larkspur_test::logged(capture, row.misbehaveWhenLogged); }));
            failedAt = ScaledClock::now();
            row.misbehave(test.push);
        }

        ASSERT_TRUE(test.waitForRecords(1));
        EXPECT_EQ(test.packets(), Strings{kMotionPacket});
        EXPECT_EQ(test.push.registrations().back().connection, 2u);
        EXPECT_EQ(loggedCount(capture, QString(row.reason) + ". Next connection attempt in 5 seconds"), 1);
        EXPECT_EQ(loggedCount(capture, "Next connection attempt"), 1);
        EXPECT_EQ(loggedCount(capture, "No data from Zodivadad camera for 30 seconds"), row.timedOut ? 1 : 0);
        if (row.timedOut) {
            EXPECT_GE(ScaledClock::now() - failedAt, TcpDataMonitor::kDataTimeout + TcpDataMonitor::kReconnectDelay);
        }
    }
}

TEST(VcaMonitor, AnIdleConnectionStaysOpen)
{
    LogCapture capture(Level::verbose);
    VcaChannel test;
    test.start({"vorn.zodivadad.Motion"});
    ASSERT_TRUE(waitUntil([&] { return larkspur_test::logged(capture, "Waiting for messages without digest auth"); }));
    // A frame, then nothing started: the camera has nothing to report for twice the time-out.
    ASSERT_TRUE(test.push.push(kMotion));
    ASSERT_TRUE(test.waitForRecords(1));
    larkspur_test::letScaledTimePass(2 * TcpDataMonitor::kDataTimeout);

    ASSERT_TRUE(test.push.push(kMotion));
    ASSERT_TRUE(test.waitForRecords(2));
    EXPECT_EQ(test.push.connectionCount(), 1u);
    EXPECT_EQ(loggedCount(capture, "Next connection attempt"), 0);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
