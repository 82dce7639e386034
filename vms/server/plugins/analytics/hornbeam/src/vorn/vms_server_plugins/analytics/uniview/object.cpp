#include "object.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>

#include "json_to_int.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::log_support::PeerText;

using vorn::kit::detail::json11::Json;

namespace {

// The camera gives coordinates in 1/10000 of the frame.
constexpr float kPositionScale = 10000;

constexpr PositionBox kNoBox{};

bool isInsideFrame(const PositionBox& box)
{
    // Written so that a NaN fails every comparison and so the whole test.
    return box.x >= 0 && box.y >= 0 && box.width >= 0 && box.height >= 0 && box.x + box.width <= 1 &&
           box.y + box.height <= 1;
}

} // namespace

PositionBox parsePosition(const Json& object)
{
    const std::string& text = object["Position"].string_value();
    const QString position = QString::fromLatin1(text.data(), static_cast<int>(text.size()));

    const QStringList points = position.split(QLatin1Char(';'), Qt::KeepEmptyParts);
    if (points.size() != 2) {
        VN_LOG(3, typeid(Object), "Unexpected position format: %1", PeerText(text));
        return kNoBox;
    }
    const QStringList first = points.front().split(QLatin1Char(','), Qt::KeepEmptyParts);
    const QStringList second = points.back().split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (first.size() != 2 || second.size() != 2) {
        VN_LOG(3, typeid(Object), "Unexpected dot count: %1,%2 instead of 2,2", first.size(), second.size());
        return kNoBox;
    }

    // toFloat() reads the C locale's form whatever the process locale is, and gives 0 for what is no number.
    PositionBox box;
    box.x = first[0].toFloat() / kPositionScale;
    box.y = first[1].toFloat() / kPositionScale;
    box.width = second[0].toFloat() / kPositionScale - box.x;
    box.height = second[1].toFloat() / kPositionScale - box.y;
    return box;
}

std::optional<Object> Object::fromJson(const Json& json, const ObjectTypeDescriptor& type)
{
    Object object;
    object.typeId = type.typeId;

    const std::optional<int> id = jsonToInt(json[type.idKey]);
    if (!id || *id < 0 || object.typeId.empty()) {
        VN_LOG(3, typeid(Object), "Cannot parse object id from JSON");
        return std::nullopt;
    }
    object.id = *id;
    object.smallPicIndex = jsonToInt(json["SmallPicAttachIndex"]).value_or(-1);
    object.largePicIndex = jsonToInt(json["LargePicAttachIndex"]).value_or(-1);

    if (const PositionBox box = parsePosition(json); isInsideFrame(box)) {
        object.x = box.x;
        object.y = box.y;
        object.width = box.width;
        object.height = box.height;
    }

    const Json& group = json[type.attributeGroupKey];
    if (group.is_object() && type.attributes) {
        for (const AttributeDescriptor& row : *type.attributes) {
            const Json& value = group[row.cameraKey];
            if (value.is_null())
                continue;
            if (std::optional<std::string> text = row.convert(value)) {
                object.attributes.push_back(
                    vorn::sdk::makePtr<vorn::sdk::Attribute>(row.type, row.attributeName, std::move(*text), 1.0F));
            }
        }
    }
    return object;
}

} // namespace vorn::vms_server_plugins::analytics::uniview
