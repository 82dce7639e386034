#include <clocale>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/uniview/object_types.h>

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using Json = vorn::kit::detail::json11::Json;

Json parsed(const char* text)
{
    std::string error;
    const Json value = Json::parse(text, error);
    EXPECT_TRUE(error.empty()) << text << ": " << error;
    return value;
}

const AttributeDescriptor& row(const std::vector<AttributeDescriptor>& table, const std::string& attributeName)
{
    for (const AttributeDescriptor& descriptor : table) {
        if (descriptor.attributeName == attributeName)
            return descriptor;
    }
    ADD_FAILURE() << "no attribute " << attributeName;
    return table.front();
}

TEST(UniviewObjectTypes, FourTypesWithTheirKeysAndTables)
{
    ASSERT_EQ(kObjectTypes.size(), 4U);
    const struct
    {
        const char* listKey;
        const char* countKey;
        const char* typeId;
        const char* attributeGroupKey;
        const char* idKey;
        const std::vector<AttributeDescriptor>* attributes;
        std::size_t attributeCount;
    } rows[] = {
        {"FaceInfoList", "FaceNum", "vorn.uniview.Face", "AttributeInfo", "FaceID", &kFaceAttributes, 9},
        {"PersonInfoList", "PersonNum", "vorn.uniview.Person", "AttributeInfo", "PersonID", &kPersonAttributes, 11},
        {"VehicleInfoList", "VehicleNum", "vorn.uniview.Vehicle", "VehicleAttributeInfo", "ID", &kVehicleAttributes,
         11},
        {"NonMotorVehicleInfoList", "NonMotorVehicleNum", "vorn.uniview.Bike", "AttributeInfo", "ID", &kBikeAttributes,
         3},
    };
    for (std::size_t i = 0; i < kObjectTypes.size(); ++i) {
        SCOPED_TRACE(rows[i].typeId);
        const ObjectTypeDescriptor& type = kObjectTypes[i];
        EXPECT_EQ(type.listKey, rows[i].listKey);
        EXPECT_EQ(type.countKey, rows[i].countKey);
        EXPECT_EQ(type.typeId, rows[i].typeId);
        EXPECT_EQ(type.attributeGroupKey, rows[i].attributeGroupKey);
        EXPECT_EQ(type.idKey, rows[i].idKey);
        EXPECT_EQ(type.attributes, rows[i].attributes);
        EXPECT_EQ(type.attributes->size(), rows[i].attributeCount);
    }
    EXPECT_EQ(kFaceTypeId, kObjectTypes[0].typeId);
    EXPECT_EQ(kPersonTypeId, kObjectTypes[1].typeId);
    EXPECT_EQ(kVehicleTypeId, kObjectTypes[2].typeId);
    EXPECT_EQ(kColorNames.size(), 11U);
}

TEST(UniviewObjectTypes, ConvertersTurnCameraValuesIntoAttributeTexts)
{
    const auto& face = kFaceAttributes;
    const auto& person = kPersonAttributes;
    const auto& vehicle = kVehicleAttributes;
    const auto& bike = kBikeAttributes;
    const struct
    {
        const char* name;
        const std::vector<AttributeDescriptor>& table;
        const char* attributeName;
        const char* json;
        std::optional<std::string> expected;
    } rows[] = {
        {"face gender counts from 1", face, "Gender", "1", "Man"},
        {"face gender 2", face, "Gender", "2", "Woman"},
        {"face gender has no 0", face, "Gender", "0", std::nullopt},
        {"person gender counts from 0", person, "Gender", "0", "Woman"},
        {"person age counts from 0", person, "Age", "4", "Senior"},
        {"face age counts from 1", face, "Age", "5", "Senior"},
        {"a text of digits reads as the number", person, "Gender", R"("1")", "Man"},
        {"digits followed by letters", face, "Age", R"("2 years")", "Teenager"},
        {"a fraction is dropped", face, "Age", "3.7", "Adult"},
        // A text without a leading integer is no code: no made-up "Woman" or "false".
        {"letters only", person, "Gender", R"("unknown")", std::nullopt},
        {"leading blank", person, "Gender", R"(" 1")", std::nullopt},
        {"leading plus", person, "Gender", R"("+1")", std::nullopt},
        {"letters for a boolean", vehicle, "Pendant", R"("n/a")", std::nullopt},
        {"beyond the int range as text", vehicle, "Pendant", R"("4294967296")", std::nullopt},
        {"beyond the int range as number", vehicle, "Pendant", "4294967296", std::nullopt},
        {"null", person, "Gender", "null", std::nullopt},
        {"boolean", vehicle, "Pendant", "true", std::nullopt},
        {"array", person, "Gender", "[1]", std::nullopt},
        {"object", person, "Gender", R"({"v": 1})", std::nullopt},
        {"colour 8", person, "Top Clothing Color", "8", "Green"},
        {"colour 18 is green too", person, "Top Clothing Color", "18", "Green"},
        {"colours 10 to 17 have no name", person, "Top Clothing Color", "12", std::nullopt},
        {"glass flag 0", face, "Glasses", "0", std::nullopt},
        {"glass flag 1", face, "Glasses", "1", "false"},
        {"glass flag 2", face, "Glasses", "2", "true"},
        {"glasses style 99", face, "Glasses.Type", "99", "Other"},
        {"glasses style 3", face, "Glasses.Type", "3", std::nullopt},
        {"hair length 1 is long", person, "Hair Length", "1", "Long"},
        {"sleeves 1 are short", person, "Top Clothing Length", "1", "Short"},
        {"bag 0", person, "Bag", "0", "false"},
        {"bag type of bag 0", person, "Bag.Type", "0", std::nullopt},
        {"bag 2", person, "Bag", "2", "true"},
        {"bag type of bag 2", person, "Bag.Type", "2", "Backpack"},
        {"bag 3", person, "Bag", "3", std::nullopt},
        {"bag type of bag 3", person, "Bag.Type", "3", std::nullopt},
        {"vehicle pendant 0", vehicle, "Pendant", "0", "false"},
        {"vehicle direction", vehicle, "Movement Direction", "9", "Down Right"},
        {"vehicle speed", vehicle, "Speed Type", "3", "Medium Speed"},
        {"brand", vehicle, "Brand", R"("Volvo XC60 ")", "Volvo XC60 "},
        {"empty brand", vehicle, "Brand", R"("")", std::nullopt},
        {"brand as number", vehicle, "Brand", "7", std::nullopt},
        {"bicycle 1", bike, "Type", "1", "Bicycle"},
        {"bicycle 4", bike, "Type", "4", "Bicycle"},
        {"tricycle", bike, "Type", "2", "Tricycle"},
        {"temperature", face, "Temperature", "36.5", "36.500000"},
        {"negative temperature", face, "Temperature", "-0.25", "-0.250000"},
        {"temperature 0", face, "Temperature", "0", std::nullopt},
        {"temperature as text", face, "Temperature", R"("36.5")", std::nullopt},
        {"huge temperature", face, "Temperature", "1e20", "100000000000000000000.000000"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(row(r.table, r.attributeName).convert(parsed(r.json)), r.expected);
    }
}

TEST(UniviewObjectTypes, BoolMapToTextKeepsTheKeys)
{
    EXPECT_EQ(boolMapToText({{0, true}, {3, false}}), (std::map<int, std::string>{{0, "true"}, {3, "false"}}));
    EXPECT_EQ(kBoolFromOneTwo, (std::map<int, std::string>{{1, "false"}, {2, "true"}}));
    EXPECT_EQ(kBoolFromZeroOne, (std::map<int, std::string>{{0, "false"}, {1, "true"}}));
}

// printf's "%f" writes a decimal comma in such locales; the attribute must read 36.500000 on every server.
TEST(UniviewObjectTypes, TemperatureTextIsTheSameInEveryLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* commaLocale = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8", "de_DE"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            commaLocale = name;
            break;
        }
    }
    if (!commaLocale)
        GTEST_SKIP() << "no locale with a decimal comma on this machine";
    const auto text = row(kFaceAttributes, "Temperature").convert(parsed("36.5"));
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(text, "36.500000");
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
