// vorn::vms::api::analytics::ObjectType: an object type of a manifest's type library, with its flag
// enum ObjectTypeFlag ("hiddenDerivedType" marks a type that specialises a base type without being
// shown beside it).
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <QtCore/QFlags>
#include <QtCore/QJsonValue>
#include <QtCore/QString>

#include <vorn/vms/api/analytics/attribute_description.h>

class VnJsonContext;

namespace vorn::vms::api::analytics {

enum class ObjectTypeFlag {
    noFlags = 0,
    hidden = 1 << 0,
    nonIndexable = 1 << 1,
    liveOnly = 1 << 2,
    hiddenDerivedType = 1 << 3,
};
Q_DECLARE_FLAGS(ObjectTypeFlags, ObjectTypeFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(ObjectTypeFlags)

/** The name table of the flag-text conversions: the empty name comes first for 0. */
constexpr std::array<std::pair<int, std::string_view>, 6> flagNames(ObjectTypeFlag)
{
    return {{
        {0, ""},
        {static_cast<int>(ObjectTypeFlag::noFlags), "noFlags"},
        {static_cast<int>(ObjectTypeFlag::hidden), "hidden"},
        {static_cast<int>(ObjectTypeFlag::nonIndexable), "nonIndexable"},
        {static_cast<int>(ObjectTypeFlag::liveOnly), "liveOnly"},
        {static_cast<int>(ObjectTypeFlag::hiddenDerivedType), "hiddenDerivedType"},
    }};
}

struct ObjectType
{
    QString id;
    QString name;
    QString icon;
    std::optional<QString> base;
    std::vector<QString> omittedBaseAttributes;
    std::vector<AttributeDescription> attributes;
    ObjectTypeFlags flags;
    QString provider;
};

/** Keys "id", "name", "icon", "base", "omittedBaseAttributes", "attributes", "flags", "provider". */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ObjectType* target);
void serialize(VnJsonContext* ctx, const ObjectType& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
