// vorn::vms::api::analytics::EventType: an event type as manifests declare it, with its flag enum
// EventTypeFlag and the flag set EventTypeFlags.
//
// The flag set is a Qt meta-type named "vorn::vms::api::analytics::EventTypeFlags" (registered on first
// use), so a JSON context can hold a custom serializer for it. An empty set is written as "", the name
// that the table gives 0 ahead of "noFlags".
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <QtCore/QFlags>
#include <QtCore/QJsonValue>
#include <QtCore/QMetaType>
#include <QtCore/QString>

#include <vorn/fusion/serialization/serialization.h>
#include <vorn/vms/api/analytics/attribute_description.h>

class VnJsonContext;

namespace vorn::vms::api::analytics {

enum class EventTypeFlag {
    noFlags = 0,
    stateDependent = 1 << 0,
    regionDependent = 1 << 1,
    hidden = 1 << 2,
    useTrackBestShotAsPreview = 1 << 3,
};
Q_DECLARE_FLAGS(EventTypeFlags, EventTypeFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(EventTypeFlags)

/** The name table of the flag-text conversions: the empty name comes first for 0. */
constexpr std::array<std::pair<int, std::string_view>, 6> flagNames(EventTypeFlag)
{
    return {{
        {0, ""},
        {static_cast<int>(EventTypeFlag::noFlags), "noFlags"},
        {static_cast<int>(EventTypeFlag::stateDependent), "stateDependent"},
        {static_cast<int>(EventTypeFlag::regionDependent), "regionDependent"},
        {static_cast<int>(EventTypeFlag::hidden), "hidden"},
        {static_cast<int>(EventTypeFlag::useTrackBestShotAsPreview), "useTrackBestShotAsPreview"},
    }};
}

struct EventType
{
    QString id;
    QString name;
    QString icon;
    std::optional<QString> base;
    std::vector<QString> omittedBaseAttributes;
    std::vector<AttributeDescription> attributes;
    EventTypeFlags flags;
    QString groupId;
    QString provider;
};

/**
 * The field list of the nine keys, bound to the members of Record: EventType itself, or a plugin's record
 * that derives from EventType (or declares the same members) and appends keys of its own:
 *
 *     constexpr auto jsonFields(const MyEventType*)
 *     {
 *         return std::tuple_cat(eventTypeFields<MyEventType>(),
 *             std::tuple(QJson::field("triggers", &MyEventType::triggers)));
 *     }
 */
template <typename Record>
constexpr auto eventTypeFields()
{
    using QJson::field;
    return std::tuple(
        field<Record, QString>("id", &Record::id), field<Record, QString>("name", &Record::name),
        field<Record, QString>("icon", &Record::icon), field<Record, std::optional<QString>>("base", &Record::base),
        field<Record, std::vector<QString>>("omittedBaseAttributes", &Record::omittedBaseAttributes),
        field<Record, std::vector<AttributeDescription>>("attributes", &Record::attributes),
        field<Record, EventTypeFlags>("flags", &Record::flags), field<Record, QString>("groupId", &Record::groupId),
        field<Record, QString>("provider", &Record::provider));
}

/** Keys "id", "name", "icon", "base", "omittedBaseAttributes", "attributes", "flags", "groupId", "provider". */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, EventType* target);
void serialize(VnJsonContext* ctx, const EventType& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics

Q_DECLARE_METATYPE(vorn::vms::api::analytics::EventTypeFlags)
