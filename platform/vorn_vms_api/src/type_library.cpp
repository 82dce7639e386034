#include <vorn/vms/api/analytics/type_library.h>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms::api::analytics {

namespace {

constexpr auto kTypeLibraryFields = std::tuple(
    QJson::field("eventTypes", &TypeLibrary::eventTypes), QJson::field("objectTypes", &TypeLibrary::objectTypes),
    QJson::field("enumTypes", &TypeLibrary::enumTypes), QJson::field("colorTypes", &TypeLibrary::colorTypes));

} // namespace

bool deserialize(VnJsonContext* ctx, const QJsonValue& value, TypeLibrary* target)
{
    return QJson::deserializeFields(ctx, value, target, kTypeLibraryFields);
}

void serialize(VnJsonContext* ctx, const TypeLibrary& value, QJsonValue* target)
{
    QJson::serializeFields(ctx, value, target, kTypeLibraryFields);
}

} // namespace vorn::vms::api::analytics
