// vorn::vms::api::analytics::DeviceAgentManifest: what one device agent tells the server it offers:
// event types, supported object and event types, the type library they refer to and the settings model.
//
// The reader passes over keys it does not know, so an engine manifest can be read as a device agent
// manifest and narrowed to one camera:
//
//     VnJsonContext ctx;
//     DeviceAgentManifest manifest;
//     QJson::deserialize(&ctx, engineManifestText, &manifest);
//     std::erase_if(manifest.typeLibrary.enumTypes, [&](const EnumType& t) { return !allowed(t.id); });
//     const QByteArray text = QJson::serialized(manifest);
//
// Engine capabilities are no device agent's: the engine manifest's "capabilities" is passed over.
#pragma once

#include <vector>

#include <QtCore/QJsonValue>
#include <QtCore/QList>

#include <vorn/vms/api/analytics/event_type.h>
#include <vorn/vms/api/analytics/type_library.h>
#include <vorn/vms/api/analytics/type_support_info.h>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct DeviceAgentManifest
{
    std::vector<EventType> eventTypes;
    QList<TypeSupportInfo> supportedTypes;
    TypeLibrary typeLibrary;
    QJsonValue deviceAgentSettingsModel;
};

/**
 * Keys "eventTypes", "supportedTypes", "typeLibrary", "deviceAgentSettingsModel". The type library
 * and the settings model are always written, empty lists are not.
 */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, DeviceAgentManifest* target);
void serialize(VnJsonContext* ctx, const DeviceAgentManifest& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
