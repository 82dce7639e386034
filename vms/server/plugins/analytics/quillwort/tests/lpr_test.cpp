// Licence plates: objects with boxes and best shots, the plate-detected event, and the record search at the
// camera that finds the best shot's image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QtCore/QUrl>

#include <vorn/utils/scaled_clock.h>
#include <vorn/vms_server_plugins/analytics/axis/camera_client.h>
#include <vorn/vms_server_plugins/analytics/axis/lpr_notification_processor.h>

#include "quillwort_test_support.h"

namespace quillwort_test {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using vorn::testing::FakeHttpServer;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::ReceivedBestShot;
using vorn::vms_server::ReceivedEventPacket;
using vorn::vms_server::ReceivedObjectPacket;

constexpr char kPlateEvent[] = "vorn.axis.event.LicensePlateDetected";
constexpr char kPlateObject[] = "vorn.axis.object.LicensePlate";
constexpr int64_t kTimestampUs = 1'714'564'800'500'000;

std::string plateNotification(const std::vector<std::pair<std::string, std::string>>& items)
{
    std::string data;
    for (const auto& [name, value] : items)
        data += "<tt:SimpleItem Name=\"" + name + "\" Value=\"" + value + "\"/>";
    return "<tt:MetadataStream><tt:Event><wsnt:NotificationMessage><wsnt:Topic>"
           "tnsaxis:CameraApplicationPlatform/ALPV.AllPlates</wsnt:Topic><wsnt:Message><tt:Message><tt:Data>" +
           data + "</tt:Data></tt:Message></wsnt:Message></wsnt:NotificationMessage></tt:Event></tt:MetadataStream>";
}

std::string attributesText(const std::vector<vorn::vms_server::ReceivedAttribute>& attributes)
{
    std::string text;
    for (const auto& attribute : attributes)
        text += (text.empty() ? "" : ", ") + attribute.name + "=" + attribute.value;
    return text;
}

using AxisLicencePlates = AgentOnFakeCamera;

TEST_F(AxisLicencePlates, PlateObjectBestShotUrlAndEvent)
{
    camera.addPlateRecord({.carId = 41, .timestamp = 1'714'564'800'000, .imagePath = "images/41.bmp"});
    camera.addPlateRecord({.carId = 42, .timestamp = 1'714'564'800'000, .imagePath = "images/42.bmp"});
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, Strings{kPlateEvent}, Strings{kPlateObject}));

    LogCapture log(Level::verbose);
    ASSERT_TRUE(consumeFile(*agent, "plate_new.xml", kTimestampUs));

    const auto search = camera.requestsTo(FakeAxisCamera::kPlateSearchPath);
    ASSERT_EQ(search.size(), 1U);
    EXPECT_EQ(search[0].query, "timestampFrom=1714564800000");

    const auto records = receiver->records();
    ASSERT_EQ(records.size(), 3U);
    const auto& object = std::get<ReceivedObjectPacket>(records[0]);
    EXPECT_EQ(object.timestampUs, kTimestampUs);
    EXPECT_EQ(object.durationUs, 200'000);
    ASSERT_EQ(object.items.size(), 1U);
    EXPECT_EQ(object.items[0].typeId, kPlateObject);
    EXPECT_EQ(object.items[0].boundingBox,
              (vorn::sdk::analytics::BoundingBox{100.0F / 1920, 50.0F / 1080, 200.0F / 1920, 40.0F / 1080}));
    EXPECT_EQ(attributesText(object.items[0].attributes), "Country=SE, Number=ABC123");

    const auto& bestShot = std::get<ReceivedBestShot>(records[1]);
    EXPECT_EQ(bestShot.trackId, object.items[0].trackId);
    EXPECT_EQ(bestShot.timestampUs, kTimestampUs);
    EXPECT_EQ(bestShot.boundingBox, vorn::sdk::analytics::BoundingBox());
    const QUrl url(QString::fromStdString(bestShot.imageUrl.value_or("")));
    EXPECT_EQ(url.userName(), kLogin); // for the server, which fetches the image itself
    EXPECT_EQ(url.password(), kPassword);
    EXPECT_EQ(url.port(), camera.port());
    EXPECT_EQ(url.path(), "/local/fflprapp/images/42.bmp");

    const auto& event = std::get<ReceivedEventPacket>(records[2]);
    EXPECT_EQ(event.timestampUs, kTimestampUs);
    ASSERT_EQ(event.items.size(), 1U);
    EXPECT_EQ(event.items[0].typeId, kPlateEvent);
    EXPECT_EQ(event.items[0].trackId, object.items[0].trackId);
    EXPECT_EQ(event.items[0].description, "");
    EXPECT_FALSE(event.items[0].isActive);
    EXPECT_EQ(attributesText(event.items[0].attributes), "Country=SE, Number=ABC123");

    // The dump shows the URL, but never the password.
    EXPECT_THAT(logTexts(log), Contains(HasSubstr("imageUrl: http://root@127.0.0.1")));
    EXPECT_THAT(logTexts(log), Not(Contains(HasSubstr(kPassword))));
}

TEST_F(AxisLicencePlates, WhatEachSelectionAndNotificationGives)
{
    const auto agent = createAgent();
    struct Row
    {
        const char* name;
        std::optional<Strings> events;
        std::optional<Strings> objects;
        std::vector<std::pair<std::string, std::string>> items;
        std::vector<std::string> kinds; //< what reaches the server, in order
    };
    const std::vector<std::pair<std::string, std::string>> fresh = {{"carID", "1"}, {"carState", "new"}};
    const Row rows[] = {
        {"nothing selected", std::nullopt, std::nullopt, fresh, {}},
        {"event only", Strings{kPlateEvent}, std::nullopt, fresh, {"event"}},
        {"object only", std::nullopt, Strings{kPlateObject}, fresh, {"object"}},
        {"both, vehicle not new", Strings{kPlateEvent}, Strings{kPlateObject}, {{"carState", "update"}}, {"object"}},
        {"both, with capture time",
         Strings{kPlateEvent},
         Strings{kPlateObject},
         {{"carState", "new"}, {"capture_timestamp", "17"}},
         {"object", "bestShot", "event"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(select(*agent, row.events, row.objects));
        const std::size_t before = receiver->recordCount();
        ASSERT_TRUE(consume(*agent, plateNotification(row.items), 1));
        std::vector<std::string> kinds;
        const auto records = receiver->records();
        for (std::size_t i = before; i < records.size(); ++i) {
            kinds.push_back(std::holds_alternative<ReceivedObjectPacket>(records[i]) ? "object"
                            : std::holds_alternative<ReceivedBestShot>(records[i])   ? "bestShot"
                                                                                     : "event");
        }
        EXPECT_EQ(kinds, row.kinds);
    }
}

TEST_F(AxisLicencePlates, BestShotFallsBackToTheBoxWhenNoImageIsFound)
{
    camera.addPlateRecord({.carId = 7, .timestamp = 100'000, .imagePath = "images/7.bmp"});
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
    struct Row
    {
        const char* name;
        std::optional<FakeHttpServer::Reply> searchReply;
        std::string carId;
        std::string captureTimestamp;
        std::optional<std::string> searchQuery; //< none: no search at all
        std::vector<const char*> lines;
    };
    const Row rows[] = {
        {"image found", std::nullopt, "7", "100", "timestampFrom=100000", {}},
        {"no record of the car",
         std::nullopt,
         "8",
         "100",
         "timestampFrom=100000",
         {"Couldn't fetch best shot image url"}},
        {"not a number", std::nullopt, "8", "soon", "timestampFrom=0", {"Couldn't fetch best shot image url"}},
        {"search refused",
         FakeHttpServer::Reply::withStatus(500),
         "7",
         "100",
         "timestampFrom=100000",
         {"Bad HTTP response status: 500 Internal Server Error", "Couldn't fetch record",
          "Couldn't fetch best shot image url"}},
        {"reply not XML",
         FakeHttpServer::Reply::ok("<events><event>"),
         "7",
         "100",
         "timestampFrom=100000",
         {"Couldn't parse record XML: ", "Couldn't fetch best shot image url"}},
        {"capture time past the search range",
         std::nullopt,
         "7",
         "9223372036854775807",
         std::nullopt,
         {"Capture timestamp 9223372036854775807 is out of range"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setReply(FakeAxisCamera::kPlateSearchPath, row.searchReply);
        const std::size_t searches = camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size();
        const std::size_t before = receiver->recordCount();
        LogCapture log(Level::debug);
        ASSERT_TRUE(consume(*agent,
                            plateNotification({{"carID", row.carId},
                                               {"capture_timestamp", row.captureTimestamp},
                                               {"left", "192"},
                                               {"top", "108"},
                                               {"width", "96"},
                                               {"height", "54"}}),
                            3));
        const auto requests = camera.requestsTo(FakeAxisCamera::kPlateSearchPath);
        if (row.searchQuery) {
            ASSERT_EQ(requests.size(), searches + 1);
            EXPECT_EQ(requests.back().query, *row.searchQuery);
        } else {
            EXPECT_EQ(requests.size(), searches);
        }
        const auto records = receiver->records();
        ASSERT_EQ(records.size(), before + 2);
        const auto& bestShot = std::get<ReceivedBestShot>(records.back());
        const bool found = row.lines.empty();
        EXPECT_EQ(bestShot.imageUrl.value_or("").empty(), !found);
        const vorn::sdk::analytics::BoundingBox box{0.1F, 0.1F, 0.05F, 0.05F};
        EXPECT_EQ(bestShot.boundingBox, found ? vorn::sdk::analytics::BoundingBox() : box);
        const std::vector<std::string> lines = logTexts(log);
        for (const char* line : row.lines)
            EXPECT_THAT(lines, Contains(HasSubstr(line)));
    }
}

// The search runs on the server thread that delivered the packet, under the lock that serialises every
// search: a camera that accepts and stays silent, or stalls in the record's body, costs a plate the camera
// client's time-out (not 30 s of the client's defaults), and the plate still goes out with its box.
TEST_F(AxisLicencePlates, SilentOrStalledSearchEndsWithinItsTimeOut)
{
    camera.addPlateRecord({.carId = 42, .timestamp = 0, .imagePath = "images/42.bmp"});
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, Strings{kPlateEvent}, Strings{kPlateObject}));
    const vorn::utils::ScopedTimeScale fast(kFastTimeScale);
    struct Row
    {
        const char* name;
        FakeHttpServer::Reply reply;
        const char* line;
    };
    const Row rows[] = {
        {"silent", FakeHttpServer::Reply::silent(), "Request failed: "},
        {"stalls in the body", FakeHttpServer::Reply::stalledBody("<events><event><CAR_ID>42</CAR_ID>", 4000),
         "Couldn't read response body: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setReply(FakeAxisCamera::kPlateSearchPath, row.reply);
        const std::size_t before = receiver->recordCount();
        LogCapture log(Level::debug);
        const auto start = vorn::utils::ScaledClock::now();
        ASSERT_TRUE(consumeFile(*agent, "plate_new.xml", kTimestampUs));
        const auto elapsed = vorn::utils::ScaledClock::now() - start;
        EXPECT_GE(elapsed, axis::kCameraRequestTimeout);
        EXPECT_LT(elapsed, kTimedOutRequestBound);

        const auto records = receiver->records();
        ASSERT_EQ(records.size(), before + 3); // object, best shot, event
        const auto& bestShot = std::get<ReceivedBestShot>(records[before + 1]);
        EXPECT_EQ(bestShot.imageUrl.value_or(""), "");
        EXPECT_EQ(bestShot.boundingBox,
                  (vorn::sdk::analytics::BoundingBox{100.0F / 1920, 50.0F / 1080, 200.0F / 1920, 40.0F / 1080}));
        EXPECT_TRUE(std::holds_alternative<ReceivedEventPacket>(records[before + 2]));
        for (const char* line : {row.line, "Couldn't fetch record", "Couldn't fetch best shot image url"})
            EXPECT_THAT(logTexts(log), Contains(HasSubstr(line)));
    }
}

TEST_F(AxisLicencePlates, WithoutAUsableImageSizeOnlyTheEventGoesOut)
{
    for (const char* body : {"", "image width = 0\nimage height = 1080\n", "image width = inf\nimage height = 1\n"}) {
        SCOPED_TRACE(body);
        camera.setImageSizeBody(body);
        const auto agent = createAgent();
        ASSERT_TRUE(select(*agent, Strings{kPlateEvent}, Strings{kPlateObject}));
        const std::size_t before = receiver->recordCount();
        LogCapture log(Level::debug);
        ASSERT_TRUE(consumeFile(*agent, "plate_new.xml", kTimestampUs));
        const auto records = receiver->records();
        ASSERT_EQ(records.size(), before + 1);
        EXPECT_TRUE(std::holds_alternative<ReceivedEventPacket>(records.back()));
        EXPECT_THAT(logTexts(log), Contains(HasSubstr("Couldn't place licence plate: image size is ")));
        EXPECT_TRUE(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).empty());
    }
}

TEST_F(AxisLicencePlates, TrackIdsFollowTheCarId)
{
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
    for (const char* carId : {"1", "2", "1", "x"})
        ASSERT_TRUE(consume(*agent, plateNotification({{"carID", carId}}), 1));
    const auto objects = recordsOf<ReceivedObjectPacket>();
    ASSERT_EQ(objects.size(), 4U);
    const auto& one = objects[0].items[0].trackId;
    const auto& two = objects[1].items[0].trackId;
    EXPECT_EQ(objects[2].items[0].trackId, one);
    for (std::size_t k = 0; k < 16; ++k)
        EXPECT_EQ(one.bytes[k] != two.bytes[k], k == 0 || k == 8) << k;
    // A car id that is not a number counts as 0: the base itself, one byte-0 and byte-8 flip from car 1.
    EXPECT_EQ(objects[3].items[0].trackId.bytes[0], one.bytes[0] ^ 1);

    // Another device agent mixes the same car into another track.
    const auto other = createAgent();
    ASSERT_TRUE(select(*other, std::nullopt, Strings{kPlateObject}));
    ASSERT_TRUE(consume(*other, plateNotification({{"carID", "1"}}), 1));
    EXPECT_NE(recordsOf<ReceivedObjectPacket>().back().items[0].trackId, one);
}

TEST(AxisPlateRecord, ImagePathOfTheCar)
{
    struct Row
    {
        const char* name;
        std::string body;
        std::optional<QString> imagePath;
        bool parseError;
    };
    const Row rows[] = {
        {"second event matches",
         "<r><event><CAR_ID>1</CAR_ID><LP_BMP>images/0.bmp</LP_BMP></event>"
         "<event><CAR_ID>5</CAR_ID><LP_BMP>images/1.bmp</LP_BMP></event></r>",
         "images/1.bmp", false},
        {"matching event without image", "<r><event><CAR_ID>5</CAR_ID></event></r>", std::nullopt, false},
        {"no event with the id", "<r><event><CAR_ID>6</CAR_ID><LP_BMP>a</LP_BMP></event></r>", std::nullopt, false},
        {"byte order mark", "\xEF\xBB\xBF<event><CAR_ID>5</CAR_ID><LP_BMP>b</LP_BMP></event>", "b", false},
        {"not XML", "<r><event>", std::nullopt, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string body = row.body;
        const axis::PlateRecordReadResult result = axis::parsePlateRecord(&body, 5);
        EXPECT_EQ(result.imagePath, row.imagePath);
        EXPECT_EQ(result.parseError.has_value(), row.parseError);
    }
}

} // namespace
} // namespace quillwort_test
