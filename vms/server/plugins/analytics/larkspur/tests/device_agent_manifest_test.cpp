#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/device_agent_manifest.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/engine.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;

QStringList idsOf(const QJsonValue& list, const QString& key = "id")
{
    QStringList ids;
    for (const QJsonValue& item : list.toArray())
        ids << item.toObject()[key].toString();
    return ids;
}

QStringList settingNames(const QJsonObject& manifest)
{
    return idsOf(manifest["deviceAgentSettingsModel"].toObject()["items"], "name");
}

struct Narrowed
{
    QByteArray text;
    QJsonObject json;
};

Narrowed narrow(const QString& engineManifestName, bool lprSupported, const QByteArray& replacement = {})
{
    larkspur_test::ScopedWorkingFolder folder;
    if (!replacement.isEmpty())
        folder.writeManifest(engineManifestName, replacement);
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), engineManifestName);
    Result<const IString*> result;
    engine->getManifest(&result);
    const Ptr<const IString> text = toPtr(result.value);
    Narrowed narrowed;
    narrowed.text = buildDeviceAgentManifest(QByteArray(text->text()), engine->manifest(), lprSupported);
    narrowed.json = QJsonDocument::fromJson(narrowed.text).object();
    return narrowed;
}

const QStringList kLprObjects{"vorn.zodivadad.LicensePlate", "vorn.zodivadad.Vehicle", "vorn.zodivadad.Car",
                              "vorn.zodivadad.Truck",        "vorn.zodivadad.Bus",     "vorn.zodivadad.Bike"};

TEST(DeviceAgentManifest, NarrowsTheEngineManifestToTheCamera)
{
    const struct
    {
        const char* engineManifest;
        bool lprSupported;
        int eventTypes;
        QStringList objects; //< "supportedTypes" and "typeLibrary" "objectTypes" alike.
        QStringList enumTypes;
        QStringList colorTypes;
        QStringList settings;
    } rows[] = {
        {"manifest_zodivadad",
         false,
         17,
         {"vorn.zodivadad.Vehicle", "vorn.zodivadad.Person"},
         {"vorn.zodivadad.Direction"},
         {"vorn.zodivadad.Color"},
         {"VCA.Port"}},
        {"manifest_zodivadad",
         true,
         0,
         kLprObjects,
         {"vorn.zodivadad.LicensePlateType", "vorn.zodivadad.Direction"},
         {"vorn.zodivadad.Color"},
         {"LPR.Port"}},
        {"manifest_zidezozi",
         false,
         17,
         {"vorn.zodivadad.Vehicle"},
         {"vorn.zodivadad.Direction"},
         {"vorn.zodivadad.Color"},
         {"VCA.Port"}},
        {"manifest_zidezozi",
         true,
         0,
         kLprObjects,
         {"vorn.zodivadad.LicensePlateType", "vorn.zodivadad.Direction"},
         {"vorn.zodivadad.Color"},
         {"LPR.Port"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.engineManifest) + (row.lprSupported ? " LPR" : " non-LPR"));
        const Narrowed manifest = narrow(row.engineManifest, row.lprSupported);
        EXPECT_EQ(manifest.json["eventTypes"].toArray().size(), row.eventTypes);
        EXPECT_EQ(idsOf(manifest.json["supportedTypes"], "objectTypeId"), row.objects);
        const QJsonObject typeLibrary = manifest.json["typeLibrary"].toObject();
        EXPECT_EQ(idsOf(typeLibrary["objectTypes"]), row.objects);
        EXPECT_EQ(idsOf(typeLibrary["enumTypes"]), row.enumTypes);
        EXPECT_EQ(idsOf(typeLibrary["colorTypes"]), row.colorTypes);
        EXPECT_EQ(settingNames(manifest.json), row.settings);
        EXPECT_EQ(manifest.text, QJsonDocument(manifest.json).toJson(QJsonDocument::Compact));
    }
}

TEST(DeviceAgentManifest, OnlyTheCamerasOwnObjectTypesAdmitSubtypes)
{
    // The truck is no object type of a camera without licence-plate support, so the enumeration that
    // only it refers to goes with it; with licence-plate support both stay.
    QJsonObject manifest = QJsonDocument::fromJson(larkspur_test::embeddedManifest("manifest_zodivadad")).object();
    QJsonObject typeLibrary = manifest["typeLibrary"].toObject();
    QJsonArray objectTypes = typeLibrary["objectTypes"].toArray();
    for (int i = 0; i < objectTypes.size(); ++i) {
        QJsonObject objectType = objectTypes[i].toObject();
        if (objectType["id"] == "vorn.zodivadad.Truck") {
            objectType["attributes"] =
                QJsonArray{QJsonObject{{"name", "Load"}, {"subtype", "vorn.test.Load"}, {"type", "Enum"}}};
            objectTypes[i] = objectType;
        }
    }
    typeLibrary["objectTypes"] = objectTypes;
    QJsonArray enumTypes = typeLibrary["enumTypes"].toArray();
    enumTypes.append(QJsonObject{{"id", "vorn.test.Load"}, {"name", "Load"}, {"items", QJsonArray{"Empty"}}});
    typeLibrary["enumTypes"] = enumTypes;
    manifest["typeLibrary"] = typeLibrary;
    const QByteArray text = QJsonDocument(manifest).toJson();

    const QJsonObject other = narrow("manifest_zodivadad", false, text).json;
    EXPECT_EQ(idsOf(other["typeLibrary"].toObject()["enumTypes"]), QStringList{"vorn.zodivadad.Direction"});
    const QJsonObject lpr = narrow("manifest_zodivadad", true, text).json;
    EXPECT_EQ(idsOf(lpr["typeLibrary"].toObject()["enumTypes"]),
              (QStringList{"vorn.zodivadad.LicensePlateType", "vorn.zodivadad.Direction", "vorn.test.Load"}));
}

TEST(DeviceAgentManifest, WithoutTheEngineTextEveryEventTypeIsOffered)
{
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
    const QJsonObject manifest =
        QJsonDocument::fromJson(buildDeviceAgentManifest(std::nullopt, engine->manifest(), /*lprSupported*/ true))
            .object();
    EXPECT_EQ(manifest["eventTypes"].toArray().size(), 17);
    EXPECT_EQ(manifest["eventTypes"].toArray()[0].toObject()["id"], "vorn.zodivadad.Motion");
    EXPECT_FALSE(manifest["eventTypes"].toArray()[0].toObject().contains("internalSection"));
    EXPECT_TRUE(manifest["supportedTypes"].toArray().isEmpty());
    EXPECT_EQ(settingNames(manifest), QStringList{"LPR.Port"});
}

TEST(DeviceAgentManifest, AnUnreadableEngineTextStillGetsTheSettings)
{
    larkspur_test::PluginWithClock host;
    const auto engine = makePtr<Engine>(host.plugin.get(), "manifest_zodivadad");
    for (const QByteArray& text : {QByteArray("not json"), QByteArray("[]"), QByteArray(R"({"eventTypes": 5})")}) {
        SCOPED_TRACE(text.toStdString());
        const QJsonObject manifest =
            QJsonDocument::fromJson(buildDeviceAgentManifest(text, engine->manifest(), false)).object();
        EXPECT_TRUE(manifest["eventTypes"].toArray().isEmpty());
        EXPECT_TRUE(manifest["supportedTypes"].toArray().isEmpty());
        EXPECT_EQ(settingNames(manifest), QStringList{"VCA.Port"});
    }

    const QJsonObject withoutModel =
        QJsonDocument::fromJson(buildDeviceAgentManifest(std::nullopt, EngineManifest(), false)).object();
    EXPECT_EQ(withoutModel["deviceAgentSettingsModel"], (QJsonObject{{"items", QJsonArray()}}));
}

TEST(DeviceAgentManifest, RemovesTheSettingsItemsOfAChannel)
{
    const QJsonObject model{{"type", "Settings"},
                            {"items", QJsonArray{QJsonObject{{"name", "LPR"}}, QJsonObject{{"name", "LPR.Port"}},
                                                 QJsonObject{{"name", "LPRX"}}, QJsonObject{{"name", "lpr.Port"}},
                                                 QJsonObject{{"name", "VCA.Port"}}, QJsonObject{{"name", "xLPR"}},
                                                 QJsonObject{{"caption", "no name"}}, 5}}};
    const QJsonObject filtered = removeSettingsItems(model, "LPR");
    EXPECT_EQ(filtered["type"], "Settings");
    EXPECT_EQ(filtered["items"].toArray(),
              (QJsonArray{QJsonObject{{"name", "lpr.Port"}}, QJsonObject{{"name", "VCA.Port"}},
                          QJsonObject{{"name", "xLPR"}}, QJsonObject{{"caption", "no name"}}, 5}));

    EXPECT_EQ(removeSettingsItems(QJsonObject{}, "LPR"), (QJsonObject{{"items", QJsonArray()}}));
    EXPECT_EQ(removeSettingsItems(QJsonObject{{"items", "x"}}, "LPR"), (QJsonObject{{"items", QJsonArray()}}));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
