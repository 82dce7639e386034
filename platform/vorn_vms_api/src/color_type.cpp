#include <vorn/vms/api/analytics/color_type.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kColorItemFields =
    std::tuple(QJson::field("name", &ColorItem::name), QJson::field("rgb", &ColorItem::rgb));

constexpr auto kColorTypeFields = std::tuple(
    QJson::field("id", &ColorType::id), QJson::field("name", &ColorType::name), QJson::field("base", &ColorType::base),
    QJson::field("baseItems", &ColorType::baseItems), QJson::field("items", &ColorType::items));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ColorItem* target)
{
    return QJson::deserializeFields(ctx, value, target, kColorItemFields);
}

void serialize(VnJsonContext* ctx, const ColorItem& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kColorItemFields);
}

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, ColorType* target)
{
    return QJson::deserializeFields(ctx, value, target, kColorTypeFields);
}

void serialize(VnJsonContext* ctx, const ColorType& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kColorTypeFields);
}

} // namespace vorn::vms::api::analytics
