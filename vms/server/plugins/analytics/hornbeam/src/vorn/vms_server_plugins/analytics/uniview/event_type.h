// uniview::EventType: one event type of the Uniview engine manifest: the event type the server knows
// (the VMS API's record and its nine keys), followed by the camera alarm names that report it.
//
// The alarm processor finds an event type by one of its triggers; for a state-dependent type the first
// trigger starts the event and the second ends it:
//
//     if (const EventType* type = engine->eventTypeByTrigger(alarmName))
//         emitEvent(type->id, /*isActive*/ alarmName == type->triggers.front());
//
// A plain value record, read through its field list (the nine keys, then "triggers").
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/event_type.h>

namespace vorn::vms_server_plugins::analytics::uniview {

struct EventType : vorn::vms::api::analytics::EventType
{
    /** The provider is an empty text rather than a null one until the manifest names one. */
    EventType() { provider = QLatin1String(""); }

    /** Camera alarm names (UTF-8), in manifest order; compared byte for byte. */
    std::vector<std::string> triggers;
};

constexpr auto jsonFields(const EventType*)
{
    return std::tuple_cat(vorn::vms::api::analytics::eventTypeFields<EventType>(),
                          std::tuple(QJson::field("triggers", &EventType::triggers)));
}

} // namespace vorn::vms_server_plugins::analytics::uniview
