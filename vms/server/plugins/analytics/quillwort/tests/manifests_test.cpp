// The three manifests: the plugin's and the engine's fixed texts, and the device agent's, built from what
// the notification processors published.
#include <vorn/vms_server_plugins/analytics/axis/device_agent_manifest.h>
#include <vorn/vms_server_plugins/analytics/axis/engine.h>
#include <vorn/vms_server_plugins/analytics/axis/plugin.h>

#include <gtest/gtest.h>

namespace vorn::vms_server_plugins::analytics::axis {
namespace {

TEST(AxisManifests, PluginAndEngineManifestsAreExact)
{
    EXPECT_EQ(Plugin::manifest(), R"({"id":"vorn.axis","name":"Axis","description":"Enables in-camera analytics )"
                                  R"(support for Axis IP Cameras","version":"1.0.0","vendor":"Axis"})");
    EXPECT_EQ(Engine::manifest(),
              R"({"capabilities":"deviceDependent|noAutoBestShots","streamTypeFilter":"metadata"})");
}

TEST(AxisManifests, DeviceAgentManifest)
{
    const ObjectType plate{"vorn.base.LicensePlate", "vorn.axis.object.LicensePlate", {"Number", "Country"}};
    struct Row
    {
        const char* name;
        std::vector<EventType> eventTypes;
        std::vector<ObjectType> objectTypes;
        std::string expected;
    };
    const Row rows[] = {
        {"nothing published", {}, {}, R"({"eventTypes":[],"typeLibrary":{"objectTypes":[]},"supportedTypes":[]})"},
        {"licence plates only",
         {{"vorn.axis.event.LicensePlateDetected", "License plate detected", false}},
         {plate},
         R"({"eventTypes":[{"id":"vorn.axis.event.LicensePlateDetected","name":"License plate detected"}],)"
         R"("typeLibrary":{"objectTypes":[{"base":"vorn.base.LicensePlate","id":"vorn.axis.object.LicensePlate",)"
         R"("flags":"hiddenDerivedType"}]},"supportedTypes":[{"objectTypeId":"vorn.axis.object.LicensePlate",)"
         R"("attributes":["Country","Number"]},{"objectTypeId":"vorn.base.LicensePlate",)"
         R"("attributes":["Country","Number"]}]})"},
        {"prolonged event in given order, UTF-8 names",
         {{"b", QString::fromUtf8("Bew\xC3\xA4gung"), true}, {"a", "A", false}},
         {},
         "{\"eventTypes\":[{\"id\":\"b\",\"name\":\"Bew\xC3\xA4gung\",\"flags\":\"stateDependent\"},"
         "{\"id\":\"a\",\"name\":\"A\"}],\"typeLibrary\":{\"objectTypes\":[]},\"supportedTypes\":[]}"},
        {"one base shared by two types: union of attributes",
         {},
         {{"base", "x", {"B"}}, {"base", "y", {"A"}}},
         R"({"eventTypes":[],"typeLibrary":{"objectTypes":[{"base":"base","id":"x","flags":"hiddenDerivedType"},)"
         R"({"base":"base","id":"y","flags":"hiddenDerivedType"}]},"supportedTypes":[)"
         R"({"objectTypeId":"base","attributes":["A","B"]},{"objectTypeId":"x","attributes":["B"]},)"
         R"({"objectTypeId":"y","attributes":["A"]}]})"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(deviceAgentManifest(row.eventTypes, row.objectTypes), row.expected);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::axis
