#include "device_agent_manifest.h"

#include <algorithm>

#include <QtCore/QJsonArray>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/device_agent_manifest.h>

#include "channel_factory.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace api = vorn::vms::api::analytics;

namespace {

api::EventType toServerEventType(const EventType& eventType)
{
    return api::EventType{
        eventType.id,         eventType.name,  eventType.icon,    eventType.base,    eventType.omittedBaseAttributes,
        eventType.attributes, eventType.flags, eventType.groupId, eventType.provider};
}

template <class List>
void keepAllowed(List* list, const std::set<QString>& allowed)
{
    const auto isNotAllowed = [&](const auto& item) { return allowed.count(item.id) == 0; };
    list->erase(std::remove_if(list->begin(), list->end(), isNotAllowed), list->end());
}

// Narrows a manifest read from the engine's text to the object types the camera offers and the types
// their attributes refer to.
void narrowTypes(api::DeviceAgentManifest* manifest, bool lprSupported)
{
    if (lprSupported)
        manifest->eventTypes.clear();

    const std::set<QString>& allowedObjects = allowedObjectTypes(lprSupported);
    std::set<QString> allowed = allowedObjects;
    // Only the camera's own object types admit subtypes; what they admit admits nothing further.
    for (const api::ObjectType& objectType : manifest->typeLibrary.objectTypes) {
        if (allowedObjects.count(objectType.id) == 0)
            continue;
        for (const api::AttributeDescription& attribute : objectType.attributes) {
            if (!attribute.subtype.isEmpty())
                allowed.insert(attribute.subtype);
        }
    }

    auto& supported = manifest->supportedTypes;
    supported.erase(std::remove_if(supported.begin(), supported.end(),
                                   [&](const api::TypeSupportInfo& info) {
                                       const QString& id =
                                           info.objectTypeId.isEmpty() ? info.eventTypeId : info.objectTypeId;
                                       return allowed.count(id) == 0;
                                   }),
                    supported.end());
    keepAllowed(&manifest->typeLibrary.objectTypes, allowed);
    keepAllowed(&manifest->typeLibrary.enumTypes, allowed);
    keepAllowed(&manifest->typeLibrary.colorTypes, allowed);
}

} // namespace

const std::set<QString>& allowedObjectTypes(bool lprSupported)
{
    static const std::set<QString> kLprCamera{
        "vorn.zodivadad.LicensePlate", "vorn.zodivadad.Vehicle", "vorn.zodivadad.Car",
        "vorn.zodivadad.Truck",        "vorn.zodivadad.Bus",     "vorn.zodivadad.Bike",
    };
    static const std::set<QString> kOtherCamera{
        "vorn.zodivadad.Vehicle",
        "vorn.zodivadad.Person",
    };
    return lprSupported ? kLprCamera : kOtherCamera;
}

QByteArray buildDeviceAgentManifest(const std::optional<QByteArray>& engineManifestText,
                                    const EngineManifest& engineManifest, bool lprSupported)
{
    api::DeviceAgentManifest manifest;
    if (!engineManifestText) {
        for (const EventType& eventType : engineManifest.eventTypes)
            manifest.eventTypes.push_back(toServerEventType(eventType));
    } else {
        // A text that the reader rejects gives a manifest without types; the settings still follow.
        VnJsonContext context;
        api::DeviceAgentManifest read;
        if (QJson::deserialize(&context, *engineManifestText, &read)) {
            manifest = std::move(read);
            narrowTypes(&manifest, lprSupported);
        }
    }

    // The settings of the channel that this camera does not use.
    const QString unusedChannel = QString::fromLatin1(lprSupported ? kVcaChannelName : kLprChannelName);
    manifest.deviceAgentSettingsModel =
        removeSettingsItems(engineManifest.deviceAgentSettingsModel.toObject(), unusedChannel);

    VnJsonContext context;
    QByteArray text;
    QJson::serialize(&context, manifest, &text);
    return text;
}

QJsonObject removeSettingsItems(QJsonObject settingsModel, const QString& namePrefix)
{
    QJsonArray items = settingsModel.value(QStringLiteral("items")).toArray();
    for (int i = 0; i < items.size();) {
        const QString name = items.at(i).toObject().value(QStringLiteral("name")).toString();
        if (name.startsWith(namePrefix, Qt::CaseSensitive))
            items.removeAt(i);
        else
            ++i;
    }
    settingsModel.insert(QStringLiteral("items"), items);
    return settingsModel;
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
