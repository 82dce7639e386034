#include <gtest/gtest.h>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/device_agent_manifest.h>
#include <vorn/vms/api/analytics/plugin_manifest.h>

namespace {

using namespace vorn::vms::api::analytics;

TEST(PluginManifest, IsWrittenCompactWithItsSettingsModelAndRegisteredUnderItsClassName)
{
    const PluginManifest manifest{"vorn.x", "X", "The X plugin", "1.0.1", "X Corp", {}};
    EXPECT_EQ(QJson::serialized(manifest).toStdString(),
              R"({"description":"The X plugin","engineSettingsModel":{},"id":"vorn.x","name":"X","vendor":"X Corp",)"
              R"("version":"1.0.1"})");
    EXPECT_EQ(QMetaType::type("vorn::vms::api::analytics::PluginManifest"), qMetaTypeId<PluginManifest>());
}

TEST(DeviceAgentManifest, ReadsBackWhatItWrites)
{
    const QByteArray text = R"({"eventTypes":[{"id":"e","flags":"stateDependent|hidden","base":""}],)"
                            R"("supportedTypes":[{"objectTypeId":"o","attributes":["a"]},{"eventTypeId":"e"}],)"
                            R"("typeLibrary":{"objectTypes":[{"id":"o","base":"b","flags":"hiddenDerivedType",)"
                            R"("attributes":[{"name":"n","subtype":"s","type":"Enum"}]}],)"
                            R"("enumTypes":[{"id":"s","name":"S","items":["x","y"]}],)"
                            R"("colorTypes":[{"id":"c","name":"C","base":"vorn.base.Color","baseItems":["Red"],)"
                            R"("items":[{"name":"Cyan","rgb":"#00FFFF"}]}]},)"
                            R"("deviceAgentSettingsModel":{"items":[]},"capabilities":"deviceDependent"})";
    VnJsonContext ctx;
    DeviceAgentManifest manifest;
    ASSERT_TRUE(QJson::deserialize(&ctx, text, &manifest));
    EXPECT_TRUE(ctx.failedFieldPath().isEmpty());
    ASSERT_EQ(manifest.typeLibrary.objectTypes.size(), 1u);
    EXPECT_EQ(manifest.typeLibrary.objectTypes[0].flags, ObjectTypeFlags(ObjectTypeFlag::hiddenDerivedType));
    EXPECT_EQ(manifest.supportedTypes[1].eventTypeId, "e");

    const QByteArray written = QJson::serialized(manifest);
    EXPECT_EQ(written.toStdString(),
              R"({"deviceAgentSettingsModel":{"items":[]},"eventTypes":[{"base":"","flags":"stateDependent|hidden",)"
              R"("id":"e"}],"supportedTypes":[{"attributes":["a"],"objectTypeId":"o"},{"eventTypeId":"e"}],)"
              R"("typeLibrary":{"colorTypes":[{"base":"vorn.base.Color","baseItems":["Red"],"id":"c",)"
              R"("items":[{"name":"Cyan","rgb":"#00FFFF"}],"name":"C"}],"enumTypes":[{"id":"s","items":["x","y"],)"
              R"("name":"S"}],"objectTypes":[{"attributes":[{"name":"n","subtype":"s","type":"Enum"}],"base":"b",)"
              R"("flags":"hiddenDerivedType","id":"o"}]}})");

    DeviceAgentManifest again;
    ASSERT_TRUE(QJson::deserialize(&ctx, written, &again));
    EXPECT_EQ(QJson::serialized(again), written);
}

} // namespace
