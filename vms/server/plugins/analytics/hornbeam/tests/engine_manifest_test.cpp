#include <string>
#include <vector>

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <gtest/gtest.h>

#include <vorn/utils/log/log_capture.h>
#include <vorn/vms_server_plugins/analytics/uniview/engine_manifest.h>

#include "hornbeam_test_support.h"

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using hornbeam_test::logged;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using Capability = vorn::vms::api::analytics::EngineManifest::Capability;
using vorn::vms::api::analytics::EventTypeFlag;

using Triggers = std::vector<std::string>;

std::vector<std::string> ids(const EngineManifest& manifest)
{
    std::vector<std::string> result;
    for (const EventType& type : manifest.eventTypes)
        result.push_back(type.id.toStdString());
    return result;
}

TEST(UniviewEngineManifest, TheEmbeddedDocument)
{
    const QByteArray text = hornbeam_test::embeddedResource(":/uniview/manifest.json");
    bool ok = false;
    const auto manifest = QJson::deserialized<EngineManifest>(text, EngineManifest(), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(static_cast<int>(manifest.capabilities), (1 << 7) | (1 << 9));
    ASSERT_EQ(manifest.eventTypes.size(), 22U);

    const EventType& motion = manifest.eventTypes[0];
    EXPECT_EQ(motion.id, "vorn.uniview.Motion");
    EXPECT_EQ(motion.name, "Motion");
    EXPECT_EQ(motion.flags, vorn::vms::api::analytics::EventTypeFlags(EventTypeFlag::stateDependent));
    EXPECT_EQ(motion.triggers, (Triggers{"MotionAlarmOn", "MotionAlarmOff"}));
    EXPECT_FALSE(motion.base);
    EXPECT_TRUE(motion.provider.isEmpty());
    EXPECT_FALSE(motion.provider.isNull());

    const EventType& lineCrossed = manifest.eventTypes[3];
    EXPECT_EQ(lineCrossed.id, "vorn.uniview.LineCrossed");
    EXPECT_EQ(static_cast<int>(lineCrossed.flags), 0);
    EXPECT_EQ(lineCrossed.triggers, Triggers{"LineDetectorCrossed"});

    // Nine state-dependent types with a start and an end trigger; the rest have one trigger.
    int stateDependent = 0;
    for (const EventType& type : manifest.eventTypes) {
        SCOPED_TRACE(type.id.toStdString());
        const bool isStateDependent = type.flags.testFlag(EventTypeFlag::stateDependent);
        stateDependent += isStateDependent ? 1 : 0;
        EXPECT_EQ(type.triggers.size(), isStateDependent ? 2U : 1U);
        EXPECT_TRUE(type.attributes.empty());
    }
    EXPECT_EQ(stateDependent, 9);
    EXPECT_EQ(ids(manifest).back(), "vorn.uniview.ObjTracking");

    const QJsonObject document = QJsonDocument::fromJson(text).object();
    EXPECT_EQ(document["streamTypeFilter"].toString(), "compressedVideo");
    EXPECT_EQ(document["supportedTypes"].toArray().size(), 5);
    EXPECT_EQ(document["typeLibrary"].toObject()["objectTypes"].toArray().size(), 5);
    EXPECT_EQ(document["typeLibrary"].toObject()["enumTypes"].toArray().size(), 4);
}

TEST(UniviewEngineManifest, ReadsWhatItCanAndLogsTheRest)
{
    const struct
    {
        const char* name;
        const char* text;
        bool ok;
        std::vector<std::string> ids;
        std::vector<Triggers> triggers;
        const char* message; //< level-3 line, "" for none
    } rows[] = {
        {"no triggers", R"({"eventTypes": [{"id": "a"}]})", true, {"a"}, {{}}, ""},
        {"triggers as a text",
         R"({"eventTypes": [{"id": "a", "triggers": "On", "groupId": "g"}, {"id": "b", "triggers": ["X"]}]})",
         true,
         {"a", "b"},
         {{}, {"X"}},
         "Can't deserialize field `triggers` from value `\"On\"`"},
        {"a number before a text in the triggers",
         R"({"eventTypes": [{"id": "a", "triggers": [1, "On"]}]})",
         true,
         {"a"},
         {{""}},
         "Can't deserialize field `triggers`"},
        {"the third event type is a number",
         R"({"eventTypes": [{"id": "a"}, {"id": "b"}, 3, {"id": "d"}]})",
         true,
         {"a", "b", ""},
         {{}, {}, {}},
         "Can't deserialize field `eventTypes`"},
        {"event types as an object",
         R"({"eventTypes": {"id": "a"}, "capabilities": "deviceDependent"})",
         true,
         {},
         {},
         "Can't deserialize field `eventTypes`"},
        {"unknown keys are passed over",
         R"({"streamTypeFilter": "compressedVideo", "typeLibrary": {}, "x": 1, "eventTypes": [{"id": "a"}]})",
         true,
         {"a"},
         {{}},
         ""},
        {"optional and list texts",
         R"({"eventTypes": [{"id": "a", "base": "b", "omittedBaseAttributes": ["c", 2]}]})",
         true,
         {"a"},
         {{}},
         "Can't deserialize field `omittedBaseAttributes`"},
        {"a top-level array", R"([{"eventTypes": []}])", false, {}, {}, ""},
        {"not JSON", "{eventTypes", false, {}, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        bool ok = false;
        const auto manifest = QJson::deserialized<EngineManifest>(row.text, EngineManifest(), &ok);
        EXPECT_EQ(ok, row.ok);
        EXPECT_EQ(ids(manifest), row.ids);
        std::vector<Triggers> triggers;
        for (const EventType& type : manifest.eventTypes)
            triggers.push_back(type.triggers);
        EXPECT_EQ(triggers, row.triggers);
        if (*row.message) {
            EXPECT_TRUE(logged(capture, row.message)) << capture.logger().texts().join("\n").toStdString();
            EXPECT_EQ(capture.logger().records().front().level, Level::warning);
        } else {
            EXPECT_TRUE(capture.logger().records().empty());
        }
    }
}

TEST(UniviewEngineManifest, AKeyOfTheWrongTypeLeavesTheRestOfTheRecord)
{
    LogCapture capture(Level::verbose);
    const auto manifest = QJson::deserialized<EngineManifest>(
        R"({"capabilities": 7.5, "eventTypes": [{"id": "a", "name": 3, "flags": "stateDependent|hidden",
            "base": "vorn.base.Event", "omittedBaseAttributes": ["x"], "triggers": ["On", "Off"]}]})");
    EXPECT_EQ(static_cast<int>(manifest.capabilities), 7); // A number is taken as raw bits.
    ASSERT_EQ(manifest.eventTypes.size(), 1U);
    const EventType& type = manifest.eventTypes[0];
    EXPECT_TRUE(type.name.isNull());
    EXPECT_EQ(type.flags, EventTypeFlag::stateDependent | EventTypeFlag::hidden);
    EXPECT_EQ(type.base, "vorn.base.Event");
    EXPECT_EQ(type.omittedBaseAttributes, std::vector<QString>{"x"});
    EXPECT_EQ(type.triggers, (Triggers{"On", "Off"}));
    EXPECT_TRUE(logged(capture, "Can't deserialize field `name` from value `3`"));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
