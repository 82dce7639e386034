#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/utils/log/log_capture.h>
#include <vorn/vms_server_plugins/analytics/uniview/object.h>

#include "hornbeam_test_support.h"

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

using Json = vorn::kit::detail::json11::Json;
using hornbeam_test::logged;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;

Json parsed(const std::string& text)
{
    std::string error;
    const Json value = Json::parse(text, error);
    EXPECT_TRUE(error.empty()) << text << ": " << error;
    return value;
}

const ObjectTypeDescriptor& typeOf(const std::string& typeId)
{
    for (const ObjectTypeDescriptor& type : kObjectTypes) {
        if (type.typeId == typeId)
            return type;
    }
    throw std::logic_error("no type " + typeId);
}

// "name=value" of every attribute, in order.
std::vector<std::string> attributeTexts(const Object& object)
{
    std::vector<std::string> texts;
    for (const auto& attribute : object.attributes)
        texts.push_back(std::string(attribute->name()) + "=" + attribute->value());
    return texts;
}

TEST(UniviewParsePosition, ReadsTwoCornersInTenThousandthsOfTheFrame)
{
    const struct
    {
        const char* name;
        const char* object;
        PositionBox expected;
        const char* message; //< level-3 line, "" for none
    } rows[] = {
        {"box", R"({"Position": "1000,2000;3000,5000"})", {0.1F, 0.2F, 0.2F, 0.3F}, ""},
        {"whole frame", R"({"Position": "0,0;10000,10000"})", {0, 0, 1, 1}, ""},
        {"fractions and blanks read as numbers",
         R"({"Position": "1000.5, 0;2000,1e3"})",
         {0.10005F, 0, 0.09995F, 0.1F},
         ""},
        {"inverted", R"({"Position": "3000,5000;1000,2000"})", {0.3F, 0.5F, -0.2F, -0.3F}, ""},
        {"letters read as 0", R"({"Position": "a,b;10000,x"})", {0, 0, 1, 0}, ""},
        {"missing", R"({})", {}, "Unexpected position format: "},
        {"not a text", R"({"Position": [1, 2]})", {}, "Unexpected position format: "},
        {"one point", R"({"Position": "1,2"})", {}, "Unexpected position format: 1,2"},
        {"trailing semicolon", R"({"Position": "1,2;3,4;"})", {}, "Unexpected position format: 1,2;3,4;"},
        {"three numbers", R"({"Position": "1,2,3;4,5"})", {}, "Unexpected dot count: 3,2 instead of 2,2"},
        {"one number", R"({"Position": "1,2;4"})", {}, "Unexpected dot count: 2,1 instead of 2,2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        const PositionBox box = parsePosition(parsed(row.object));
        EXPECT_NEAR(box.x, row.expected.x, 1e-6);
        EXPECT_NEAR(box.y, row.expected.y, 1e-6);
        EXPECT_NEAR(box.width, row.expected.width, 1e-6);
        EXPECT_NEAR(box.height, row.expected.height, 1e-6);
        if (*row.message) {
            ASSERT_EQ(capture.logger().records().size(), 1U);
            EXPECT_EQ(capture.logger().records().front().level, Level::warning);
            EXPECT_EQ(capture.logger().texts().front().toStdString(), row.message);
        } else {
            EXPECT_TRUE(capture.logger().records().empty());
        }
    }
}

TEST(UniviewObject, ReadsAnObjectOfAStructuredPush)
{
    const Json person = parsed(R"({
        "PersonID": 17, "SmallPicAttachIndex": 1, "LargePicAttachIndex": "2", "Position": "1000,2000;3000,5000",
        "AttributeInfo": {"Gender": 1, "AgeRange": "2", "CoatColor": 18, "BagFlag": 2, "HairLength": null,
                          "Unknown": 4, "ShoesTubeLength": "unknown"}})");
    const std::optional<Object> object = Object::fromJson(person, typeOf("vorn.uniview.Person"));
    ASSERT_TRUE(object);
    EXPECT_EQ(object->typeId, "vorn.uniview.Person");
    EXPECT_EQ(object->id, 17);
    EXPECT_EQ(object->smallPicIndex, 1);
    EXPECT_EQ(object->largePicIndex, 2);
    EXPECT_NEAR(object->x, 0.1, 1e-6);
    EXPECT_NEAR(object->y, 0.2, 1e-6);
    EXPECT_NEAR(object->width, 0.2, 1e-6);
    EXPECT_NEAR(object->height, 0.3, 1e-6);
    EXPECT_EQ(object->durationUs, 500'000);
    // Table order; the bag flag feeds two attributes.
    EXPECT_EQ(attributeTexts(*object), (std::vector<std::string>{"Gender=Man", "Age=Adult", "Top Clothing Color=Green",
                                                                 "Bag=true", "Bag.Type=Backpack"}));
    EXPECT_EQ(object->attributes[0]->type(), 3);
    EXPECT_EQ(object->attributes[3]->type(), 2);
    EXPECT_EQ(object->attributes[3]->confidence(), 1.0F);

    const Json face = parsed(R"({"FaceID": 0, "AttributeInfo": {"Temperature": 36.5, "GlassFlag": 2}})");
    const std::optional<Object> faceObject = Object::fromJson(face, typeOf("vorn.uniview.Face"));
    ASSERT_TRUE(faceObject);
    EXPECT_EQ(faceObject->id, 0); // Id 0 is a valid id.
    EXPECT_EQ(attributeTexts(*faceObject), (std::vector<std::string>{"Glasses=true", "Temperature=36.500000"}));
    EXPECT_EQ(faceObject->attributes[1]->type(), 1);
}

TEST(UniviewObject, TakesOnlyAnIdItCanRead)
{
    const struct
    {
        const char* name;
        const char* id; //< JSON of "ID", or null for none
        std::optional<int> expected;
    } rows[] = {
        {"number", "5", 5},
        {"zero", "0", 0},
        {"text of digits", R"("42")", 42},
        {"negative", "-1", std::nullopt},
        {"missing", nullptr, std::nullopt},
        {"null", "null", std::nullopt},
        {"text without digits", R"("car")", std::nullopt}, // Not the made-up id 0.
        {"beyond the int range", "3e9", std::nullopt},
        {"boolean", "true", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        const std::string json =
            row.id ? std::string(R"({"Position": "0,0;1,1", "ID": )") + row.id + "}" : R"({"Position": "0,0;1,1"})";
        const std::optional<Object> object = Object::fromJson(parsed(json), typeOf("vorn.uniview.Vehicle"));
        ASSERT_EQ(object.has_value(), row.expected.has_value());
        if (object) {
            EXPECT_EQ(object->id, *row.expected);
            EXPECT_TRUE(capture.logger().records().empty());
        } else {
            EXPECT_TRUE(logged(capture, "Cannot parse object id from JSON"));
            EXPECT_EQ(capture.logger().records().front().level, Level::warning);
        }
    }

    ObjectTypeDescriptor untyped = kObjectTypes[2];
    untyped.typeId.clear();
    EXPECT_FALSE(Object::fromJson(parsed(R"({"ID": 1})"), untyped));
}

TEST(UniviewObject, KeepsOnlyABoxInsideTheFrame)
{
    const struct
    {
        const char* position;
        bool boxKept;
    } rows[] = {
        {"0,0;10000,10000", true},
        {"1000,2000;3000,5000", true},
        {"5000,5000;5000,5000", true},
        {"3000,5000;1000,2000", false}, // Inverted.
        {"-1,0;100,100", false},
        {"0,0;10001,100", false},
        {"0,0;100,10001", false},
        {"nan,0;100,100", false},
        {"1,2", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.position);
        const std::optional<Object> object = Object::fromJson(
            parsed(std::string(R"({"ID": 3, "Position": ")") + row.position + "\"}"), typeOf("vorn.uniview.Bike"));
        ASSERT_TRUE(object);
        if (row.boxKept) {
            EXPECT_GE(object->x, 0);
        } else {
            EXPECT_EQ(object->x, -1);
            EXPECT_EQ(object->y, -1);
            EXPECT_EQ(object->width, -1);
            EXPECT_EQ(object->height, -1);
        }
    }
}

TEST(UniviewObject, AttributesComeOnlyFromAnAttributeObject)
{
    const struct
    {
        const char* name;
        const char* json;
        std::size_t attributeCount;
    } rows[] = {
        {"group object", R"({"ID": 1, "VehicleAttributeInfo": {"Color": 3, "Pendant": 1}})", 2},
        {"group array", R"({"ID": 1, "VehicleAttributeInfo": [{"Color": 3}]})", 0},
        {"group missing", R"({"ID": 1})", 0},
        {"group under the other key", R"({"ID": 1, "AttributeInfo": {"Color": 3}})", 0},
        {"values null", R"({"ID": 1, "VehicleAttributeInfo": {"Color": null, "Pendant": null}})", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<Object> object = Object::fromJson(parsed(row.json), typeOf("vorn.uniview.Vehicle"));
        ASSERT_TRUE(object);
        EXPECT_EQ(object->attributes.size(), row.attributeCount);
        EXPECT_EQ(object->smallPicIndex, -1);
        EXPECT_EQ(object->largePicIndex, -1);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
