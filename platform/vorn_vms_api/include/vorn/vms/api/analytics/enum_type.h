// vorn::vms::api::analytics::EnumType: an enumeration of a manifest's type library: the item texts an
// "Enum" attribute may take, optionally extending a base enumeration ("base", "baseItems").
#pragma once

#include <optional>
#include <vector>

#include <QtCore/QJsonValue>
#include <QtCore/QString>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct EnumType
{
    QString id;
    QString name;
    std::optional<QString> base;
    std::vector<QString> baseItems;
    std::vector<QString> items;
};

/** Keys "id", "name", "base", "baseItems", "items". */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, EnumType* target);
void serialize(VnJsonContext* ctx, const EnumType& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
