#include <vorn/vms_server_plugins/analytics/zodivadad/engine_manifest.h>

#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>

#include <vorn/utils/log/log_capture.h>

namespace {

using namespace vorn::vms_server_plugins::analytics::zodivadad;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms::api::analytics::EventTypeFlag;
using vorn::vms::api::analytics::EventTypeFlags;
using Capabilities = vorn::vms::api::analytics::EngineManifest::Capabilities;
using testing::ElementsAre;

// What every row reads into: a manifest that already holds values, so that "unchanged" is visible.
EngineManifest previousManifest()
{
    EngineManifest manifest;
    manifest.capabilities = Capabilities(QFlag(128));
    manifest.supportedCameraVendors = {"previous"};
    return manifest;
}

const EventType& firstEventType(const EngineManifest& manifest)
{
    static const EventType kNone;
    return manifest.eventTypes.empty() ? kNone : manifest.eventTypes.front();
}

struct ReadRow
{
    const char* name;
    const char* json;
    std::function<void(const EngineManifest&)> expect;
    size_t logLines = 0;
    const char* failedPath = "";
    bool reads = true;
};

TEST(EngineManifestReading, ReadsFieldsByTheirRules)
{
    const auto eventId = [](int expected) {
        return [expected](const EngineManifest& m) { EXPECT_EQ(firstEventType(m).internalEventId, expected); };
    };
    const auto capabilities = [](int expected) {
        return [expected](const EngineManifest& m) { EXPECT_EQ(static_cast<int>(m.capabilities), expected); };
    };
    const auto flags = [](int expected) {
        return [expected](const EngineManifest& m) {
            EXPECT_EQ(static_cast<int>(firstEventType(m).flags), expected);
            EXPECT_EQ(firstEventType(m).groupId, "read on"); //< The keys after "flags" are still read.
        };
    };
    const auto vendors = [](std::vector<QString> expected) {
        return [expected](const EngineManifest& m) { EXPECT_EQ(m.supportedCameraVendors, expected); };
    };
    const auto settings = [](QJsonValue expected) {
        return [expected](const EngineManifest& m) { EXPECT_EQ(m.deviceAgentSettingsModel, expected); };
    };

    const std::vector<ReadRow> rows = {
        {"no keys keeps every field", "{}",
         [](const EngineManifest& m) {
             EXPECT_EQ(static_cast<int>(m.capabilities), 128);
             EXPECT_TRUE(m.eventTypes.empty());
             EXPECT_TRUE(m.deviceAgentSettingsModel.isNull());
         }},
        {"int fraction truncated", R"({"eventTypes":[{"internalEventId":7.9}]})", eventId(7)},
        {"negative int fraction truncated", R"({"eventTypes":[{"internalEventId":-7.9}]})", eventId(-7)},
        {"int at the upper limit", R"({"eventTypes":[{"internalEventId":2147483647}]})", eventId(2147483647)},
        {"int at the lower limit", R"({"eventTypes":[{"internalEventId":-2147483648}]})", eventId(-2147483647 - 1)},
        {"int past the upper limit", R"({"eventTypes":[{"internalEventId":2147483648}]})", eventId(0), 1,
         "internalEventId"},
        {"int past the lower limit", R"({"eventTypes":[{"internalEventId":-2147483649}]})", eventId(0), 1,
         "internalEventId"},
        {"int written as text", R"({"eventTypes":[{"internalEventId":"7"}]})", eventId(0), 1, "internalEventId"},
        {"int as boolean", R"({"eventTypes":[{"internalEventId":true}]})", eventId(0), 1, "internalEventId"},
        {"int as null", R"({"eventTypes":[{"internalEventId":null}]})", eventId(0), 1, "internalEventId"},
        {"capabilities by number", R"({"capabilities":3})", capabilities(3)},
        {"capabilities minus one sets every bit", R"({"capabilities":-1})", capabilities(-1)},
        {"capabilities fraction truncated", R"({"capabilities":2.5})", capabilities(2)},
        {"capabilities null keeps the flags", R"({"capabilities":null})", capabilities(128), 1, "capabilities"},
        {"capabilities empty text", R"({"capabilities":""})", capabilities(0)},
        {"capabilities by name", R"({"capabilities":"deviceDependent|noAutoBestShots"})", capabilities(640)},
        {"capabilities with an unknown name", R"({"capabilities":"deviceDependent|bogus"})", capabilities(128), 2,
         "capabilities"},
        {"flags by name", R"({"eventTypes":[{"flags":"stateDependent","groupId":"read on"}]})", flags(1)},
        {"flags empty text", R"({"eventTypes":[{"flags":"","groupId":"read on"}]})", flags(0)},
        {"flags number skips the defined-bit check", R"({"eventTypes":[{"flags":16,"groupId":"read on"}]})", flags(16)},
        {"flags invalid keeps accepted bits", R"({"eventTypes":[{"flags":"hidden|bogus","groupId":"read on"}]})",
         flags(4), 2, "flags"},
        {"flags undefined bit in text", R"({"eventTypes":[{"flags":"0x10","groupId":"read on"}]})", flags(0), 2,
         "flags"},
        {"text as number", R"({"eventTypes":[{"id":"i","name":5,"groupId":"g"}]})",
         [](const EngineManifest& m) {
             EXPECT_EQ(firstEventType(m).id, "i");
             EXPECT_TRUE(firstEventType(m).name.isEmpty());
             EXPECT_EQ(firstEventType(m).groupId, "g");
         },
         1, "name"},
        {"base null leaves it present and empty", R"({"eventTypes":[{"base":null}]})",
         [](const EngineManifest& m) { EXPECT_EQ(firstEventType(m).base, QString("")); }, 1, "base"},
        {"base absent", R"({"eventTypes":[{}]})",
         [](const EngineManifest& m) { EXPECT_FALSE(firstEventType(m).base.has_value()); }},
        {"vendors as a single text keep the list", R"({"supportedCameraVendors":"Zodivadad*"})", vendors({"previous"}),
         1, "supportedCameraVendors"},
        {"vendors empty", R"({"supportedCameraVendors":[]})", vendors({})},
        {"vendors with a bad element", R"({"supportedCameraVendors":["a",5,"c"]})", vendors({"a", ""}), 1,
         "supportedCameraVendors"},
        {"event type that is no object stays as a default element", R"({"eventTypes":[1]})",
         [](const EngineManifest& m) {
             ASSERT_EQ(m.eventTypes.size(), 1u);
             EXPECT_TRUE(m.eventTypes[0].id.isEmpty());
         },
         1, "eventTypes"},
        {"event types stop at a bad element",
         R"({"eventTypes":[{"id":"a"},2,{"id":"c"}],"supportedCameraModels":["*"]})",
         [](const EngineManifest& m) {
             ASSERT_EQ(m.eventTypes.size(), 2u);
             EXPECT_EQ(m.eventTypes[0].id, "a");
             EXPECT_TRUE(m.eventTypes[1].id.isEmpty());
             EXPECT_EQ(m.supportedCameraModels, std::vector<QString>{"*"}); //< The manifest is read on.
         },
         1, "eventTypes"},
        {"numeric attributes ordered by key",
         R"({"eventNumericAttributes":{"b":{"name":"B","values":["x"]},"Thresholds":{"values":[]}}})",
         [](const EngineManifest& m) {
             ASSERT_EQ(m.eventNumericAttributes.size(), 2u);
             EXPECT_EQ(m.eventNumericAttributes.begin()->first, "Thresholds");
             EXPECT_TRUE(m.eventNumericAttributes.begin()->second.values.empty());
             EXPECT_EQ(m.eventNumericAttributes.at("b").values, std::vector<std::string>{"x"});
         }},
        {"numeric attribute that is no object stops the map",
         R"({"eventNumericAttributes":{"a":{"name":"A"},"b":5,"c":{"name":"C"}}})",
         [](const EngineManifest& m) {
             ASSERT_EQ(m.eventNumericAttributes.size(), 2u);
             EXPECT_EQ(m.eventNumericAttributes.at("a").name, "A");
             EXPECT_EQ(m.eventNumericAttributes.at("b").name, "");
         },
         1, "eventNumericAttributes"},
        {"byte string list with a bad element", R"({"eventTypes":[{"internalNumericAttributes":["in",1,"out"]}]})",
         [](const EngineManifest& m) {
             EXPECT_EQ(firstEventType(m).internalNumericAttributes, (std::vector<std::string>{"in", ""}));
         },
         1, "internalNumericAttributes"},
        {"supported type that is no object", R"({"supportedTypes":[{"objectTypeId":"x"},"y"]})",
         [](const EngineManifest& m) {
             ASSERT_EQ(m.supportedTypes.size(), 2);
             EXPECT_EQ(m.supportedTypes[0].objectTypeId, "x");
         },
         1, "supportedTypes"},
        {"settings model null", R"({"deviceAgentSettingsModel":null})", settings(QJsonValue())},
        {"settings model number", R"({"deviceAgentSettingsModel":5})", settings(QJsonValue(5))},
        {"settings model array", R"({"deviceAgentSettingsModel":[1]})", settings(QJsonArray{1})},
        {"two unrelated failures share one path", R"({"eventTypes":[{"id":5}],"supportedTypes":5})",
         [](const EngineManifest& m) { EXPECT_EQ(m.eventTypes.size(), 1u); }, 2, "supportedTypes.id"},
        {"top-level array touches nothing", R"([{"capabilities":"","supportedCameraVendors":[]}])",
         [](const EngineManifest& m) {
             EXPECT_EQ(static_cast<int>(m.capabilities), 128);
             EXPECT_EQ(m.supportedCameraVendors, std::vector<QString>{"previous"});
         },
         0, "", /*reads*/ false},
    };

    for (const ReadRow& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        VnJsonContext ctx;
        EngineManifest manifest = previousManifest();
        EXPECT_EQ(QJson::deserialize(&ctx, QByteArray(row.json), &manifest), row.reads);
        row.expect(manifest);
        EXPECT_EQ(capture.logger().records().size(), row.logLines);
        EXPECT_EQ(ctx.failedFieldPath().toStdString(), row.failedPath);
    }
}

TEST(EngineManifestReading, LogsTheKeyAndTheValueAtLevelThree)
{
    LogCapture capture(Level::verbose);
    VnJsonContext ctx;
    EngineManifest manifest;
    ASSERT_TRUE(QJson::deserialize(&ctx,
                                   QByteArray(R"({"eventTypes":[{"name":null,"internalEventId":"7"},)"
                                              R"({"internalEventId":2147483648}],"supportedCameraVendors":["a",5],)"
                                              R"("supportedCameraModels":{"b":true,"a":"é"}})"),
                                   &manifest));

    // Every kind of rejected value is quoted as its compact JSON text, top-level scalars included.
    // The tag names the reader's instantiation for the field's type.
    const auto line = [&](const QString& type, const QString& text) {
        return vorn::utils::log::LogRecord{Level::warning, "QJson::deserialize<" + type + ">", text};
    };
    const QString texts = "std::vector<QString, std::allocator<QString> > ";
    EXPECT_THAT(capture.logger().records(),
                ElementsAre(line("QString", "Can't deserialize field `name` from value `null`"),
                            line("int", "Can't deserialize field `internalEventId` from value `\"7\"`"),
                            line("int", "Can't deserialize field `internalEventId` from value `2147483648`"),
                            line(texts, R"(Can't deserialize field `supportedCameraVendors` from value `["a",5]`)"),
                            line(texts, QString::fromUtf8("Can't deserialize field `supportedCameraModels` from value "
                                                          "`{\"a\":\"\xC3\xA9\",\"b\":true}`"))));
    // Nothing clears the path: each later failure puts its key in front of the first one's.
    EXPECT_EQ(ctx.failedFieldPath(),
              "supportedCameraModels.supportedCameraVendors.internalEventId.internalEventId.name");
    EXPECT_EQ(ctx.failedValueText(), "null");
}

TEST(EngineManifestReading, MarksAbsentKeysAndFallsBackToTheDefaultOnBadText)
{
    VnJsonContext ctx;
    EngineManifest manifest;
    ASSERT_TRUE(QJson::deserialize(&ctx, QByteArray(R"({"capabilities":"deviceDependent"})"), &manifest));
    EXPECT_TRUE(ctx.missingFieldSeen());

    EngineManifest fallback;
    fallback.supportedCameraModels = {"fallback"};
    bool success = true;
    EXPECT_EQ(QJson::deserialized<EngineManifest>("{\"eventTypes\":", fallback, &success).supportedCameraModels,
              std::vector<QString>{"fallback"});
    EXPECT_FALSE(success);
}

TEST(EngineManifestWriting, LeavesOutEmptyFieldsAndRendersCompactText)
{
    EventType idAndName;
    idAndName.id = "x";
    idAndName.name = "y";
    EventType emptyBase;
    emptyBase.base = "";
    emptyBase.provider = "p";
    emptyBase.internalNumericAttributes = {"", "a"};
    EngineManifest withMap;
    withMap.eventNumericAttributes["\xC3\xA9"] = NumericAttribute{"e", {}};
    withMap.eventNumericAttributes["B"] = NumericAttribute{};
    withMap.eventNumericAttributes["a"] = NumericAttribute{"", {"0", ""}};
    withMap.capabilities = Capabilities(QFlag(129));
    EventType flagged;
    flagged.flags = EventTypeFlags(QFlag(9));
    flagged.internalEventId = -3;

    struct Row
    {
        const char* name;
        QByteArray actual;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"default event type", QJson::serialized(EventType()), R"({"flags":"","internalEventId":0})"},
        {"default manifest", QJson::serialized(EngineManifest()),
         R"({"capabilities":"noCapabilities","deviceAgentSettingsModel":null,"eventNumericAttributes":{}})"},
        {"default numeric attribute", QJson::serialized(NumericAttribute()), "{}"},
        {"event type with id and name", QJson::serialized(idAndName),
         R"({"flags":"","id":"x","internalEventId":0,"name":"y"})"},
        {"empty base, provider, empty list element", QJson::serialized(emptyBase),
         R"({"base":"","flags":"","internalEventId":0,"internalNumericAttributes":["","a"],"provider":"p"})"},
        {"flags and a negative number", QJson::serialized(flagged),
         R"({"flags":"stateDependent|useTrackBestShotAsPreview","internalEventId":-3})"},
        {"map sorted by key, UTF-8 keys, default entries", QJson::serialized(withMap),
         "{\"capabilities\":\"needUncompressedVideoFrames_yuv420|deviceDependent\","
         "\"deviceAgentSettingsModel\":null,\"eventNumericAttributes\":{\"B\":{},\"a\":{\"values\":[\"0\",\"\"]},"
         "\"\xC3\xA9\":{\"name\":\"e\"}}}"},
        {"array of a string and a number", QJson::serialized(QJsonValue(QJsonArray{"a", 1})), R"(["a",1])"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual.toStdString(), row.expected);
    }
}

TEST(EngineManifestWriting, EmbeddedManifestSurvivesAReadWriteRead)
{
    QFile file(":/zodivadad/manifest_zodivadad.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    bool success = false;
    const auto manifest = QJson::deserialized<EngineManifest>(file.readAll(), EngineManifest(), &success);
    ASSERT_TRUE(success);
    const QByteArray written = QJson::serialized(manifest);
    EXPECT_FALSE(written.contains('\n'));
    const auto again = QJson::deserialized<EngineManifest>(written, EngineManifest(), &success);
    ASSERT_TRUE(success);
    EXPECT_EQ(QJson::serialized(again), written);
    ASSERT_EQ(again.eventTypes.size(), 17u);
    EXPECT_EQ(again.eventTypes[16].subsectionWithArray, "face_data");
    EXPECT_EQ(again.eventNumericAttributes.at("line").values.size(), 5u);
}

} // namespace
