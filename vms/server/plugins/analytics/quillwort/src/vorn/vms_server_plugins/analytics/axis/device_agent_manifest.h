// The device agent manifest: the event types and object types that a camera's notification processors
// published, as the JSON text the server reads.
//
//     deviceAgentManifest({{"vorn.axis.event.LicensePlateDetected", "License plate detected", false}}, {...});
//     // {"eventTypes":[{"id":...,"name":...}],"typeLibrary":{"objectTypes":[...]},"supportedTypes":[...]}
#pragma once

#include <string>
#include <vector>

#include "metadata_types.h"

namespace vorn::vms_server_plugins::analytics::axis {

/**
 * Compact JSON with the keys in the server's order: "eventTypes" in the given order (prolonged ones with
 * "flags":"stateDependent"), "typeLibrary" with "objectTypes" (each a "hiddenDerivedType" of its base),
 * and "supportedTypes": every base id and object type id, in text order, with the union of the attribute
 * names of the object types that name it.
 */
std::string deviceAgentManifest(const std::vector<EventType>& eventTypes, const std::vector<ObjectType>& objectTypes);

} // namespace vorn::vms_server_plugins::analytics::axis
