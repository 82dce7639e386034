// vorn::vms::api::analytics::ColorType: a colour set of a manifest's type library: named colours with
// their RGB text ("#00FFFF"), optionally extending a base colour set whose items it names in
// "baseItems".
#pragma once

#include <optional>
#include <vector>

#include <QtCore/QJsonValue>
#include <QtCore/QString>

class VnJsonContext;

namespace vorn::vms::api::analytics {

struct ColorItem
{
    QString name;
    QString rgb;
};

struct ColorType
{
    QString id;
    QString name;
    std::optional<QString> base;
    std::vector<QString> baseItems;
    std::vector<ColorItem> items;
};

/** Keys "name", "rgb". */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ColorItem* target);
void serialize(VnJsonContext* ctx, const ColorItem& value, QJsonValue* target);

/** Keys "id", "name", "base", "baseItems", "items". */
bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ColorType* target);
void serialize(VnJsonContext* ctx, const ColorType& value, QJsonValue* target);

} // namespace vorn::vms::api::analytics
