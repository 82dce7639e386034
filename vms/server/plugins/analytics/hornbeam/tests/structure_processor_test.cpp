#include <vorn/vms_server_plugins/analytics/uniview/structure_processor.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <QtCore/QStringList>

#include <gtest/gtest.h>

#include <vorn/log_support/peer_text.h>
#include <vorn/testing/wait_until.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/base64.h>
#include <vorn/utils/log/detail/level_reducer.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/utils/scaled_clock.h>
#include <vorn/utils/settings.h>

#include "agent_test_support.h"

namespace hornbeam_test {
namespace {

using vorn::vms_server::ReceivedBestShot;
using vorn::vms_server::ReceivedObjectPacket;

const std::string kPicture = std::string("\xFF\xD8\xFF\xE0 jpeg bytes \x00\x01", 18);

std::string facePush(int faceId, int picIndex, const std::string& imageList,
                     const std::string& timeStamp = "1700000000", const std::string& listKey = "FaceInfoList",
                     const std::string& idKey = "FaceID")
{
    return R"({"TimeStamp":)" + timeStamp + R"(,"StructureInfo":{"ImageNum":1,"ImageInfoList":[)" + imageList +
           R"(],"ObjInfo":{")" + listKey + R"(":[{")" + idKey + R"(":)" + std::to_string(faceId) +
           R"(,"SmallPicAttachIndex":)" + std::to_string(picIndex) +
           R"(,"Position":"1000,2000;3000,5000","AttributeInfo":{"Gender":1}}]}}})";
}

std::string picture(int index)
{
    return R"({"Index":)" + std::to_string(index) + R"(,"Data":")" + vorn::utils::toBase64(kPicture) + R"("})";
}

class StructureProcessorTest : public ::testing::Test
{
protected:
    StructureProcessorTest()
    {
        fixture.createAgent();
        processor = std::make_unique<uniview::StructureProcessor>(fixture.agent.get());
    }

    /** The packets of one push as the server receives them. */
    std::vector<vorn::vms_server::ReceivedRecord> process(const std::string& body)
    {
        return received(processor->process(body));
    }

    /** The packets of objects with their pictures as the server receives them. */
    std::vector<vorn::vms_server::ReceivedRecord> send(std::vector<uniview::Object> objects,
                                                       std::map<int, uniview::ImageInfo> images = {})
    {
        return received(processor->sendObjects(std::move(objects), std::move(images), std::nullopt));
    }

    static std::vector<vorn::vms_server::ReceivedRecord> received(const uniview::MetadataPackets& packets)
    {
        const auto receiver = vorn::sdk::makePtr<vorn::vms_server::MetadataReceiver>();
        for (const auto& packet : packets)
            receiver->receiveMetadata(packet.get());
        return receiver->records();
    }

    AgentFixture fixture;
    std::unique_ptr<uniview::StructureProcessor> processor;
};

template <class T>
const T* as(const vorn::vms_server::ReceivedRecord& record)
{
    return std::get_if<T>(&record);
}

TEST_F(StructureProcessorTest, FaceWithPictureGivesObjectThenBestShotOnce)
{
    const auto packets = process(facePush(12, 1, picture(1)));
    ASSERT_EQ(packets.size(), 2u);
    const auto* objects = as<ReceivedObjectPacket>(packets[0]);
    ASSERT_TRUE(objects);
    EXPECT_EQ(objects->timestampUs, 1'700'000'000'000'000);
    EXPECT_EQ(objects->flags, 1);
    EXPECT_EQ(objects->durationUs, 500'000);
    ASSERT_EQ(objects->items.size(), 1u);
    EXPECT_EQ(objects->items[0].typeId, "vorn.uniview.Face");
    const vorn::sdk::Uuid trackId = objects->items[0].trackId;
    EXPECT_FALSE(trackId.isNull());
    ASSERT_FALSE(objects->items[0].attributes.empty());
    EXPECT_EQ(objects->items[0].attributes[0].value, "Man");

    const auto* bestShot = as<ReceivedBestShot>(packets[1]);
    ASSERT_TRUE(bestShot);
    EXPECT_EQ(bestShot->trackId, trackId);
    EXPECT_EQ(bestShot->timestampUs, 1'700'000'000'000'000);
    EXPECT_EQ(bestShot->flags, 1);
    EXPECT_EQ(bestShot->imageFormat, "image/jpeg");
    EXPECT_EQ(bestShot->imageData, kPicture);
    EXPECT_NEAR(bestShot->boundingBox.x, 0.1, 1e-6);
    EXPECT_NEAR(bestShot->boundingBox.height, 0.3, 1e-6);

    // The same face again: same track, no second best shot. A person with the same id: another track.
    const auto again = process(facePush(12, 1, picture(1)));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(as<ReceivedObjectPacket>(again[0])->items[0].trackId, trackId);
    const auto person = process(facePush(12, 1, picture(1), "5", "PersonInfoList", "PersonID"));
    ASSERT_EQ(person.size(), 2u);
    EXPECT_NE(as<ReceivedObjectPacket>(person[0])->items[0].trackId, trackId);
}

TEST_F(StructureProcessorTest, PushesToPacketsAndBestShots)
{
    struct Row
    {
        const char* name;
        std::string body;
        std::size_t objectPackets;
        std::size_t bestShots;
        const char* message = nullptr;
    };
    const std::vector<Row> rows = {
        {"picture by URL", facePush(1, 1, R"({"Index":1,"URL":"http://camera/pic/1.jpg"})"), 1, 1},
        {"picture of another index", facePush(2, 1, picture(2)), 1, 0},
        {"invalid Base64: no best shot", facePush(3, 1, R"({"Index":1,"Data":"@@not base64@@"})"), 1, 0,
         "is not Base64"},
        {"no objects", R"({"StructureInfo":{"ObjInfo":{}}})", 0, 0},
        {"ObjInfo as text", R"({"StructureInfo":{"ObjInfo":"x"}})", 0, 0},
        {"no StructureInfo", R"({"TimeStamp":5})", 0, 0, "StructureInfo node not found"},
        {"not JSON", R"({"StructureInfo":)", 0, 0, "JSON parsing failed - "},
        {"object list item not an object", R"({"StructureInfo":{"ObjInfo":{"FaceInfoList":[5]}}})", 0, 0,
         "Invalid Json - object expected for type vorn.uniview.Face"},
        {"image count differs",
         R"({"StructureInfo":{"ImageNum":2,"ImageInfoList":[)" + picture(7) + R"(],"ObjInfo":{}}})", 0, 0,
         "Expected 2 images, got 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
        vorn::utils::AssertionCapture assertions(false);
        const auto packets = process(row.body);
        std::size_t objectPackets = 0;
        std::size_t bestShots = 0;
        for (const auto& packet : packets) {
            objectPackets += as<ReceivedObjectPacket>(packet) ? 1 : 0;
            bestShots += as<ReceivedBestShot>(packet) ? 1 : 0;
        }
        EXPECT_EQ(objectPackets, row.objectPackets);
        EXPECT_EQ(bestShots, row.bestShots);
        if (row.message) {
            EXPECT_FALSE(capture.logger().texts().filter(row.message).isEmpty())
                << capture.logger().texts().join('\n').toStdString();
        }
    }
    // The face whose picture came with another index gets its best shot when picture 1 comes.
    const auto later = process(facePush(2, 1, picture(1)));
    EXPECT_EQ(later.size(), 2u);
}

TEST_F(StructureProcessorTest, RepeatedBadPushesCostABoundedNumberOfErrorLines)
{
    // Anyone who reaches the receiver can post: 150 pushes without "StructureInfo" and 150 whose "ObjInfo"
    // is no object give each report at most the limiter's count within its window, not 150.
    const vorn::utils::FakeMonotonicTime clock(std::chrono::hours(1000)); // one window, a new one
    ASSERT_TRUE(vorn::utils::log::detail::LevelReducer::s_isEnabled);
    const int limit = vorn::utils::ini().logSimilarMessagesLimit();
    ASSERT_LT(limit, 150);
    for (const char* body : {R"({"TimeStamp":5})", R"({"StructureInfo":{"ObjInfo":"x"}})"}) {
        SCOPED_TRACE(body);
        vorn::utils::AssertionCapture assertions(false);
        for (int i = 0; i < 150; ++i)
            process(body);
        EXPECT_EQ(assertions.reports().size(), limit);
        EXPECT_TRUE(assertions.reports().last().startsWith("TOO MANY SIMILAR MESSAGES: ASSERTION FAILED: "));
    }
}

TEST_F(StructureProcessorTest, WithoutTimeStampTheServerClockStampsWithFlagsClear)
{
    const int64_t before = fixture.agent->serverTimeUs();
    const auto packets = process(facePush(4, 1, picture(1), R"("not a number")"));
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_GE(as<ReceivedObjectPacket>(packets[0])->timestampUs, before);
    EXPECT_EQ(as<ReceivedObjectPacket>(packets[0])->flags, 0);
    EXPECT_GE(as<ReceivedBestShot>(packets[1])->timestampUs, before);
    EXPECT_EQ(as<ReceivedBestShot>(packets[1])->flags, 0);
}

TEST_F(StructureProcessorTest, TracksExpireAfterStructurePushesAndAfterSeiObjects)
{
    const vorn::utils::ScopedTimeScale fast(0.0001); // 60 s of tracks in 6 ms
    uniview::Object object;
    object.typeId = "vorn.uniview.Vehicle";
    object.id = 9;
    for (const bool sei : {false, true}) {
        SCOPED_TRACE(sei ? "SEI objects" : "structure pushes");
        processor = std::make_unique<uniview::StructureProcessor>(fixture.agent.get());
        processor->sendObjects({object}, {}, std::nullopt);
        if (sei)
            processor->sweep();
        else
            process(R"({"StructureInfo":{"ObjInfo":{}}})");
        EXPECT_EQ(processor->trackCount(), 1u);
        // Wait (on the scaled clock) past the sweep interval; the track is then older than its lifetime.
        EXPECT_TRUE(vorn::testing::waitUntil([&] {
            if (sei)
                processor->sweep();
            else
                process(R"({"StructureInfo":{"ObjInfo":{}}})");
            return processor->trackCount() == 0;
        }));
        EXPECT_EQ(processor->trackCount(), 0u);
    }
}

uniview::Object face(int id, int smallPicIndex = -1)
{
    uniview::Object object;
    object.typeId = "vorn.uniview.Face";
    object.id = id;
    object.smallPicIndex = smallPicIndex;
    return object;
}

// Anyone who reaches the receiver can push objects with ids never seen before. The processor keeps at most
// kMaxTracks of them; past that the track seen longest ago goes first, as a sweep would drop it, so a real
// object that keeps coming back keeps its track through a flood of made-up ids.
TEST_F(StructureProcessorTest, PastTheTrackBoundTheTrackSeenLongestAgoGoesFirst)
{
    constexpr int kMaxTracks = static_cast<int>(uniview::StructureProcessor::kMaxTracks);
    constexpr int kWatchedId = 0;
    const std::map<int, uniview::ImageInfo> pictures = {{1, {std::nullopt, "http://camera/face.jpg", 1}}};
    // The watched face (with a picture) first, then `newIds` faces never seen before (ids from 1, without
    // pictures), the watched face coming back after every `comesBackEvery` of them (0: never). Then the first
    // new face and the watched face come once more.
    struct Row
    {
        const char* name;
        int newIds;
        int comesBackEvery;
        bool firstNewKept;
        bool watchedKept; //< else an evicted id that comes back: a new track, and a best shot again
    };
    const std::vector<Row> rows = {
        {"at the bound", kMaxTracks - 1, 0, true, true},
        {"one past the bound: the oldest goes", kMaxTracks, 0, true, false},
        {"seen again: the one seen longest ago goes, not the first made", kMaxTracks, kMaxTracks - 1, false, true},
        {"a real object through a flood", 10 * kMaxTracks, kMaxTracks / 2, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        processor = std::make_unique<uniview::StructureProcessor>(fixture.agent.get());

        const auto first = send({face(kWatchedId, 1)}, pictures);
        ASSERT_EQ(first.size(), 2u) << "the object and its best shot";
        const vorn::sdk::Uuid watchedTrack = as<ReceivedObjectPacket>(first[0])->items[0].trackId;
        const auto sendWatched = [&](bool expectKept) {
            const auto packets = send({face(kWatchedId, 1)}, pictures);
            ASSERT_EQ(packets.size(), expectKept ? 1u : 2u) << "a best shot only for a new track";
            EXPECT_EQ(as<ReceivedObjectPacket>(packets[0])->items[0].trackId == watchedTrack, expectKept);
        };

        vorn::sdk::Uuid firstNewTrack;
        std::vector<uniview::Object> batch;
        const auto flush = [&] {
            if (batch.empty())
                return;
            const auto packets = send(std::move(batch));
            batch.clear();
            if (firstNewTrack.isNull())
                firstNewTrack = as<ReceivedObjectPacket>(packets[0])->items[0].trackId;
        };
        for (int id = 1; id <= row.newIds; ++id) {
            batch.push_back(face(id));
            if (row.comesBackEvery && id % row.comesBackEvery == 0) {
                flush();
                sendWatched(true);
            }
        }
        flush();
        EXPECT_EQ(processor->trackCount(), static_cast<std::size_t>(std::min(1 + row.newIds, kMaxTracks)));

        const auto firstNew = send({face(1)});
        EXPECT_EQ(as<ReceivedObjectPacket>(firstNew[0])->items[0].trackId == firstNewTrack, row.firstNewKept);
        sendWatched(row.watchedKept);
        EXPECT_EQ(processor->trackCount(), static_cast<std::size_t>(std::min(1 + row.newIds, kMaxTracks)));
    }
}

// The log quotes a bad "Position" the way a reader of the log can trust: a line feed in it does not start
// a line of its own, and a long text is cut, with its full length given.
TEST_F(StructureProcessorTest, ABadPositionIsLoggedOnOneLineAndCut)
{
    const std::string position = R"(1,2\n)" + std::string(2000, '7'); // JSON of "1,2", a line feed, 2000 digits
    const std::size_t positionBytes = 4 + 2000;
    vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
    const auto packets =
        process(R"({"StructureInfo":{"ObjInfo":{"FaceInfoList":[{"FaceID":1,"Position":")" + position + R"("}]}}})");
    ASSERT_EQ(packets.size(), 1u) << "the face is sent all the same";

    const QString prefix = "Unexpected position format: ";
    const QStringList lines = capture.logger().texts().filter(prefix);
    ASSERT_EQ(lines.size(), 1) << capture.logger().texts().join('\n').toStdString();
    const QString& line = lines.front();
    EXPECT_FALSE(line.contains('\n')) << "the peer's line feed is escaped";
    EXPECT_TRUE(line.startsWith(prefix + "1,2\\n777")) << line.toStdString();
    const QString mark = QString("... (%1 bytes in all)").arg(positionBytes);
    EXPECT_TRUE(line.endsWith(mark)) << line.right(100).toStdString();
    // The kept bytes, the line feed's escape one longer than the byte.
    EXPECT_LE(static_cast<std::size_t>(line.size()),
              prefix.size() + vorn::log_support::PeerText::kMaxQuotedBytes + 1 + mark.size());
}

} // namespace
} // namespace hornbeam_test
