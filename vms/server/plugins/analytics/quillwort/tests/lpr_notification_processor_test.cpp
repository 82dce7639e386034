// Licence plates: objects with boxes and best shots, the plate-detected event, and the record search at the
// camera that finds the best shot's image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include <QtCore/QUrl>

#include <vorn/utils/monotonic_time.h>
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

using PlateItems = std::vector<std::pair<std::string, std::string>>;

// A packet with one plate notification per entry, in order.
std::string platePacket(const std::vector<PlateItems>& plates)
{
    std::string messages;
    for (const PlateItems& items : plates) {
        std::string data;
        for (const auto& [name, value] : items)
            data += "<tt:SimpleItem Name=\"" + name + "\" Value=\"" + value + "\"/>";
        messages += "<wsnt:NotificationMessage><wsnt:Topic>tnsaxis:CameraApplicationPlatform/ALPV.AllPlates"
                    "</wsnt:Topic><wsnt:Message><tt:Message><tt:Data>" +
                    data + "</tt:Data></tt:Message></wsnt:Message></wsnt:NotificationMessage>";
    }
    return "<tt:MetadataStream><tt:Event>" + messages + "</tt:Event></tt:MetadataStream>";
}

std::string plateNotification(const PlateItems& items)
{
    return platePacket({items});
}

// A plate of the car with a capture time, so that it is searched, and the box {0.1, 0.1, 0.05, 0.05}.
PlateItems searchedPlate(int carId)
{
    return {{"carID", std::to_string(carId)},
            {"capture_timestamp", "100"},
            {"left", "192"},
            {"top", "108"},
            {"width", "96"},
            {"height", "54"}};
}

constexpr char kSearchSkipped[] = "Plate record search skipped: the camera did not answer the last one in time";
constexpr char kBudgetSpent[] = "Plate record search skipped: the searches of the last 10000 ms took more than 5000 ms";

std::size_t linesWith(const std::vector<std::string>& lines, const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&text](const std::string& line) { return line.find(text) != std::string::npos; }));
}

// The path of the best shot's image URL; empty without one.
QString imagePathOf(const ReceivedBestShot& bestShot)
{
    return QUrl(QString::fromStdString(bestShot.imageUrl.value_or(""))).path();
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
        // An agent of its own: the time-out of the row before holds its agent's searches back a while.
        const auto agent = createAgent();
        ASSERT_TRUE(select(*agent, Strings{kPlateEvent}, Strings{kPlateObject}));
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

// One packet may carry many plates. After a search that was slow (a reply of any kind just under the time-out)
// or failed in transport (silence, a body cut short or stalled, a refused connection), the plates of the next
// time-out skip their searches and go out with their boxes: such a camera costs the server thread about one
// search for the whole packet, not one per plate. A camera that answers quickly, even badly, is asked for
// every plate. Once the time-out has passed, the next plate asks the camera again.
TEST_F(AxisLicencePlates, PlatesAfterASlowOrFailedSearchSkipTheirSearches)
{
    constexpr int kPlates = 10;
    std::vector<PlateItems> plates;
    for (int carId = 1; carId <= kPlates; ++carId)
        plates.push_back(searchedPlate(carId));
    const vorn::sdk::analytics::BoundingBox plateBox{0.1F, 0.1F, 0.05F, 0.05F}; //< of searchedPlate()
    camera.addPlateRecord({.carId = 1, .timestamp = 100'000, .imagePath = "images/1.bmp"});
    // Slow replies come at 6 of the client's 10 s, and a search counts as slow after 5 s. A delayed reply is
    // never early, so the search always counts as slow; at this scale 400 ms of real time are left before the
    // time-out, room for a loaded machine.
    const vorn::utils::ScopedTimeScale fast(0.1);
    const auto slow = std::chrono::duration_cast<std::chrono::milliseconds>(
        vorn::utils::ScaledClock::toRealDuration(axis::kCameraRequestTimeout * 6 / 10));
    const std::string partialRecord = "<events><event><CAR_ID>1</CAR_ID>";
    const FakeHttpServer::Reply cameraError =
        FakeHttpServer::Reply::withStatus(500, "<error>busy</error>\n", "text/xml");
    struct Row
    {
        const char* name;
        std::optional<FakeHttpServer::Reply> reply; //< none: the camera's own record list, with car 1's image
        std::chrono::milliseconds delay;            //< of the reply, in real time
        bool refuses;                               //< the camera takes no more connections, to the end
        bool timesOut;
        bool heldBack;
    };
    const Row rows[] = {
        {"silent", FakeHttpServer::Reply::silent(), {}, false, true, true},
        {"stalls in the body", FakeHttpServer::Reply::stalledBody(partialRecord, 4000), {}, false, true, true},
        {"body cut short", FakeHttpServer::Reply::cutBody(partialRecord, 4000), {}, false, false, true},
        {"slow error", cameraError, slow, false, false, true},
        {"slow record", std::nullopt, slow, false, false, true},
        {"not found", FakeHttpServer::Reply::withStatus(404), {}, false, false, false},
        {"quick error", cameraError, {}, false, false, false},
        {"reply not XML", FakeHttpServer::Reply::ok("<events><event>"), {}, false, false, false},
        {"refuses connections", std::nullopt, {}, true, false, true}, // last: the camera stays so
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setReply(FakeAxisCamera::kPlateSearchPath, row.reply);
        camera.setReplyDelay(FakeAxisCamera::kPlateSearchPath, row.delay);
        const auto agent = createAgent();
        ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
        if (row.refuses)
            camera.http().stopListening();
        const bool answersRecords = !row.reply && !row.refuses;
        const std::size_t tried = row.heldBack ? 1 : kPlates;
        const std::size_t searches = camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size();
        const std::size_t bestShotsBefore = recordsOf<ReceivedBestShot>().size();
        LogCapture log(Level::debug);
        const auto start = vorn::utils::ScaledClock::now();
        ASSERT_TRUE(consume(*agent, platePacket(plates), 3));
        const auto elapsed = vorn::utils::ScaledClock::now() - start;
        if (row.timesOut) {
            EXPECT_GE(elapsed, axis::kCameraRequestTimeout);
            EXPECT_LT(elapsed, kTimedOutRequestBound); // one time-out; one per plate would be 100 s
        }
        EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), searches + (row.refuses ? 0 : tried));

        const auto bestShots = recordsOf<ReceivedBestShot>();
        ASSERT_EQ(bestShots.size(), bestShotsBefore + kPlates);
        for (std::size_t i = bestShotsBefore; i < bestShots.size(); ++i) {
            SCOPED_TRACE(i - bestShotsBefore);
            const bool found = answersRecords && i == bestShotsBefore;
            EXPECT_EQ(imagePathOf(bestShots[i]), found ? "/local/fflprapp/images/1.bmp" : "");
            EXPECT_EQ(bestShots[i].boundingBox, found ? vorn::sdk::analytics::BoundingBox() : plateBox);
        }
        std::vector<std::string> lines = logTexts(log);
        EXPECT_EQ(linesWith(lines, kSearchSkipped), kPlates - tried);
        EXPECT_EQ(linesWith(lines, "Couldn't fetch best shot image url"), kPlates - (answersRecords ? 1U : 0U));

        // The camera answers at once again (but for the one that refuses); the next plate after the time-out
        // asks it, on the scaled clock, which stands still from here and moves only when the test says.
        camera.setReply(FakeAxisCamera::kPlateSearchPath, std::nullopt);
        camera.setReplyDelay(FakeAxisCamera::kPlateSearchPath, {});
        vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
        clock.advance(vorn::utils::ScaledClock::toRealDuration(axis::kCameraRequestTimeout + std::chrono::seconds(1)));
        log.logger().clear();
        ASSERT_TRUE(consume(*agent, plateNotification(searchedPlate(1)), 3));
        EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), searches + (row.refuses ? 0 : tried + 1));
        lines = logTexts(log);
        EXPECT_EQ(linesWith(lines, kSearchSkipped), 0U);
        EXPECT_EQ(linesWith(lines, "Request failed: "), row.refuses ? 1U : 0U);
        EXPECT_EQ(imagePathOf(recordsOf<ReceivedBestShot>().back()), row.refuses ? "" : "/local/fflprapp/images/1.bmp");
    }
}

// The searches are held back for one time-out from the failure, on the scaled clock; then the next plate
// asks the camera again, and a camera that answers again gives the record's image.
TEST_F(AxisLicencePlates, SearchesResumeOneTimeOutAfterTheFailure)
{
    camera.addPlateRecord({.carId = 5, .timestamp = 100'000, .imagePath = "images/5.bmp"});
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
    const vorn::utils::ScopedTimeScale fast(kFastTimeScale);
    // The scaled clock stands still from here and moves only when the test says; the search's own
    // time-out still passes, on the system's clock.
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());

    camera.setReply(FakeAxisCamera::kPlateSearchPath, FakeHttpServer::Reply::silent());
    ASSERT_TRUE(consume(*agent, plateNotification(searchedPlate(5)), 3));
    ASSERT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), 1U);
    camera.setReply(FakeAxisCamera::kPlateSearchPath, std::nullopt); // the camera answers again

    struct Step
    {
        const char* name;
        std::chrono::milliseconds advance; //< clock time since the step before
        bool searched;
    };
    const Step steps[] = {
        {"at once", std::chrono::seconds(0), false},
        {"before the time-out has passed", axis::kCameraRequestTimeout - std::chrono::seconds(1), false},
        {"after it", std::chrono::seconds(2), true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        clock.advance(vorn::utils::ScaledClock::toRealDuration(step.advance));
        const std::size_t searches = camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size();
        LogCapture log(Level::debug);
        ASSERT_TRUE(consume(*agent, plateNotification(searchedPlate(5)), 3));
        EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), searches + (step.searched ? 1 : 0));
        EXPECT_EQ(linesWith(logTexts(log), kSearchSkipped), step.searched ? 0U : 1U);
        const ReceivedBestShot bestShot = recordsOf<ReceivedBestShot>().back();
        const QUrl url(QString::fromStdString(bestShot.imageUrl.value_or("")));
        EXPECT_EQ(url.path(), step.searched ? "/local/fflprapp/images/5.bmp" : "");
        const vorn::sdk::analytics::BoundingBox box{0.1F, 0.1F, 0.05F, 0.05F};
        EXPECT_EQ(bestShot.boundingBox, step.searched ? vorn::sdk::analytics::BoundingBox() : box);
    }
}

// A camera that answers every search, but takes seconds for each, holds the server thread only so long: once
// the searches of the last time-out took more than half of it together, the plates of the next time-out skip
// theirs and go out with their boxes, whether they come in one packet or in one packet each; then the searches
// resume. A camera that answers quickly, or whose slow searches are spread out, is searched for every plate.
// The camera takes its time on the test's clock alone: the clock stands still but when the camera moves it as
// it answers, so the figures below are exact however loaded the machine is.
TEST_F(AxisLicencePlates, SlowSearchesKeepToABudgetOfTheThreadsTime)
{
    constexpr int kPlates = 20;
    const auto imagePathOfCar = [](int carId) { return "/local/fflprapp/images/" + std::to_string(carId) + ".bmp"; };
    for (int carId = 1; carId <= kPlates + 2; ++carId) {
        camera.addPlateRecord({.carId = static_cast<uint64_t>(carId),
                               .timestamp = 100'000,
                               .imagePath = "images/" + std::to_string(carId) + ".bmp"});
    }
    const vorn::sdk::analytics::BoundingBox plateBox{0.1F, 0.1F, 0.05F, 0.05F}; //< of searchedPlate()
    const vorn::utils::ScopedTimeScale realTime(1.0); // the scaled clock is the fake time, to the nanosecond
    vorn::utils::FakeMonotonicTime clock(vorn::utils::monotonicTime());
    using std::chrono::milliseconds;
    struct Row
    {
        const char* name;
        milliseconds searchTime; //< what the camera takes for each search
        bool onePacket;          //< every plate in one packet, else one packet each
        milliseconds gap;        //< between two packets
        int searched;
    };
    const Row rows[] = {
        {"4 s searches, 20 plates in one packet", milliseconds(4000), true, {}, 2},
        {"4 s searches, 20 packets one after another", milliseconds(4000), false, {}, 2},
        {"quick searches", milliseconds(100), true, {}, kPlates},
        {"2.5 s searches, at the budget", milliseconds(2500), false, {}, 3},
        {"2.501 s searches, past it", milliseconds(2501), false, {}, 2},
        {"4 s searches 6 s apart", milliseconds(4000), false, milliseconds(6000), kPlates},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera.setRequestAction(FakeAxisCamera::kPlateSearchPath, [&clock, &row] {
            clock.advance(vorn::utils::ScaledClock::toRealDuration(row.searchTime));
        });
        const auto agent = createAgent();
        ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
        const std::size_t searches = camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size();
        const std::size_t objectsBefore = recordsOf<ReceivedObjectPacket>().size();
        const std::size_t bestShotsBefore = recordsOf<ReceivedBestShot>().size();
        LogCapture log(Level::debug);

        const auto start = vorn::utils::ScaledClock::now();
        if (row.onePacket) {
            std::vector<PlateItems> plates;
            for (int carId = 1; carId <= kPlates; ++carId)
                plates.push_back(searchedPlate(carId));
            ASSERT_TRUE(consume(*agent, platePacket(plates), 3));
        } else {
            for (int carId = 1; carId <= kPlates; ++carId) {
                if (carId > 1)
                    clock.advance(vorn::utils::ScaledClock::toRealDuration(row.gap));
                ASSERT_TRUE(consume(*agent, plateNotification(searchedPlate(carId)), 3));
            }
        }
        const auto spent = vorn::utils::ScaledClock::now() - start - (kPlates - 1) * row.gap;
        EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), searches + row.searched);
        EXPECT_EQ(spent, row.searched * row.searchTime);
        if (row.gap == milliseconds::zero()) {
            // Half a time-out and the search that went past it; at most two time-outs for the 4 s camera.
            EXPECT_LE(spent, axis::kCameraRequestTimeout / 2 + row.searchTime);
            EXPECT_LE(spent, 2 * axis::kCameraRequestTimeout);
        }

        const auto objects = recordsOf<ReceivedObjectPacket>();
        const auto bestShots = recordsOf<ReceivedBestShot>();
        ASSERT_EQ(objects.size(), objectsBefore + kPlates);
        ASSERT_EQ(bestShots.size(), bestShotsBefore + kPlates);
        for (int plate = 0; plate < kPlates; ++plate) {
            SCOPED_TRACE(plate);
            const ReceivedBestShot& bestShot = bestShots[bestShotsBefore + plate];
            EXPECT_EQ(bestShot.trackId, objects[objectsBefore + plate].items.at(0).trackId);
            const bool searched = plate < row.searched;
            EXPECT_EQ(imagePathOf(bestShot).toStdString(), searched ? imagePathOfCar(plate + 1) : "");
            EXPECT_EQ(bestShot.boundingBox, searched ? vorn::sdk::analytics::BoundingBox() : plateBox);
        }
        std::vector<std::string> lines = logTexts(log);
        EXPECT_EQ(linesWith(lines, kBudgetSpent), static_cast<std::size_t>(kPlates - row.searched));
        EXPECT_EQ(linesWith(lines, kSearchSkipped), 0U);

        // One time-out after the last search ended the plates are searched again, the first two of a new
        // window at least; a moment before it they are not.
        log.logger().clear();
        const bool heldBack = row.searched < kPlates;
        if (heldBack) {
            clock.advance(vorn::utils::ScaledClock::toRealDuration(axis::kCameraRequestTimeout - milliseconds(1)));
            ASSERT_TRUE(consume(*agent, plateNotification(searchedPlate(kPlates + 1)), 3));
            EXPECT_EQ(imagePathOf(recordsOf<ReceivedBestShot>().back()).toStdString(), "");
            EXPECT_EQ(linesWith(logTexts(log), kBudgetSpent), 1U);
        }
        clock.advance(
            vorn::utils::ScaledClock::toRealDuration(heldBack ? milliseconds(1) : axis::kCameraRequestTimeout));
        ASSERT_TRUE(consume(*agent, platePacket({searchedPlate(kPlates + 1), searchedPlate(kPlates + 2)}), 3));
        EXPECT_EQ(camera.requestsTo(FakeAxisCamera::kPlateSearchPath).size(), searches + row.searched + 2);
        const auto resumed = recordsOf<ReceivedBestShot>();
        EXPECT_EQ(imagePathOf(resumed[resumed.size() - 2]).toStdString(), imagePathOfCar(kPlates + 1));
        EXPECT_EQ(imagePathOf(resumed.back()).toStdString(), imagePathOfCar(kPlates + 2));
    }
    camera.setRequestAction(FakeAxisCamera::kPlateSearchPath, {}); // before the clock it moves goes
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

// What the camera says of the box is read as numbers "0 when not a number" (so too "nan" and "inf") and cut
// to the frame: the server never gets a box with a non-finite part or one that leaves the frame.
TEST_F(AxisLicencePlates, BoxIsFiniteAndInsideTheFrame)
{
    const auto agent = createAgent(); // 1920 x 1080
    ASSERT_TRUE(select(*agent, std::nullopt, Strings{kPlateObject}));
    struct Row
    {
        const char* name;
        const char* left;
        const char* top;
        const char* width;
        const char* height;
        vorn::sdk::analytics::BoundingBox box;
    };
    const Row rows[] = {
        {"inside the frame", "192", "108", "96", "54", {0.1F, 0.1F, 0.05F, 0.05F}},
        {"nan and infinities read as 0", "nan", "inf", "-inf", "54", {0, 0, 0, 0.05F}},
        {"infinities in other spellings", "-INF", "Infinity", "NaN", "+inf", {0, 0, 0, 0}},
        {"past the range of a double", "1e400", "108", "-1e400", "54", {0, 0.1F, 0, 0.05F}},
        {"sums past the range of a double", "1e308", "-1e308", "1e308", "1e308", {1, 0, 0, 0}},
        {"starts before the frame", "-192", "-1e20", "384", "1e20", {0, 0, 0.1F, 0}},
        {"reaches past the frame", "1728", "972", "1e30", "216", {0.9F, 0.9F, 0.1F, 0.1F}},
        {"negative size", "192", "108", "-96", "-54", {0.1F, 0.1F, 0, 0}},
        {"wholly outside the frame", "4000", "-500", "96", "54", {1, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t before = recordsOf<ReceivedObjectPacket>().size();
        ASSERT_TRUE(consume(
            *agent,
            plateNotification(
                {{"carID", "3"}, {"left", row.left}, {"top", row.top}, {"width", row.width}, {"height", row.height}}),
            1));
        const auto objects = recordsOf<ReceivedObjectPacket>();
        ASSERT_EQ(objects.size(), before + 1);
        const vorn::sdk::analytics::BoundingBox& box = objects.back().items.at(0).boundingBox;
        EXPECT_NEAR(box.x, row.box.x, 1e-6);
        EXPECT_NEAR(box.y, row.box.y, 1e-6);
        EXPECT_NEAR(box.width, row.box.width, 1e-6);
        EXPECT_NEAR(box.height, row.box.height, 1e-6);
        EXPECT_LE(box.x + box.width, 1.0F + 1e-6F);
        EXPECT_LE(box.y + box.height, 1.0F + 1e-6F);
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
