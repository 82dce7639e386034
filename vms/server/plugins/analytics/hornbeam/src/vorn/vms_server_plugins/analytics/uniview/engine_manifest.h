// uniview::EngineManifest: the typed copy of the Uniview engine manifest that the engine keeps beside the
// manifest text: the capabilities and the event types with their triggers.
//
//     bool ok = false;
//     const auto manifest = QJson::deserialized<EngineManifest>(text, EngineManifest(), &ok);
//
// Reading is lenient (json.h): every key is optional, a key whose value does not fit is logged at
// level 3 and skipped, and only a text that is not a JSON object fails, leaving the default record.
// The other keys of the document ("streamTypeFilter", "supportedTypes", "typeLibrary") have no field:
// they reach the server only in the manifest text. Read once when the engine is made and never
// changed, so any thread may read it.
#pragma once

#include <tuple>
#include <vector>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/engine_manifest.h>

#include "event_type.h"

namespace vorn::vms_server_plugins::analytics::uniview {

struct EngineManifest
{
    vorn::vms::api::analytics::EngineManifest::Capabilities capabilities;
    /** In manifest order: the first event type with a matching trigger wins. */
    std::vector<EventType> eventTypes;
};

constexpr auto jsonFields(const EngineManifest*)
{
    return std::tuple(QJson::field("capabilities", &EngineManifest::capabilities),
                      QJson::field("eventTypes", &EngineManifest::eventTypes));
}

} // namespace vorn::vms_server_plugins::analytics::uniview
