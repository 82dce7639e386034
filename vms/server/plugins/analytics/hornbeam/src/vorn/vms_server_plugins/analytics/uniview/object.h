// uniview::Object: one object that a Uniview camera detected in one frame, as the plugin keeps it: its type,
// the camera's id for it (its track within the camera), the indexes of its pictures in the same push, its box
// in fractions of the frame, its attributes and how long the server shows it.
//
//     for (const Json& item : push[type.listKey].array_items())
//         if (std::optional<Object> object = Object::fromJson(item, type))   // none: no usable id
//             emit(*object);
//
// The SEI processor fills records itself. A record is a plain value: copying it shares the attribute objects,
// which are immutable. fromJson() and parsePosition() keep no state and may run on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <vorn/kit/json.h>
#include <vorn/sdk/helpers/attribute.h>
#include <vorn/sdk/ptr.h>

#include "object_types.h"

namespace vorn::vms_server_plugins::analytics::uniview {

/** A box in fractions of the frame width and height; all four -1 when there is none. */
struct PositionBox
{
    float x = -1;
    float y = -1;
    float width = -1;
    float height = -1;
};

/**
 * The camera's "Position" text "x1,y1;x2,y2" (corners in 1/10000 of the frame, the smaller one first) as a
 * box: x = x1 / 10000, y = y1 / 10000, width = x2 / 10000 - x, height = y2 / 10000 - y. A number that does not
 * read counts as 0. A text without exactly two points of exactly two numbers logs at level 3 and gives no box.
 */
PositionBox parsePosition(const vorn::kit::detail::json11::Json& object);

struct Object
{
    /** How long an object stays valid unless its producer says otherwise: half a second. */
    static constexpr int64_t kDefaultDurationUs = 500'000;

    std::string typeId;
    int id = -1;            //< The camera's object id; a read record always has one >= 0.
    int smallPicIndex = -1; //< The object's small picture (its best shot) among the push's pictures; -1 none.
    int largePicIndex = -1; //< Its large picture; -1 none.
    float x = -1;           //< The box in fractions of the frame; all four -1 without a usable box.
    float y = -1;
    float width = -1;
    float height = -1;
    std::vector<vorn::sdk::Ptr<vorn::sdk::Attribute>> attributes; //< In the order of the type's table.
    int64_t durationUs = kDefaultDurationUs;

    /**
     * One object of a structured-data push, read through its type's row of kObjectTypes. None (and a level-3
     * line) when its id is missing, not an integer or negative. A box that leaves the frame or is inverted is
     * dropped silently; attributes that do not convert are left out.
     */
    static std::optional<Object> fromJson(const vorn::kit::detail::json11::Json& object,
                                          const ObjectTypeDescriptor& type);
};

} // namespace vorn::vms_server_plugins::analytics::uniview
