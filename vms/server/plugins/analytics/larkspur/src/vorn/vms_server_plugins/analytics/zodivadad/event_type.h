// zodivadad::EventType: one event type of the engine manifest: the nine fields that the server knows
// of every event type, then where the camera reports it and which of the camera event's members
// become attributes.
//
// The device agent finds an event type by ("internalSection", "internalEventId") and turns the
// camera's event into event metadata with the remaining fields. A plain value record, read and
// written through its field list; the key order of the list is the reading order.
#pragma once

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <QtCore/QString>

#include <vorn/fusion/serialization/json.h>
#include <vorn/vms/api/analytics/attribute_description.h>
#include <vorn/vms/api/analytics/event_type.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

struct EventType
{
    QString id;
    QString name;
    QString icon;
    std::optional<QString> base;
    std::vector<QString> omittedBaseAttributes;
    std::vector<vorn::vms::api::analytics::AttributeDescription> attributes;
    /** stateDependent marks an event that starts and ends (a prolonged event). */
    vorn::vms::api::analytics::EventTypeFlags flags;
    QString groupId;
    QString provider;

    /** The camera's event section that reports this type ("basicalarm", "vcaalarm", ...). */
    std::string internalSection;
    /** The camera's event number within that section. */
    int internalEventId = 0;
    /** Integer members of the camera's event that become attributes (keys of "eventNumericAttributes"). */
    std::vector<std::string> internalNumericAttributes;
    /** Integer member whose value gives the event's description. */
    std::string internalDescriptionNumericAttribute;
    /** Integer member whose set bits each give a separate event item. */
    std::string internalDescriptionMaskAttribute;
    /** Array member whose object elements are reported one by one. */
    std::string subsectionWithArray;
};

constexpr auto jsonFields(const EventType*)
{
    return std::tuple(
        QJson::field("id", &EventType::id), QJson::field("name", &EventType::name),
        QJson::field("icon", &EventType::icon), QJson::field("base", &EventType::base),
        QJson::field("omittedBaseAttributes", &EventType::omittedBaseAttributes),
        QJson::field("attributes", &EventType::attributes), QJson::field("flags", &EventType::flags),
        QJson::field("groupId", &EventType::groupId), QJson::field("provider", &EventType::provider),
        QJson::field("internalSection", &EventType::internalSection),
        QJson::field("internalEventId", &EventType::internalEventId),
        QJson::field("internalNumericAttributes", &EventType::internalNumericAttributes),
        QJson::field("internalDescriptionNumericAttribute", &EventType::internalDescriptionNumericAttribute),
        QJson::field("internalDescriptionMaskAttribute", &EventType::internalDescriptionMaskAttribute),
        QJson::field("subsectionWithArray", &EventType::subsectionWithArray));
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
