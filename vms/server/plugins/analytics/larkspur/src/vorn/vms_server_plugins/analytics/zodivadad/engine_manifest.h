// zodivadad::EngineManifest: the typed copy of an engine manifest that the engine keeps beside the
// manifest text.
//
// Read once when the engine is made and never changed; the device agents look event types and numeric
// attributes up in it from any thread. Keys without a field ("streamTypeFilter", "typeLibrary") are
// passed over: they reach the server only in the manifest text.
//
//     bool ok = false;
//     const auto manifest = QJson::deserialized<EngineManifest>(text, EngineManifest(), &ok);
//
// Reading is tolerant (json.h): a bad key is logged at level 3 and skipped, and only a text that is
// not a JSON object fails, leaving the default record.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <QtCore/QJsonValue>
#include <QtCore/QList>
#include <QtCore/QString>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/engine_manifest.h>
#include <vorn/vms/api/analytics/type_support_info.h>

#include "event_type.h"
#include "numeric_attribute.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {

struct EngineManifest
{
    vorn::vms::api::analytics::EngineManifest::Capabilities capabilities;
    /** In manifest order: the first match of a lookup wins. */
    std::vector<EventType> eventTypes;
    /** Keyed by the member name in the camera's event JSON. */
    std::map<std::string, NumericAttribute> eventNumericAttributes;
    QList<vorn::vms::api::analytics::TypeSupportInfo> supportedTypes;
    /** Wildcard patterns of the camera vendors and models that the engine accepts. */
    std::vector<QString> supportedCameraVendors;
    std::vector<QString> supportedCameraModels;
    /** The settings model as the manifest holds it; null when the manifest has none. */
    QJsonValue deviceAgentSettingsModel;
};

constexpr auto jsonFields(const EngineManifest*)
{
    return std::tuple(QJson::field("capabilities", &EngineManifest::capabilities),
                      QJson::field("eventTypes", &EngineManifest::eventTypes),
                      QJson::field("eventNumericAttributes", &EngineManifest::eventNumericAttributes),
                      QJson::field("supportedTypes", &EngineManifest::supportedTypes),
                      QJson::field("supportedCameraVendors", &EngineManifest::supportedCameraVendors),
                      QJson::field("supportedCameraModels", &EngineManifest::supportedCameraModels),
                      QJson::field("deviceAgentSettingsModel", &EngineManifest::deviceAgentSettingsModel));
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
