// The Uniview object vocabulary: the four object types of the camera's structured data with the JSON keys
// they come under (kObjectTypes), one attribute table per type that turns the camera's attribute codes
// into the server's attributes, and the value maps (codes to words) behind them.
//
//     for (const ObjectTypeDescriptor& type : kObjectTypes)
//         for (const Json& item : push[type.listKey].array_items())
//             if (auto object = Object::fromJson(item, type))
//                 emit(*object);
//
//     for (const AttributeDescriptor& row : *type.attributes)
//         if (const auto text = row.convert(group[row.cameraKey]))
//             add(row.type, row.attributeName, *text);        // "Gender" 1 -> "Man"
//
// The codes are the camera's and differ from table to table (a face counts gender from 1, a person
// from 0). All tables are built when the library is loaded, in one unit in the order they depend on
// each other, and never change: any thread may read them without a lock, and the converters keep no
// state but their own copy of a map.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <vorn/kit/json.h>

namespace vorn::vms_server_plugins::analytics::uniview {

/** Turns a camera value into an attribute's text; none means no attribute. */
using AttributeConverter = std::function<std::optional<std::string>(const vorn::kit::detail::json11::Json&)>;

struct AttributeDescriptor
{
    std::string cameraKey;     //< Key of the value in the object's attribute group.
    std::string attributeName; //< Name of the attribute that the server receives.
    int type = 0;              //< SDK attribute type: 1 number, 2 boolean, 3 string.
    AttributeConverter convert;
};

struct ObjectTypeDescriptor
{
    std::string listKey;           //< Key of the array of objects of this type in a push.
    std::string countKey;          //< Key of the number of objects that the camera says it sent.
    std::string typeId;            //< The server's object type id.
    std::string attributeGroupKey; //< Key, in one object, of the object that holds its attributes.
    std::string idKey;             //< Key, in one object, of its numeric id.
    const std::vector<AttributeDescriptor>* attributes = nullptr; //< One of the four tables below.
};

/** A JSON number (not a text) other than 0, printed with six decimals whatever the locale: 36.500000. */
struct NumberToText
{
    std::optional<std::string> operator()(const vorn::kit::detail::json11::Json& value) const;
};
inline constexpr NumberToText numberToText{};

/** A JSON text that is not empty, unchanged. */
struct NonEmptyText
{
    std::optional<std::string> operator()(const vorn::kit::detail::json11::Json& value) const;
};
inline constexpr NonEmptyText nonEmptyText{};

/** The same keys with "true" or "false". */
std::map<int, std::string> boolMapToText(const std::map<int, bool>& values);

extern const std::string kFaceTypeId;    //< "vorn.uniview.Face"
extern const std::string kPersonTypeId;  //< "vorn.uniview.Person"
extern const std::string kVehicleTypeId; //< "vorn.uniview.Vehicle"

extern const std::map<int, std::string> kColorNames;
extern const std::map<int, std::string> kDirectionNames;
extern const std::map<int, std::string> kSpeedNames;
extern const std::map<int, std::string> kBoolFromOneTwo;
extern const std::map<int, std::string> kBoolFromZeroOne;

extern const std::vector<AttributeDescriptor> kFaceAttributes;
extern const std::vector<AttributeDescriptor> kPersonAttributes;
extern const std::vector<AttributeDescriptor> kVehicleAttributes;
extern const std::vector<AttributeDescriptor> kBikeAttributes;

/** Face, person, vehicle, non-motor vehicle ("vorn.uniview.Bike"), in this order. */
extern const std::vector<ObjectTypeDescriptor> kObjectTypes;

} // namespace vorn::vms_server_plugins::analytics::uniview
