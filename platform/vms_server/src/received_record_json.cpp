#include <vorn/vms_server/received_record_json.h>

#include <charconv>
#include <cmath>

#include <boost/json/array.hpp>

namespace vorn::vms_server {

namespace {

boost::json::array attributesToJson(const std::vector<ReceivedAttribute>& attributes)
{
    boost::json::array array;
    for (const auto& attribute : attributes) {
        array.push_back(boost::json::object{{"type", attribute.type},
                                            {"name", attribute.name},
                                            {"value", attribute.value},
                                            {"confidence", floatToJsonNumber(attribute.confidence)}});
    }
    return array;
}

boost::json::object boxToJson(const sdk::analytics::BoundingBox& box)
{
    return {{"x", floatToJsonNumber(box.x)},
            {"y", floatToJsonNumber(box.y)},
            {"width", floatToJsonNumber(box.width)},
            {"height", floatToJsonNumber(box.height)}};
}

boost::json::object toJson(const ReceivedEventPacket& packet)
{
    boost::json::object json{
        {"kind", "eventPacket"}, {"timestampUs", packet.timestampUs}, {"durationUs", packet.durationUs}};
    if (packet.flags)
        json["flags"] = *packet.flags;
    boost::json::array items;
    for (const auto& item : packet.items) {
        boost::json::object itemJson{{"typeId", item.typeId}};
        if (item.trackId)
            itemJson["trackId"] = formatUuid(*item.trackId);
        itemJson["caption"] = item.caption;
        itemJson["description"] = item.description;
        itemJson["isActive"] = item.isActive;
        if (item.key)
            itemJson["key"] = *item.key;
        itemJson["confidence"] = floatToJsonNumber(item.confidence);
        itemJson["attributes"] = attributesToJson(item.attributes);
        items.push_back(std::move(itemJson));
    }
    json["items"] = std::move(items);
    return json;
}

boost::json::object toJson(const ReceivedObjectPacket& packet)
{
    boost::json::object json{
        {"kind", "objectPacket"}, {"timestampUs", packet.timestampUs}, {"durationUs", packet.durationUs}};
    if (packet.flags)
        json["flags"] = *packet.flags;
    boost::json::array items;
    for (const auto& item : packet.items) {
        items.push_back(boost::json::object{{"typeId", item.typeId},
                                            {"trackId", formatUuid(item.trackId)},
                                            {"confidence", floatToJsonNumber(item.confidence)},
                                            {"boundingBox", boxToJson(item.boundingBox)},
                                            {"attributes", attributesToJson(item.attributes)}});
    }
    json["items"] = std::move(items);
    return json;
}

boost::json::object toJson(const ReceivedBestShot& bestShot)
{
    boost::json::object json{
        {"kind", "bestShot"}, {"trackId", formatUuid(bestShot.trackId)}, {"timestampUs", bestShot.timestampUs}};
    if (bestShot.flags)
        json["flags"] = *bestShot.flags;
    json["boundingBox"] = boxToJson(bestShot.boundingBox);
    if (bestShot.imageUrl) {
        json["imageUrl"] = *bestShot.imageUrl;
        json["imageFormat"] = bestShot.imageFormat.value_or(std::string());
        json["imageSize"] = bestShot.imageData.size();
        json["attributes"] = attributesToJson(bestShot.attributes);
    }
    return json;
}

boost::json::object toJson(const ReceivedDiagnostic& diagnostic)
{
    return {{"kind", "diagnostic"},
            {"level", diagnostic.level},
            {"caption", diagnostic.caption},
            {"description", diagnostic.description}};
}

boost::json::object toJson(const ReceiverFault& fault)
{
    return {{"kind", "error"}, {"operation", "receiveMetadata"}, {"code", nullptr}, {"message", fault.message}};
}

} // namespace

boost::json::object toJson(const ReceivedRecord& record)
{
    return std::visit([](const auto& value) { return toJson(value); }, record);
}

std::string formatUuid(const sdk::Uuid& uuid)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(kHex[uuid.bytes[i] >> 4]);
        text.push_back(kHex[uuid.bytes[i] & 0xF]);
    }
    return text;
}

double floatToJsonNumber(float value)
{
    if (!std::isfinite(value))
        return static_cast<double>(value);
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof(buffer), value).ptr;
    double result = 0;
    std::from_chars(buffer, end, result);
    return result;
}

} // namespace vorn::vms_server
