// Every table of the vocabulary is defined in this one unit, in the order in which they use each other
// (type ids, value maps, attribute tables, object types): C++ initialises the globals of one unit in the
// order of their definitions, so no table is ever read before it is built.
#include "object_types.h"

#include <array>
#include <charconv>
#include <utility>

#include "json_to_int.h"

namespace vorn::vms_server_plugins::analytics::uniview {

using vorn::kit::detail::json11::Json;

namespace {

constexpr int kNumber = 1;
constexpr int kBoolean = 2;
constexpr int kString = 3;

AttributeConverter mapToString(std::map<int, std::string> codes)
{
    return [codes = std::move(codes)](const Json& value) -> std::optional<std::string> {
        const std::optional<int> code = jsonToInt(value);
        if (!code)
            return std::nullopt;
        const auto it = codes.find(*code);
        if (it == codes.end())
            return std::nullopt;
        return it->second;
    };
}

} // namespace

std::optional<std::string> NumberToText::operator()(const Json& value) const
{
    const double number = value.number_value();
    if (number == 0)
        return std::nullopt;
    // Six decimals like printf's "%f", but never with the decimal comma of a process locale. The
    // largest double takes 309 digits before the point.
    std::array<char, 400> text;
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), number, std::chars_format::fixed, 6);
    if (error != std::errc())
        return std::nullopt;
    return std::string(text.data(), end);
}

std::optional<std::string> NonEmptyText::operator()(const Json& value) const
{
    const std::string& text = value.string_value();
    if (text.empty())
        return std::nullopt;
    return text;
}

std::map<int, std::string> boolMapToText(const std::map<int, bool>& values)
{
    std::map<int, std::string> result;
    for (const auto& [code, value] : values)
        result.emplace(code, value ? "true" : "false");
    return result;
}

const std::string kFaceTypeId = "vorn.uniview.Face";
const std::string kPersonTypeId = "vorn.uniview.Person";
const std::string kVehicleTypeId = "vorn.uniview.Vehicle";

// Code 18 is a second code for green; 10 to 17 have no name.
const std::map<int, std::string> kColorNames = {
    {0, "Black"},  {1, "White"}, {2, "Gray"},  {3, "Red"},    {4, "Blue"},   {5, "Yellow"},
    {6, "Orange"}, {7, "Brown"}, {8, "Green"}, {9, "Violet"}, {18, "Green"},
};

const std::map<int, std::string> kDirectionNames = {
    {1, "Static"},  {2, "Up"},        {3, "Down"},     {4, "Left"},       {5, "Right"},
    {6, "Up Left"}, {7, "Down Left"}, {8, "Up Right"}, {9, "Down Right"},
};

const std::map<int, std::string> kSpeedNames = {{1, "Static"}, {2, "Slow"}, {3, "Medium Speed"}, {4, "Fast"}};

const std::map<int, std::string> kBoolFromOneTwo = boolMapToText({{1, false}, {2, true}});
const std::map<int, std::string> kBoolFromZeroOne = boolMapToText({{0, false}, {1, true}});

const std::vector<AttributeDescriptor> kFaceAttributes = {
    {"Gender", "Gender", kString, mapToString({{1, "Man"}, {2, "Woman"}})},
    {"AgeRange", "Age", kString,
     mapToString({{1, "Child"}, {2, "Teenager"}, {3, "Adult"}, {4, "Middle-aged"}, {5, "Senior"}})},
    {"GlassFlag", "Glasses", kBoolean, mapToString(kBoolFromOneTwo)},
    {"GlassesStyle", "Glasses.Type", kString, mapToString({{1, "Transparent"}, {2, "Sunglasses"}, {99, "Other"}})},
    {"HairColor", "Hair Color", kString, mapToString(kColorNames)},
    {"MaskFlag", "Mask", kBoolean, mapToString(kBoolFromOneTwo)},
    {"HatFlag", "Hat", kBoolean, mapToString(kBoolFromOneTwo)},
    {"HatColor", "Hat.Color", kString, mapToString(kColorNames)},
    {"Temperature", "Temperature", kNumber, numberToText},
};

// "BagFlag" feeds two attributes: whether there is a bag (1 and 2 both mean one) and which kind.
const std::vector<AttributeDescriptor> kPersonAttributes = {
    {"Gender", "Gender", kString, mapToString({{0, "Woman"}, {1, "Man"}})},
    {"AgeRange", "Age", kString,
     mapToString({{0, "Child"}, {1, "Teenager"}, {2, "Adult"}, {3, "Middle-aged"}, {4, "Senior"}})},
    {"SleevesLength", "Top Clothing Length", kString, mapToString({{1, "Short"}, {2, "Long"}})},
    {"CoatColor", "Top Clothing Color", kString, mapToString(kColorNames)},
    {"TrousersLength", "Bottom Clothing Length", kString, mapToString({{1, "Short"}, {2, "Long"}})},
    {"TrousersColor", "Bottom Clothing Color", kString, mapToString(kColorNames)},
    {"BodyToward", "Body Direction", kString, mapToString({{1, "Front"}, {2, "Side"}, {3, "Back"}})},
    {"ShoesTubeLength", "Shoes Type", kString, mapToString({{1, "Boots"}, {2, "Short Boots"}})},
    {"HairLength", "Hair Length", kString, mapToString({{1, "Long"}, {2, "Short"}})},
    {"BagFlag", "Bag", kBoolean, mapToString(boolMapToText({{0, false}, {1, true}, {2, true}}))},
    {"BagFlag", "Bag.Type", kString, mapToString({{1, "Single Shoulder Bag"}, {2, "Backpack"}})},
};

const std::vector<AttributeDescriptor> kVehicleAttributes = {
    {"Color", "Color", kString, mapToString(kColorNames)},
    {"SpeedType", "Speed Type", kString, mapToString(kSpeedNames)},
    {"VehicleBrand", "Brand", kString, nonEmptyText},
    {"AimStatus", "Inspection Sticker", kBoolean, mapToString(kBoolFromZeroOne)},
    {"DriverSunVisorStatus", "Driver Sun Visor", kBoolean, mapToString(kBoolFromZeroOne)},
    {"CodriverSunVisorStatus", "Passenger Sun Visor", kBoolean, mapToString(kBoolFromZeroOne)},
    {"DriverSeatBeltStatus", "Driver Seat Belt", kBoolean, mapToString(kBoolFromZeroOne)},
    {"PassengerSeatBeltStatus", "Passenger Seat Belt", kBoolean, mapToString(kBoolFromZeroOne)},
    {"DriverMobileStatus", "Driver Using Mobile Phone", kBoolean, mapToString(kBoolFromZeroOne)},
    {"Pendant", "Pendant", kBoolean, mapToString(kBoolFromZeroOne)},
    {"ImageDirection", "Movement Direction", kString, mapToString(kDirectionNames)},
};

// Non-motor vehicle type 4 is a second code for a bicycle.
const std::vector<AttributeDescriptor> kBikeAttributes = {
    {"SpeedType", "Speed Type", kString, mapToString(kSpeedNames)},
    {"ImageDirection", "Movement Direction", kString, mapToString(kDirectionNames)},
    {"NonVehicleType", "Type", kString,
     mapToString({{1, "Bicycle"}, {2, "Tricycle"}, {3, "Motorcycle"}, {4, "Bicycle"}, {5, "Other"}})},
};

const std::vector<ObjectTypeDescriptor> kObjectTypes = {
    {"FaceInfoList", "FaceNum", kFaceTypeId, "AttributeInfo", "FaceID", &kFaceAttributes},
    {"PersonInfoList", "PersonNum", kPersonTypeId, "AttributeInfo", "PersonID", &kPersonAttributes},
    {"VehicleInfoList", "VehicleNum", kVehicleTypeId, "VehicleAttributeInfo", "ID", &kVehicleAttributes},
    {"NonMotorVehicleInfoList", "NonMotorVehicleNum", "vorn.uniview.Bike", "AttributeInfo", "ID", &kBikeAttributes},
};

} // namespace vorn::vms_server_plugins::analytics::uniview
