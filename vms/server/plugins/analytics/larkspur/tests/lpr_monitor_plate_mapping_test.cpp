// LprMonitor's mapping of a plate record to the server's packets: the plate and vehicle objects, their
// attributes and boxes, and the best shots; and the camera settings that the channel requires.
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/i_attribute.h>
#include <vorn/utils/assert.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "lpr_test_bytes.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace test;
using sdk::Ptr;
using sdk::Uuid;
using sdk::analytics::BoundingBox;
using sdk::analytics::IObjectMetadata;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using vorn::utils::AssertionCapture;

using AttributeRow = std::tuple<std::string, std::string, float>; //< Name, value, confidence.

PlateRecord makeRecord(const TestPlate& plate, const std::vector<std::string>& images)
{
    PlateRecord record;
    const std::string fields1 = plateFields1Bytes(plate);
    const std::string fields2 = plateFields2Bytes(plate);
    std::copy(fields1.begin(), fields1.end(), record.fields1.bytes.begin());
    std::copy(fields2.begin(), fields2.end(), record.fields2.bytes.begin());
    record.plateNumber = plate.plateNumber;
    for (const std::string& image : images)
        record.addImage(image);
    return record;
}

std::vector<AttributeRow> attributesOf(const IObjectMetadata& object)
{
    std::vector<AttributeRow> result;
    for (int i = 0; i < object.attributeCount(); ++i) {
        const auto attribute = sdk::toPtr(object.getAttribute(i));
        EXPECT_EQ(attribute->type(), static_cast<int32_t>(sdk::AttributeType::string));
        result.emplace_back(attribute->name(), attribute->value(), attribute->confidence());
    }
    return result;
}

Ptr<const IObjectMetadata> itemOf(const PlatePackets& packets, int index)
{
    return sdk::queryInterface<const IObjectMetadata>(sdk::toPtr(packets.objects->getItem(index)));
}

::testing::Matcher<BoundingBox> boxNear(BoundingBox expected)
{
    using ::testing::AllOf;
    using ::testing::Field;
    using ::testing::FloatNear;
    constexpr float kTolerance = 1e-6F;
    return AllOf(Field("x", &BoundingBox::x, FloatNear(expected.x, kTolerance)),
                 Field("y", &BoundingBox::y, FloatNear(expected.y, kTolerance)),
                 Field("width", &BoundingBox::width, FloatNear(expected.width, kTolerance)),
                 Field("height", &BoundingBox::height, FloatNear(expected.height, kTolerance)));
}

BoundingBox boxOf(const IObjectMetadata& object)
{
    BoundingBox box;
    object.getBoundingBox(&box);
    return box;
}

Uuid trackOf(const IObjectMetadata& object)
{
    Uuid id;
    object.getTrackId(&id);
    return id;
}

constexpr BoundingBox kNoBox{-1, -1, -1, -1};
constexpr BoundingBox kPlateBox{0.46875F, 0.462963F, 0.0625F, 0.037037F};
constexpr BoundingBox kVehicleBox{0.40625F, 0.248148F, 0.1875F, 0.333333F};

TEST(LprPlateMapping, Table)
{
    struct Row
    {
        const char* name;
        TestPlate plate;
        std::vector<std::string> images;
        std::string vehicleTypeId;
        std::vector<AttributeRow> plateAttributes;
        std::vector<AttributeRow> vehicleAttributes;
        BoundingBox plateBox;
        BoundingBox vehicleBox;
        std::vector<std::string> bestShots; //< The plate's image, then the vehicle's.
        std::vector<std::string> reports;
    };
    const std::string image500(500, 'a');
    const std::string image800(800, 'b');
    const std::string image600(600, 'c');
    const Row rows[] = {
        {"plain record",
         {},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"every attribute",
         {.vehicleColor = 10,
          .plateColor = 2,
          .speed = 65535,
          .direction = 1,
          .country = "DE",
          .vehicleKind = 3,
          .plateType = 3},
         {},
         "vorn.zodivadad.Bus",
         {{"Number", "AB123CD", 0.75F}, {"Color", "Blue", 1}, {"Country", "DE", 1}, {"Type", "Visitor", 1}},
         {{"License Plate.Number", "AB123CD", 0.75F},
          {"License Plate.Color", "Blue", 1},
          {"License Plate.Country", "DE", 1},
          {"License Plate.Type", "Visitor", 1},
          {"Type", "Other", 1},
          {"Speed", "65535", 1},
          {"Color", "Orange", 1},
          {"Direction", "Incoming", 1}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"codes outside the tables",
         {.vehicleColor = 0, .plateColor = 12, .speed = 0, .direction = 7, .vehicleKind = 9, .plateType = 4},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}, {"Color", "", 1}},
         {{"License Plate.Number", "AB123CD", 0.75F}, {"License Plate.Color", "", 1}, {"Direction", "Outgoing", 1}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"car, black plate",
         {.plateColor = 1, .vehicleKind = 1, .plateType = 1},
         {},
         "vorn.zodivadad.Car",
         {{"Number", "AB123CD", 0.75F}, {"Color", "Black", 1}, {"Type", "Black", 1}},
         {{"License Plate.Number", "AB123CD", 0.75F},
          {"License Plate.Color", "Black", 1},
          {"License Plate.Type", "Black", 1}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"bike",
         {.vehicleColor = 5, .vehicleKind = 2, .plateType = 2},
         {},
         "vorn.zodivadad.Bike",
         {{"Number", "AB123CD", 0.75F}, {"Type", "White", 1}},
         {{"License Plate.Number", "AB123CD", 0.75F},
          {"License Plate.Type", "White", 1},
          {"Type", "Motorcycle", 1},
          {"Color", "Green", 1}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"truck",
         {.vehicleKind = 4},
         {},
         "vorn.zodivadad.Truck",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"microbus",
         {.vehicleKind = 5},
         {},
         "vorn.zodivadad.Bus",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}, {"Type", "Microbus", 1}},
         kPlateBox,
         kVehicleBox,
         {},
         {}},
        {"vehicle box cut at the left edge",
         {.x1 = 0, .y1 = 900, .x2 = 120, .y2 = 940},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         {0, 0.833333F, 0.0625F, 0.037037F},
         {0, 0.618518F, 0.125F, 0.333333F},
         {},
         {}},
        {"vehicle box cut at the top and right edges",
         {.x1 = 1800, .y1 = 60, .x2 = 1900, .y2 = 100},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         {0.9375F, 0.055556F, 0.052083F, 0.037037F},
         {0.869792F, 0, 0.130208F, 0.174074F},
         {},
         {}},
        {"no frame size",
         {.imageCount = 2, .frameWidth = 0},
         {image500, image600},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kNoBox,
         kNoBox,
         {image500, image600},
         {}},
        {"no frame height",
         {.frameHeight = 0},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kNoBox,
         kNoBox,
         {},
         {}},
        {"x2 < x1: negative plate width, no vehicle box",
         {.x1 = 1020, .x2 = 900},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         {0.53125F, 0.462963F, -0.0625F, 0.037037F},
         kNoBox,
         {},
         {}},
        {"plate beyond the frame: no vehicle box",
         {.x1 = 1900, .x2 = 2000},
         {},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         {0.989583F, 0.462963F, 0.052083F, 0.037037F},
         kNoBox,
         {},
         {}},
        {"smallest image to the plate, next to the vehicle",
         {.imageCount = 3},
         {image500, image800, image600},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kPlateBox,
         kVehicleBox,
         {image500, image600},
         {}},
        {"one image: the plate's best shot only",
         {.imageCount = 1},
         {image800},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kPlateBox,
         kVehicleBox,
         {image800},
         {}},
        {"fewer images than announced",
         {.imageCount = 3},
         {image800},
         "vorn.zodivadad.Vehicle",
         {{"Number", "AB123CD", 0.75F}},
         {{"License Plate.Number", "AB123CD", 0.75F}},
         kPlateBox,
         kVehicleBox,
         {image800},
         {"(entry.images.size() == entry.fields1.imageCount)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AssertionCapture assertions(false);
        PlatePackets packets =
            LprMonitor::makePlatePackets(nullptr, makeRecord(row.plate, row.images), [] { return int64_t{-7}; });
        ASSERT_TRUE(packets.objects);
        EXPECT_EQ(packets.objects->timestampUs(), row.plate.timestampMs * 1000);
        EXPECT_EQ(packets.objects->durationUs(), 500000);
        EXPECT_EQ(packets.objects->flags(), 1);
        ASSERT_EQ(packets.objects->itemCount(), 2);
        const auto plate = itemOf(packets, 0);
        const auto vehicle = itemOf(packets, 1);
        EXPECT_STREQ(plate->typeId(), "vorn.zodivadad.LicensePlate");
        EXPECT_EQ(vehicle->typeId(), row.vehicleTypeId);
        EXPECT_EQ(plate->confidence(), 1.0F);
        EXPECT_FALSE(trackOf(*plate).isNull());
        EXPECT_FALSE(trackOf(*vehicle).isNull());
        EXPECT_NE(trackOf(*plate), trackOf(*vehicle));
        EXPECT_THAT(attributesOf(*plate), ElementsAreArray(row.plateAttributes));
        EXPECT_THAT(attributesOf(*vehicle), ElementsAreArray(row.vehicleAttributes));
        EXPECT_THAT(boxOf(*plate), boxNear(row.plateBox));
        EXPECT_THAT(boxOf(*vehicle), boxNear(row.vehicleBox));

        ASSERT_EQ(packets.bestShots.size(), row.bestShots.size());
        for (std::size_t i = 0; i < packets.bestShots.size(); ++i) {
            SCOPED_TRACE(i == 0 ? "plate's best shot" : "vehicle's best shot");
            const auto& bestShot = packets.bestShots[i];
            const IObjectMetadata& object = i == 0 ? *plate : *vehicle;
            EXPECT_EQ(std::string(bestShot->imageData(), bestShot->imageDataSize()), row.bestShots[i]);
            EXPECT_STREQ(bestShot->imageDataFormat(), "image/jpeg");
            EXPECT_EQ(bestShot->timestampUs(), row.plate.timestampMs * 1000);
            EXPECT_EQ(bestShot->flags(), 1);
            Uuid trackId;
            bestShot->getTrackId(&trackId);
            EXPECT_EQ(trackId, trackOf(object));
            BoundingBox box;
            bestShot->getBoundingBox(&box);
            EXPECT_EQ(box, boxOf(object));
            EXPECT_EQ(bestShot->attributeCount(), 0);
        }

        std::vector<::testing::Matcher<std::string>> reports;
        for (const std::string& condition : row.reports)
            reports.push_back(HasSubstr(condition));
        std::vector<std::string> actualReports;
        for (const QString& report : assertions.reports())
            actualReports.push_back(report.toStdString());
        EXPECT_THAT(actualReports, ElementsAreArray(reports));
    }
}

TEST(LprPlateMapping, RecordTimeOutOfTheMicrosecondRangeTakesTheServerClock)
{
    const struct
    {
        const char* name;
        int64_t timestampMs;
        int64_t expectedUs;
        int32_t expectedFlags;
    } rows[] = {
        {"largest time that fits", INT64_MAX / 1000, INT64_MAX / 1000 * 1000, 1},
        {"one past it", INT64_MAX / 1000 + 1, 1'700'000'000'000'000, 0},
        {"smallest time that fits", INT64_MIN / 1000, INT64_MIN / 1000 * 1000, 1},
        {"one below it", INT64_MIN / 1000 - 1, 1'700'000'000'000'000, 0},
        {"zero", 0, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestPlate plate;
        plate.timestampMs = row.timestampMs;
        plate.imageCount = 1;
        const PlatePackets packets = LprMonitor::makePlatePackets(nullptr, makeRecord(plate, {"jpeg"}),
                                                                  [] { return int64_t{1'700'000'000'000'000}; });
        ASSERT_TRUE(packets.objects);
        EXPECT_EQ(packets.objects->timestampUs(), row.expectedUs);
        EXPECT_EQ(packets.objects->flags(), row.expectedFlags);
        ASSERT_EQ(packets.bestShots.size(), 1U);
        EXPECT_EQ(packets.bestShots[0]->timestampUs(), row.expectedUs);
        EXPECT_EQ(packets.bestShots[0]->flags(), row.expectedFlags);
    }
}

TEST(LprPlateMapping, EmptyPlateNumberFollowsTheReporter)
{
    TestPlate plate;
    plate.plateNumber = "";
    {
        AssertionCapture assertions(false);
        const PlatePackets packets = LprMonitor::makePlatePackets(nullptr, makeRecord(plate, {"x"}), {});
        EXPECT_FALSE(packets.objects);
        EXPECT_THAT(packets.bestShots, IsEmpty());
        ASSERT_EQ(assertions.reports().size(), 1);
        EXPECT_THAT(assertions.reports()[0].toStdString(), HasSubstr("(!entry.plateNumber.empty())"));
    }
    {
        AssertionCapture assertions(true);
        plate.imageCount = 1;
        const PlatePackets packets = LprMonitor::makePlatePackets(nullptr, makeRecord(plate, {"x"}), {});
        ASSERT_TRUE(packets.objects);
        EXPECT_EQ(packets.objects->itemCount(), 2);
        EXPECT_EQ(packets.bestShots.size(), 1U);
    }
}

TEST(LprPlateMapping, EveryRecordMakesNewTracks)
{
    const PlatePackets first = LprMonitor::makePlatePackets(nullptr, makeRecord({}, {}), {});
    const PlatePackets second = LprMonitor::makePlatePackets(nullptr, makeRecord({}, {}), {});
    EXPECT_NE(trackOf(*itemOf(first, 0)), trackOf(*itemOf(second, 0)));
    EXPECT_NE(trackOf(*itemOf(first, 1)), trackOf(*itemOf(second, 1)));
}

TEST(LprSettings, RequiredSwitches)
{
    const CameraSettings& required = requiredLprSettings();
    ASSERT_EQ(required.size(), 9U);
    for (const auto& [key, value] : required)
        EXPECT_EQ(value, "1") << key.toStdString();

    CameraSettings camera = required;
    camera["lpr_other"] = "0";
    EXPECT_TRUE(hasRequiredLprSettings(required, camera));

    CameraSettings off = camera;
    off["lpr_region_enable"] = "0";
    EXPECT_FALSE(hasRequiredLprSettings(required, off));

    CameraSettings missing = camera;
    missing.erase("lpr_vehiclecolor_enable");
    EXPECT_FALSE(hasRequiredLprSettings(required, missing));

    EXPECT_FALSE(hasRequiredLprSettings(required, {}));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
