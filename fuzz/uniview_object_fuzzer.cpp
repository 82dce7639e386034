// One object of a Uniview camera's structured-data push (uniview::Object::fromJson with its position text
// and the attribute converters), read for every object the camera pushes.
//
// The first byte chooses the object type (its row of kObjectTypes) and the assertion answer; the rest is
// the object's JSON text. Beyond "no crash": a read object has an id of 0 or more, either no box or one
// inside the frame, and no more attributes than its type's table has rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <vorn/kit/json.h>
#include <vorn/vms_server_plugins/analytics/uniview/lapi.h>
#include <vorn/vms_server_plugins/analytics/uniview/object.h>

#include "fuzz_support.h"

namespace uniview = vorn::vms_server_plugins::analytics::uniview;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::FuzzInput input(data, size);
    const std::uint8_t choice = input.takeByte();
    vorn::fuzz::prepare(/*assertionAnswer*/ (choice & 0x80) != 0);
    const uniview::ObjectTypeDescriptor& type = uniview::kObjectTypes[choice % uniview::kObjectTypes.size()];

    // The same bytes as a LAPI reply: an unreadable one holds no JSON, a device error a code other than 0.
    const uniview::LapiReply reply = uniview::readLapiReply(input.rest());
    if (reply.status == uniview::LapiReply::Status::unreadable && !reply.json.is_null())
        std::abort();
    if (reply.status == uniview::LapiReply::Status::deviceError && reply.code == 0)
        std::abort();

    std::string error;
    const vorn::kit::detail::json11::Json json = vorn::kit::detail::json11::Json::parse(input.rest(), error);
    if (!json.is_object())
        return 0;
    const std::optional<uniview::Object> object = uniview::Object::fromJson(json, type);
    if (!object)
        return 0;
    if (object->id < 0 || object->typeId != type.typeId || object->attributes.size() > type.attributes->size())
        std::abort();
    const bool noBox = object->x == -1 && object->y == -1 && object->width == -1 && object->height == -1;
    const bool boxInside = object->x >= 0 && object->y >= 0 && object->width >= 0 && object->height >= 0 &&
                           object->x + object->width <= 1 && object->y + object->height <= 1;
    if (!noBox && !boxInside)
        std::abort();
    return 0;
}
