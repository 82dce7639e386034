#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <fake_zodivadad_camera/fake_zodivadad_camera.h>
#include <vorn/utils/assert.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/engine.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;
using namespace vorn::sdk::analytics;
using larkspur_test::logged;
using vorn::testing::FakeHttpServer;
using vorn::testing::FakeZodivadadCamera;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;

QByteArray manifestText(const Engine& engine)
{
    Result<const IString*> result;
    engine.getManifest(&result);
    EXPECT_TRUE(result.isOk());
    const Ptr<const IString> text = toPtr(result.value);
    return text ? QByteArray(text->text()) : QByteArray();
}

// The embedded zodivadad manifest with the given changes to its top-level keys.
QByteArray changedManifest(const std::function<void(QJsonObject*)>& change)
{
    QJsonObject manifest = QJsonDocument::fromJson(larkspur_test::embeddedManifest("manifest_zodivadad")).object();
    change(&manifest);
    return QJsonDocument(manifest).toJson();
}

TEST(Engine, LoadsTheEmbeddedManifestOfItsBrand)
{
    const struct
    {
        const char* name;
        const char* vendorPattern;
    } rows[] = {
        {"manifest_zidezozi", "Zidezozi*"}, {"manifest_zodivadad", "Zodivadad*"}, {"manifest_only", "ZERU*"},
        {"manifest_duzodoz", "Duzodoz*"},   {"manifest_zedir", "Zedir*"},
    };
    larkspur_test::PluginWithClock host;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto engine = makePtr<Engine>(host.plugin.get(), row.name);
        EXPECT_EQ(manifestText(*engine), larkspur_test::embeddedManifest(row.name));
        EXPECT_EQ(manifestText(*engine), manifestText(*engine));
        EXPECT_EQ(engine->manifest().supportedCameraVendors, std::vector<QString>{row.vendorPattern});
        EXPECT_EQ(engine->manifest().supportedCameraModels, std::vector<QString>{"*"});
        EXPECT_EQ(engine->manifest().eventTypes.size(), 17U);
        EXPECT_EQ(engine->manifest().eventNumericAttributes.size(), 17U);
    }
}

TEST(Engine, AReadableFileInTheWorkingFolderReplacesTheEmbeddedManifest)
{
    larkspur_test::ScopedWorkingFolder folder;
    const QByteArray text =
        changedManifest([](QJsonObject* m) { (*m)["supportedCameraVendors"] = QJsonArray{"Acme*"}; });
    const QString path = folder.writeManifest("manifest_only", text);
    larkspur_test::PluginWithClock host;
    LogCapture capture(Level::verbose);

    const auto replaced = makePtr<Engine>(host.plugin.get(), "manifest_only");
    const auto other = makePtr<Engine>(host.plugin.get(), "manifest_zedir");

    EXPECT_EQ(manifestText(*replaced), text); // White space and all, as in the file.
    EXPECT_EQ(replaced->manifest().supportedCameraVendors, std::vector<QString>{"Acme*"});
    EXPECT_EQ(capture.logger().records().at(0).level, Level::info);
    EXPECT_TRUE(logged(capture, "Switch to external manifest file " + path));
    EXPECT_EQ(manifestText(*other), larkspur_test::embeddedManifest("manifest_zedir"));
}

TEST(Engine, AReplacementThatIsNoManifestRefusesEveryCamera)
{
    larkspur_test::ScopedWorkingFolder folder;
    folder.writeManifest("manifest_zodivadad", "[1, 2]");
    larkspur_test::PluginWithClock host;
    FakeZodivadadCamera camera;
    LogCapture capture(Level::verbose);

    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
    const auto description = larkspur_test::describeCamera(camera.url());

    EXPECT_EQ(manifestText(*engine), "[1, 2]");
    EXPECT_TRUE(engine->manifest().eventTypes.empty());
    EXPECT_FALSE(engine->supportsDevice(description.get()));
    EXPECT_TRUE(logged(capture, "Unsupported camera vendor: Zodivadad"));
    EXPECT_EQ(camera.cgiRequests().size(), 0U);
}

TEST(Engine, LooksEventTypesAndNumericAttributesUp)
{
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");

    EXPECT_EQ(engine->internalSection("vorn.zodivadad.LineCrossing"), "vcaalarm");
    EXPECT_EQ(engine->internalSection("vorn.zodivadad.Face"), "face");
    EXPECT_EQ(engine->internalSection("vorn.zodivadad.linecrossing"), std::nullopt);
    EXPECT_EQ(engine->internalSection(""), std::nullopt);

    const EventType* lineCrossing = engine->eventTypeBySection("vcaalarm", 4);
    ASSERT_TRUE(lineCrossing);
    EXPECT_EQ(lineCrossing->id, "vorn.zodivadad.LineCrossing");
    EXPECT_EQ(engine->eventTypeBySection("vcaalarm", 99), nullptr);
    EXPECT_EQ(engine->eventTypeBySection("basicalarm", 2), nullptr);
    EXPECT_EQ(engine->eventTypeBySection("vcaalar", 4), nullptr);

    const auto direction = engine->numericAttribute("direction");
    ASSERT_TRUE(direction);
    EXPECT_EQ(direction->name, "Crossing direction");
    EXPECT_EQ(direction->values, (std::vector<std::string>{"A->B", "B->A"}));
    EXPECT_EQ(engine->numericAttribute("Direction"), std::nullopt);
}

TEST(Engine, TheFirstOfTwoEqualEventTypesWins)
{
    larkspur_test::ScopedWorkingFolder folder;
    folder.writeManifest(
        "manifest_zodivadad", changedManifest([](QJsonObject* m) {
            (*m)["eventTypes"] = QJsonArray{
                QJsonObject{
                    {"id", "first"}, {"name", "First"}, {"internalSection", "basicalarm"}, {"internalEventId", 1}},
                QJsonObject{
                    {"id", "second"}, {"name", "Second"}, {"internalSection", "basicalarm"}, {"internalEventId", 1}},
                QJsonObject{{"id", "first"}, {"name", "Again"}, {"internalSection", "face"}, {"internalEventId", 0}},
            };
        }));
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");

    ASSERT_TRUE(engine->eventTypeBySection("basicalarm", 1));
    EXPECT_EQ(engine->eventTypeBySection("basicalarm", 1)->id, "first");
    EXPECT_EQ(engine->internalSection("first"), "basicalarm");
}

struct SupportRow
{
    const char* name;
    const char* manifestModels; //< Null: the embedded manifest ("*").
    const char* vendor;
    const char* model;
    bool cameraAnswers;
    bool expected;
    std::vector<QString> expectedLogs;
    std::vector<QString> unexpectedLogs;
};

TEST(Engine, SupportsCamerasByVendorThenTestRequestThenModel)
{
    const SupportRow rows[] = {
        {"vendor matches, camera answers",
         "[\"XYZ*\"]",
         "zodivadad",
         "Other",
         true,
         true,
         {},
         {"Test API call failed"}},
        {"vendor with suffix, camera answers", nullptr, "Zodivadad Technology", "M", true, true, {}, {}},
        {"vendor differs", nullptr, "Acme", "M", true, false, {"Unsupported camera vendor: Acme"}, {}},
        {"null vendor", nullptr, nullptr, "M", true, false, {"Unsupported camera vendor: "}, {}},
        {"camera silent on the test, model star",
         nullptr,
         "Zodivadad",
         "M",
         false,
         true,
         {"Test API call failed, checking supportedCameraModels list"},
         {"Unsupported camera model"}},
        {"camera silent on the test, model matches",
         "[\"XYZ*\"]",
         "Zodivadad",
         "xyz-1",
         false,
         true,
         {"Test API call failed"},
         {"Unsupported camera model"}},
        {"camera silent on the test, model differs",
         "[\"XYZ*\"]",
         "Zodivadad",
         "ABC",
         false,
         false,
         {"Test API call failed, checking supportedCameraModels list", "Unsupported camera model: ABC"},
         {}},
        {"camera silent on the test, null model",
         "[\"XYZ*\"]",
         "Zodivadad",
         nullptr,
         false,
         false,
         {"Unsupported camera model: "},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        larkspur_test::ScopedWorkingFolder folder;
        if (row.manifestModels) {
            folder.writeManifest("manifest_zodivadad", changedManifest([&](QJsonObject* m) {
                                     (*m)["supportedCameraModels"] =
                                         QJsonDocument::fromJson(row.manifestModels).array();
                                 }));
        }
        larkspur_test::PluginWithClock host;
        FakeZodivadadCamera camera;
        camera.requireAuth(FakeHttpServer::AuthScheme::digest, "admin", "s3cret");
        if (!row.cameraAnswers) {
            // An error page whose text holds assignments still is no answer to the test request.
            camera.setCgiReply(FakeHttpServer::Reply::withStatus(
                404, "<html><meta http-equiv=refresh content=0>;Not Found</html>", "text/html"));
        }
        const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
        const std::string url = camera.url();
        auto description = makePtr<larkspur_test::RawDeviceDescription>();
        description->vendor_ = row.vendor;
        description->model_ = row.model;
        description->url_ = url.c_str();
        description->login_ = "admin";
        description->password_ = "s3cret";
        LogCapture capture(Level::verbose);

        EXPECT_EQ(engine->supportsDevice(description.get()), row.expected);
        for (const QString& text : row.expectedLogs)
            EXPECT_TRUE(logged(capture, text)) << text.toStdString();
        for (const QString& text : row.unexpectedLogs)
            EXPECT_FALSE(logged(capture, text)) << text.toStdString();
    }
}

TEST(Engine, ReadsTheServerClockThroughThePluginOrFallsBackToTheLocalClock)
{
    larkspur_test::PluginWithClock host(1'234'567);
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
    EXPECT_EQ(engine->serverTimeMs(), 1'234'567);

    host.plugin->attachHostServices(nullptr);
    vorn::utils::AssertionCapture assertions;
    const int64_t before = QDateTime::currentMSecsSinceEpoch();
    const int64_t time = engine->serverTimeMs();
    EXPECT_GE(time, before);
    EXPECT_LE(time, QDateTime::currentMSecsSinceEpoch());
    EXPECT_EQ(assertions.reports().size(), 1);
}

TEST(Engine, KeepsItsPluginAndGivesDeviceAgentsThatKeepTheEngine)
{
    FakeZodivadadCamera camera;
    auto host = std::make_unique<larkspur_test::PluginWithClock>(42);
    auto engine = makePtr<Engine>(host->plugin.get(), "manifest_zodivadad");
    host.reset(); // The server lets go of the plugin first.
    EXPECT_EQ(engine->serverTimeMs(), 42);

    const auto description = larkspur_test::describeCamera(camera.url());
    Result<IDeviceAgent*> result;
    engine->createDeviceAgent(&result, description.get());
    ASSERT_TRUE(result.isOk());
    const Ptr<IDeviceAgent> agent = toPtr(result.value);
    ASSERT_TRUE(agent);
    EXPECT_TRUE(queryInterface<IConsumingDeviceAgent>(agent));

    engine.reset(); // And then of the engine, before the device agent.
    Result<const IString*> manifest;
    agent->getManifest(&manifest);
    EXPECT_TRUE(manifest.isOk());
    toPtr(manifest.value).reset();
}

TEST(Engine, AnswersItsInterfaceIdsNewestFirst)
{
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
    for (const char* id :
         {"vorn::sdk::analytics::IEngine1", "vorn::sdk::analytics::IEngine", "vorn::sdk::IRefCountable"}) {
        SCOPED_TRACE(id);
        IRefCountable* found = engine->findInterface(id);
        EXPECT_EQ(found, static_cast<IRefCountable*>(engine.get()));
        EXPECT_EQ(engine->refCount(), 2);
        if (found)
            found->release();
    }
    EXPECT_EQ(engine->findInterface("vorn::sdk::analytics::IEngine2"), nullptr);
    EXPECT_EQ(engine->refCount(), 1);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
