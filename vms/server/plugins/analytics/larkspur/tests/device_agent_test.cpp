#include <atomic>
#include <thread>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/sdk/helpers/error.h>
#include <vorn/utils/assert.h>
#include <vorn/vms_server/compressed_video_packet.h>
#include <vorn/vms_server/custom_metadata_packet.h>
#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>
#include <vorn/vms_server/option_map.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_command.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using larkspur_test::AgentUnderTest;
using larkspur_test::logged;
using vorn::testing::FakeHttpServer;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::MetadataReceiver;
using vorn::vms_server::MetadataTypeSelection;
using vorn::vms_server::OptionMap;
using Strings = std::vector<std::string>;

TEST(DeviceAgent, ChoosesItsChannelsByTheCamerasLicencePlateSupport)
{
    const struct
    {
        const char* name;
        std::optional<std::string> lprSupport; //< None: the camera does not report it.
        bool refuse;
        bool expectLpr;
    } rows[] = {
        {"one", "1", false, true},
        {"another non-zero number", "2", false, true},
        {"negative number", "-1", false, true},
        {"zero", "0", false, false},
        {"empty", "", false, false},
        {"a word", "yes", false, false},
        {"not reported", std::nullopt, false, false},
        {"camera unreachable", "1", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AgentUnderTest test;
        vorn::testing::FakeZodivadadCamera::Settings info{{"system_model", "ZV"}};
        if (row.lprSupport)
            info["system_lpr_support"] = *row.lprSupport;
        test.camera.setSystemInformation(info);
        if (row.refuse)
            test.camera.refuseConnections();
        LogCapture capture(Level::verbose);

        const auto agent = test.create();

        EXPECT_EQ(agent->lprSupported(), row.expectLpr);
        ASSERT_EQ(agent->monitors().size(), 1U);
        const auto* const expected = row.expectLpr ? test.factory.lpr : test.factory.vca;
        EXPECT_EQ(agent->monitors()[0].get(), expected);
        EXPECT_EQ(agent->monitors()[0]->address().toString(), row.expectLpr ? "127.0.0.1:3344" : "127.0.0.1:8214");
        EXPECT_EQ(agent->rtpMonitor() != nullptr, !row.expectLpr);
        EXPECT_TRUE(test.factory.log->lines().empty()) << "no channel starts before a selection";
        EXPECT_TRUE(logged(
            capture,
            QString("Zodivadad DeviceAgent created for ZV-IPC5000 (%1)").arg(row.expectLpr ? "LPR" : "non-LPR")));
    }
}

TEST(DeviceAgent, AsksTheCameraWithUtf8Credentials)
{
    AgentUnderTest test(/*lprSupported*/ true);
    test.camera.requireAuth(FakeHttpServer::AuthScheme::digest, "b\xC3\xA9la", "p\xC3\xA4ssw\xC3\xB6rd");
    const auto description =
        larkspur_test::describeCamera(test.camera.url(), "Zodivadad", "ZV", "b\xC3\xA9la", "p\xC3\xA4ssw\xC3\xB6rd");

    const auto agent = test.create(description.get());

    EXPECT_TRUE(agent->lprSupported());
    EXPECT_EQ(agent->authenticator().user(), QString::fromUtf8("b\xC3\xA9la"));
    EXPECT_EQ(agent->authenticator().password(), QString::fromUtf8("p\xC3\xA4ssw\xC3\xB6rd"));
}

TEST(DeviceAgent, NullTextsOfTheDescriptionCountAsEmpty)
{
    AgentUnderTest test;
    const auto description = makePtr<larkspur_test::RawDeviceDescription>();
    LogCapture capture(Level::verbose);

    const auto agent = test.create(description.get());

    EXPECT_FALSE(agent->lprSupported());
    EXPECT_TRUE(agent->authenticator().user().isEmpty());
    EXPECT_TRUE(logged(capture, "Zodivadad DeviceAgent created for  (non-LPR)"));
}

struct PortRow
{
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    bool started;
    uint16_t expectedPort;
    Strings expectedChannelCalls;
    QString expectedLog; //< Empty: no port line at all.
};

TEST(DeviceAgent, TakesOnlyWholePortNumbersFromTheSettings)
{
    const PortRow rows[] = {
        {"same port", {{"VCA.Port", "8214"}}, true, 8214, {}, ""},
        {"new port on a running channel",
         {{"VCA.Port", "9000"}},
         true,
         9000,
         {"stop VCA.Port", "start VCA.Port"},
         "Port VCA.Port changed 8214 -> 9000"},
        {"new port on a stopped channel",
         {{"VCA.Port", "9000"}},
         false,
         9000,
         {},
         "Port VCA.Port changed 8214 -> 9000"},
        {"highest port", {{"VCA.Port", "65535"}}, false, 65535, {}, "changed 8214 -> 65535"},
        {"lowest port", {{"VCA.Port", "1"}}, false, 1, {}, "changed 8214 -> 1"},
        {"one past the highest", {{"VCA.Port", "65536"}}, true, 8214, {}, "Ignoring VCA.Port '65536'"},
        {"zero", {{"VCA.Port", "0"}}, true, 8214, {}, "Ignoring VCA.Port '0'"},
        {"negative", {{"VCA.Port", "-1"}}, true, 8214, {}, "Ignoring VCA.Port '-1'"},
        {"trailing text", {{"VCA.Port", "9000x"}}, true, 8214, {}, "Ignoring VCA.Port '9000x'"},
        {"leading blank", {{"VCA.Port", " 9000"}}, true, 8214, {}, "Ignoring VCA.Port ' 9000'"},
        {"not a number", {{"VCA.Port", "abc"}}, true, 8214, {}, "Ignoring VCA.Port 'abc'"},
        {"empty", {{"VCA.Port", ""}}, true, 8214, {}, "Ignoring VCA.Port ''"},
        {"beyond int", {{"VCA.Port", "4294976296"}}, true, 8214, {}, "Ignoring VCA.Port '4294976296'"},
        {"the other channel's setting", {{"LPR.Port", "9000"}}, true, 8214, {}, ""},
        {"no settings", {}, true, 8214, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AgentUnderTest test;
        const auto agent = test.create();
        if (row.started)
            agent->monitors()[0]->start();
        test.factory.log->clear();
        const auto settings = makePtr<OptionMap>(row.settings);
        Result<const IOptionMap*> result(vorn::sdk::error(ErrorCode::generalFailure, "left over"));
        const Ptr<const IString> leftOver = toPtr(result.error.errorMessage);
        result.value = settings.get();
        LogCapture capture(Level::verbose);

        agent->applySettings(&result, settings.get());

        EXPECT_TRUE(result.isOk());
        EXPECT_EQ(result.value, nullptr);
        EXPECT_EQ(agent->monitors()[0]->address().port, row.expectedPort);
        EXPECT_EQ(agent->monitors()[0]->isStarted(), row.started);
        EXPECT_EQ(test.factory.log->lines(), row.expectedChannelCalls);
        if (row.expectedLog.isEmpty())
            EXPECT_FALSE(logged(capture, "Port")) << capture.logger().texts().join("\n").toStdString();
        else
            EXPECT_TRUE(logged(capture, row.expectedLog)) << capture.logger().texts().join("\n").toStdString();
    }
}

TEST(DeviceAgent, ALicencePlateAgentTakesOnlyItsOwnPort)
{
    AgentUnderTest test(/*lprSupported*/ true);
    const auto agent = test.create();
    Result<const IOptionMap*> result;

    agent->applySettings(&result, makePtr<OptionMap>(std::vector<std::pair<std::string, std::string>>{
                                                         {"VCA.Port", "9000"}, {"LPR.Port", "4000"}})
                                      .get());
    EXPECT_EQ(agent->monitors()[0]->address().port, 4000);

    agent->applySettings(&result, nullptr);
    EXPECT_TRUE(result.isOk());
    EXPECT_EQ(agent->monitors()[0]->address().port, 4000);
}

struct SelectionRow
{
    const char* name;
    bool lprSupported;
    std::optional<Strings> events;
    std::optional<Strings> objects;
    Strings expectedChannelCalls;
    std::set<std::string> expectedEvents; //< What the channel was given.
    std::set<std::string> expectedObjects;
};

TEST(DeviceAgent, ASelectionStopsTheChannelAndStartsItWhenItIsStillNeeded)
{
    const SelectionRow rows[] = {
        {"no lists", false, std::nullopt, std::nullopt, {"stop VCA.Port"}, {}, {}},
        {"empty lists", false, Strings{}, Strings{}, {"stop VCA.Port"}, {}, {}},
        {"event types",
         false,
         Strings{"vorn.zodivadad.LineCrossing", "vorn.test.Unknown", "vorn.zodivadad.Motion"},
         std::nullopt,
         {"stop VCA.Port", "start VCA.Port"},
         {"vorn.zodivadad.LineCrossing", "vorn.zodivadad.Motion"},
         {}},
        {"only unknown event types", false, Strings{"vorn.test.Unknown"}, std::nullopt, {"stop VCA.Port"}, {}, {}},
        {"object types without licence plates",
         false,
         std::nullopt,
         Strings{"vorn.zodivadad.Vehicle"},
         {"stop VCA.Port"},
         {},
         {"vorn.zodivadad.Vehicle"}},
        {"object types with licence plates",
         true,
         std::nullopt,
         Strings{"vorn.zodivadad.LicensePlate"},
         {"stop LPR.Port", "start LPR.Port"},
         {},
         {"vorn.zodivadad.LicensePlate"}},
        {"event types with licence plates",
         true,
         Strings{"vorn.zodivadad.Motion"},
         std::nullopt,
         {"stop LPR.Port"},
         {"vorn.zodivadad.Motion"},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AgentUnderTest test(row.lprSupported);
        const auto agent = test.create();
        const auto selection = makePtr<MetadataTypeSelection>(row.events, row.objects);
        Result<void> result(vorn::sdk::error(ErrorCode::generalFailure, "left over"));
        const Ptr<const IString> leftOver = toPtr(result.error.errorMessage);
        LogCapture capture(Level::verbose);

        agent->selectMetadataTypes(&result, selection.get());

        EXPECT_TRUE(result.isOk());
        EXPECT_EQ(test.factory.log->lines(), row.expectedChannelCalls);
        const auto* monitor = row.lprSupported ? test.factory.lpr : test.factory.vca;
        EXPECT_EQ(monitor->m_events, row.expectedEvents);
        EXPECT_EQ(monitor->m_objects, row.expectedObjects);
        const bool unknown = row.events && std::count(row.events->begin(), row.events->end(), "vorn.test.Unknown");
        EXPECT_EQ(logged(capture, "Unknown event type. TypeId = vorn.test.Unknown."), unknown);
    }
}

TEST(DeviceAgent, ANullSelectionNeedsNothing)
{
    AgentUnderTest test;
    const auto agent = test.create();
    Result<void> result;
    agent->selectMetadataTypes(&result,
                               makePtr<MetadataTypeSelection>(Strings{"vorn.zodivadad.Motion"}, std::nullopt).get());
    test.factory.log->clear();

    agent->selectMetadataTypes(&result, nullptr);

    EXPECT_TRUE(result.isOk());
    EXPECT_EQ(test.factory.log->lines(), Strings{"stop VCA.Port"});
}

TEST(DeviceAgent, DestructionStopsTheChannels)
{
    AgentUnderTest test;
    auto agent = test.create();
    const auto log = test.factory.log;
    Result<void> result;
    agent->selectMetadataTypes(&result,
                               makePtr<MetadataTypeSelection>(Strings{"vorn.zodivadad.Motion"}, std::nullopt).get());
    log->clear();
    test.agent.reset();

    agent.reset();

    EXPECT_EQ(log->lines(), Strings{"stop VCA.Port"});
}

// A custom metadata packet as a careless server might hand it over: any size, null texts.
class RawCustomPacket final : public vorn::vms_server::ServerRefCountable<ICustomMetadataPacket>
{
public:
    RawCustomPacket(const char* codec, const char* data, int32_t size)
        : m_codec(codec)
        , m_data(data)
        , m_size(size)
    {}
    int64_t timestampUs() const override { return 777; }
    const char* codec() const override { return m_codec; }
    const char* data() const override { return m_data; }
    int32_t dataSize() const override { return m_size; }

private:
    const char* const m_codec;
    const char* const m_data;
    const int32_t m_size;
};

TEST(DeviceAgent, HandsOnlyZodivadadMetadataPacketsToTheParser)
{
    const struct
    {
        const char* name;
        const char* codec;
        const char* data;
        int32_t size;
        bool parsed;
    } rows[] = {
        {"the camera's codec", "Zodivadad", "rtp", 3, true},
        {"lower case", "zodivadad", "rtp", 3, false},
        {"upper case", "ZODIVADAD", "rtp", 3, false},
        {"trailing blank", "Zodivadad ", "rtp", 3, false},
        {"null codec", nullptr, "rtp", 3, false},
        {"empty", "Zodivadad", "rtp", 0, false},
        {"negative size", "Zodivadad", "rtp", -5, false},
        {"null data", "Zodivadad", nullptr, 3, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AgentUnderTest test;
        const auto agent = test.create();
        Result<void> result(vorn::sdk::error(ErrorCode::generalFailure, "left over"));
        const Ptr<const IString> leftOver = toPtr(result.error.errorMessage);

        agent->consumeDataPacket(&result, makePtr<RawCustomPacket>(row.codec, row.data, row.size).get());

        EXPECT_TRUE(result.isOk());
        const auto expected = row.parsed ? std::vector<larkspur_test::ParsedPacket>{{"rtp", 777}}
                                         : std::vector<larkspur_test::ParsedPacket>{};
        EXPECT_EQ(test.factory.rtp->m_parsed, expected);
    }
}

TEST(DeviceAgent, IgnoresOtherPacketsAndEverythingWithoutAParser)
{
    AgentUnderTest other;
    const auto agent = other.create();
    Result<void> result;
    agent->consumeDataPacket(&result, makePtr<vorn::vms_server::CompressedVideoPacket>("h264", "frame", 1).get());
    agent->consumeDataPacket(&result, nullptr);
    EXPECT_TRUE(other.factory.rtp->m_parsed.empty());
    EXPECT_TRUE(result.isOk());

    AgentUnderTest lpr(/*lprSupported*/ true);
    const auto lprAgent = lpr.create();
    lprAgent->consumeDataPacket(&result, makePtr<vorn::vms_server::CustomMetadataPacket>("Zodivadad", "rtp", 1).get());
    EXPECT_TRUE(result.isOk());
    EXPECT_EQ(lpr.factory.rtp, nullptr);
}

TEST(DeviceAgent, KeepsOneReferenceToItsReceiver)
{
    AgentUnderTest test;
    const auto agent = test.create();
    const auto receiver = makePtr<MetadataReceiver>();

    agent->attachReceiver(receiver.get());
    agent->attachReceiver(receiver.get());
    EXPECT_EQ(receiver->refCount(), 2);
    EXPECT_EQ(agent->handler(), receiver);

    const auto other = makePtr<MetadataReceiver>();
    agent->attachReceiver(other.get());
    EXPECT_EQ(receiver->refCount(), 1);
    EXPECT_EQ(other->refCount(), 2);

    agent->attachReceiver(nullptr);
    EXPECT_EQ(other->refCount(), 1);
    EXPECT_FALSE(agent->handler());
}

TEST(DeviceAgent, DropsPacketsWhileNoReceiverIsAttached)
{
    AgentUnderTest test;
    const auto agent = test.create();
    const auto packet = makePtr<EventMetadataPacket>();
    {
        vorn::utils::AssertionCapture assertions;
        agent->pushMetadataPacket(packet);
        ASSERT_EQ(assertions.reports().size(), 1);
        EXPECT_TRUE(assertions.reports()[0].endsWith(" (handler()) ")) << assertions.reports()[0].toStdString();
    }

    const auto receiver = makePtr<MetadataReceiver>();
    agent->attachReceiver(receiver.get());
    agent->pushMetadataPacket(packet);
    EXPECT_EQ(receiver->recordCount(), 1U);
}

TEST(DeviceAgent, AnswersTheSameCompactManifestEveryTime)
{
    AgentUnderTest test;
    const auto agent = test.create();
    const auto manifestText = [&] {
        Result<const IString*> result;
        agent->getManifest(&result);
        EXPECT_TRUE(result.isOk());
        const Ptr<const IString> text = toPtr(result.value);
        return QByteArray(text->text());
    };
    const QByteArray first = manifestText();
    EXPECT_EQ(manifestText(), first);
    const QJsonObject manifest = QJsonDocument::fromJson(first).object();
    EXPECT_EQ(first, QJsonDocument(manifest).toJson(QJsonDocument::Compact));
    EXPECT_EQ(manifest["eventTypes"].toArray().size(), 17);
}

// An engine whose manifest request fails, as no shipped engine's does.
class EngineWithoutManifest final : public Engine
{
public:
    EngineWithoutManifest(vorn::sdk::analytics::Plugin* plugin, bool withError)
        : Engine(plugin, "manifest_zodivadad")
        , m_withError(withError)
    {}

    void getManifest(Result<const IString*>* outResult) const override
    {
        if (m_withError)
            *outResult = Result<const IString*>(vorn::sdk::error(ErrorCode::generalFailure, "no manifest"));
        else
            *outResult = Result<const IString*>(static_cast<const IString*>(nullptr));
    }

private:
    const bool m_withError;
};

TEST(DeviceAgent, WithoutTheEngineManifestTextOffersEveryEventType)
{
    for (const bool withError : {true, false}) {
        SCOPED_TRACE(withError ? "error result" : "no text");
        AgentUnderTest test;
        test.engine = makePtr<EngineWithoutManifest>(test.host.plugin.get(), withError);
        // A reporter that answers "carry on" must not lead the agent into the missing text.
        vorn::utils::AssertionCapture assertions(/*result*/ true);

        const auto agent = test.create();

        ASSERT_EQ(assertions.reports().size(), 1);
        EXPECT_TRUE(assertions.reports()[0].endsWith(" (engineManifest.isOk()) "))
            << assertions.reports()[0].toStdString();
        Result<const IString*> result;
        agent->getManifest(&result);
        const Ptr<const IString> text = toPtr(result.value);
        const QJsonObject manifest = QJsonDocument::fromJson(text->text()).object();
        EXPECT_EQ(manifest["eventTypes"].toArray().size(), 17);
        EXPECT_TRUE(manifest["supportedTypes"].toArray().isEmpty());
    }
}

TEST(DeviceAgent, AnswersEveryVersionOfItsInterfaces)
{
    AgentUnderTest test;
    const auto agent = test.create();
    for (const char* id :
         {"vorn::sdk::analytics::IConsumingDeviceAgent2", "vorn::sdk::analytics::IConsumingDeviceAgent1",
          "vorn::sdk::analytics::IConsumingDeviceAgent", "vorn::sdk::analytics::IDeviceAgent",
          "vorn::sdk::IRefCountable"}) {
        SCOPED_TRACE(id);
        IRefCountable* const found = agent->findInterface(id);
        EXPECT_EQ(found, static_cast<IRefCountable*>(agent.get()));
        if (found)
            found->release();
    }
    EXPECT_EQ(agent->findInterface("vorn::sdk::analytics::IConsumingDeviceAgent3"), nullptr);
    EXPECT_EQ(agent->findInterface("vorn::sdk::analytics::IEngine"), nullptr);
    EXPECT_EQ(agent->refCount(), 2); // The test's and the fixture's.
}

TEST(DeviceAgent, TagsItsLogLinesWithTheCameraHost)
{
    AgentUnderTest test;
    LogCapture capture(Level::verbose);
    const auto agent = test.create();
    const auto records = capture.logger().records();
    const auto created = std::find_if(records.begin(), records.end(),
                                      [](const auto& record) { return record.text.contains("DeviceAgent created"); });
    ASSERT_NE(created, records.end());
    EXPECT_TRUE(created->tag.endsWith(", 127.0.0.1)")) << created->tag.toStdString();
}

TEST(DeviceAgent, ServerThreadsMayReplaceReceiverAndTypesWhileEventsArrive)
{
    AgentUnderTest test;
    const auto agent = test.create();
    const auto first = makePtr<MetadataReceiver>();
    const auto second = makePtr<MetadataReceiver>();
    const auto all = makePtr<MetadataTypeSelection>(Strings{"vorn.zodivadad.Motion"}, std::nullopt);
    const auto none = makePtr<MetadataTypeSelection>(std::nullopt, std::nullopt);
    vorn::utils::AssertionCapture assertions; // Pushes while no receiver is attached are reported.
    std::atomic<bool> done{false};
    constexpr int kEvents = 2000;

    std::thread channel([&] {
        const vorn::kit::detail::json11::Json event(
            vorn::kit::detail::json11::Json::object{{"event", 1}, {"alarm", 1}});
        for (int i = 0; i < kEvents; ++i)
            agent->handleEvent(kBasicAlarm, event);
        done = true;
    });
    Result<void> result;
    while (!done) {
        agent->attachReceiver(first.get());
        agent->selectMetadataTypes(&result, all.get());
        agent->attachReceiver(nullptr);
        agent->attachReceiver(second.get());
        agent->selectMetadataTypes(&result, none.get());
    }
    channel.join();

    EXPECT_LE(first->recordCount() + second->recordCount(), static_cast<std::size_t>(kEvents));
    EXPECT_EQ(first->refCount(), 1);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
