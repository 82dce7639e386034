#include "rtp_types.h"

#include <vorn/log_support/assert.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

namespace {

// Big-endian reads from bytes the caller has checked to be there.
uint16_t readUint16(std::string_view bytes, std::size_t offset)
{
    const auto* const b = reinterpret_cast<const uint8_t*>(bytes.data() + offset);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t readUint32(std::string_view bytes, std::size_t offset)
{
    const auto* const b = reinterpret_cast<const uint8_t*>(bytes.data() + offset);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

} // namespace

namespace rtsp {

std::optional<SubclassHeader> SubclassHeader::read(std::string_view bytes)
{
    if (bytes.size() < sizeof(SubclassHeader))
        return std::nullopt;
    SubclassHeader header;
    header.startCode = readUint16(bytes, 0);
    header.eventId = static_cast<uint8_t>(bytes[2]);
    header.itemCount = static_cast<uint8_t>(bytes[3]);
    header.reserved = readUint32(bytes, 4);
    header.size = readUint32(bytes, 8);
    return header;
}

uint64_t SubclassHeader::dataSize() const
{
    if (eventId <= 4)
        return size;
    if (eventId <= kMaxEventId)
        return uint64_t{size} * 4;
    VN_ASSERT_LIMITED(false, "Unknown event id");
    return 0;
}

} // namespace rtsp

ObjectListStatus readObjectList(std::string_view data, uint8_t itemCount, ObjectList* list)
{
    if (data.size() < kResolutionBaseSize)
        return ObjectListStatus::noResolution;
    if ((data.size() - kResolutionBaseSize) / DetectedObject::kSize < itemCount)
        return ObjectListStatus::missingObjects;

    list->resolution = {readUint16(data, 0), readUint16(data, 2)};
    list->objects.clear();
    list->objects.reserve(itemCount);
    for (std::size_t i = 0; i < itemCount; ++i) {
        const std::string_view object = data.substr(kResolutionBaseSize + i * DetectedObject::kSize);
        list->objects.push_back({readUint32(object, 0), readUint32(object, 12), readUint16(object, 16),
                                 readUint16(object, 18), readUint16(object, 20), readUint16(object, 22)});
    }
    return ObjectListStatus::ok;
}

std::string objectTypeId(uint32_t type)
{
    switch (type) {
    case 1:
        return "vorn.zodivadad.Person";
    case 2:
        return "vorn.zodivadad.Vehicle";
    default:
        VN_ASSERT_LIMITED(false, "Unknown object type");
        return std::string();
    }
}

sdk::analytics::BoundingBox boxToRect(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2, ResolutionBase base)
{
    // Never divides by a zero size, whatever the reporter answers.
    if (!VN_ASSERT_LIMITED(base.isValid()) || !base.isValid())
        return {-1, -1, -1, -1};
    const float width = base.width;
    const float height = base.height;
    return {x1 / width, y1 / height, static_cast<float>(int{x2} - int{x1}) / width,
            static_cast<float>(int{y2} - int{y1}) / height};
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
