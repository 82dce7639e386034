#include <array>
#include <chrono>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/sdk/analytics/i_metadata.h>
#include <vorn/sdk/analytics/i_metadata_packet.h>
#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/device_agent.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_metadata_monitor.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/rtp_metadata_parser.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using larkspur_test::loggedCount;
using sdk::Ptr;
using sdk::Uuid;
using sdk::analytics::BoundingBox;
using sdk::analytics::IMetadataPacket;
using sdk::analytics::IObjectMetadata;
using sdk::analytics::IObjectMetadataPacket;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using vorn::utils::AssertionCapture;
using vorn::utils::FakeMonotonicTime;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using namespace std::chrono_literals;

// The blob, written big-endian byte by byte from the layout tables, apart from the product's readers.
std::string bigEndian(uint64_t value, std::size_t width)
{
    std::string bytes(width, '\0');
    for (std::size_t i = 0; i < width; ++i)
        bytes[width - 1 - i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::string blobHeader()
{
    return bigEndian(0x8000, 2) + "\x01\x02" + bigEndian(0x1234, 2) + bigEndian(0x5678, 2);
}

std::string record(uint8_t eventId, uint8_t itemCount, uint32_t size, const std::string& data, uint16_t startCode = 1)
{
    return bigEndian(startCode, 2) + static_cast<char>(eventId) + static_cast<char>(itemCount) +
           bigEndian(0xDEADBEEF, 4) + bigEndian(size, 4) + data;
}

struct TestObject
{
    uint32_t number = 42;
    uint32_t type = 1;
    uint16_t x1 = 960;
    uint16_t y1 = 540;
    uint16_t x2 = 1920;
    uint16_t y2 = 1080;
};

std::string objectBytes(const TestObject& object)
{
    return bigEndian(object.number, 4) + bigEndian(0x11111111, 4) + bigEndian(0x22222222, 4) +
           bigEndian(object.type, 4) + bigEndian(object.x1, 2) + bigEndian(object.y1, 2) + bigEndian(object.x2, 2) +
           bigEndian(object.y2, 2);
}

/** An event-id-5 record with a size that matches its objects. */
std::string objectList(const std::vector<TestObject>& objects, uint16_t width = 1920, uint16_t height = 1080)
{
    std::string data = bigEndian(width, 2) + bigEndian(height, 2);
    for (const TestObject& object : objects)
        data += objectBytes(object);
    return record(5, static_cast<uint8_t>(objects.size()), static_cast<uint32_t>(data.size() / 4), data);
}

struct SeenObject
{
    std::string typeId;
    Uuid trackId;
    BoundingBox box;
};

struct SeenPacket
{
    int64_t timestampUs = 0;
    int64_t durationUs = 0;
    int32_t flags = 0;
    std::vector<SeenObject> objects;
};

// Runs the parser over blobs held in heap blocks of their exact size, so that AddressSanitizer catches
// a read past a blob, and keeps what it sends.
class RtpParserFixture : public ::testing::Test
{
protected:
    void parse(const std::string& blob, int64_t timestampUs = 1'000'000)
    {
        const auto bytes = std::make_unique<char[]>(blob.size());
        std::copy(blob.begin(), blob.end(), bytes.get());
        parser.parseMetadata(bytes.get(), static_cast<int32_t>(blob.size()), timestampUs);
    }

    std::vector<std::string> reports() const
    {
        std::vector<std::string> result;
        for (const QString& report : assertions.reports())
            result.push_back(report.toStdString());
        return result;
    }

    std::vector<SeenPacket> packets;
    AssertionCapture assertions{false};
    RtpMetadataParser parser{[this](const Ptr<IMetadataPacket>& packet) { keep(packet); }, "cam.local"};

private:
    void keep(const Ptr<IMetadataPacket>& packet)
    {
        const auto objectPacket = sdk::queryInterface<IObjectMetadataPacket>(packet);
        ASSERT_TRUE(objectPacket);
        SeenPacket seen{objectPacket->timestampUs(), objectPacket->durationUs(), objectPacket->flags(), {}};
        for (int i = 0; i < objectPacket->itemCount(); ++i) {
            const auto item = sdk::queryInterface<const IObjectMetadata>(sdk::toPtr(objectPacket->getItem(i)));
            SeenObject object{item->typeId(), {}, {}};
            item->getTrackId(&object.trackId);
            item->getBoundingBox(&object.box);
            EXPECT_EQ(item->confidence(), 1.0F);
            seen.objects.push_back(object);
        }
        packets.push_back(seen);
    }
};

TEST_F(RtpParserFixture, OnePersonInTheLowerRightQuarter)
{
    LogCapture logs(Level::verbose);
    const std::string blob = blobHeader() + objectList({{.number = 42, .type = 1}});
    ASSERT_EQ(blob.size(), 48U);
    parse(blob, 1'234'567);

    ASSERT_EQ(packets.size(), 1U);
    EXPECT_EQ(packets[0].timestampUs, 1'234'567);
    EXPECT_EQ(packets[0].durationUs, 100'000);
    EXPECT_EQ(packets[0].flags, 1);
    ASSERT_EQ(packets[0].objects.size(), 1U);
    const SeenObject& person = packets[0].objects[0];
    EXPECT_EQ(person.typeId, "vorn.zodivadad.Person");
    EXPECT_EQ(person.box, (BoundingBox{0.5F, 0.5F, 0.5F, 0.5F}));
    EXPECT_FALSE(person.trackId.isNull());
    EXPECT_THAT(reports(), IsEmpty());

    QString bytes;
    for (std::size_t i = 0; i < person.trackId.bytes.size(); ++i)
        bytes += (i ? ", " : "") + QString::number(person.trackId.bytes[i]);
    const auto records = logs.logger().records();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].text, "Sent track 42 uuid { " + bytes + " } type vorn.zodivadad.Person");
    EXPECT_TRUE(records[0].tag.endsWith(", cam.local)")) << records[0].tag.toStdString();
}

TEST_F(RtpParserFixture, ObjectTable)
{
    struct Row
    {
        const char* name;
        TestObject object;
        std::optional<std::string> typeId; //< None: dropped.
        BoundingBox box;
        std::vector<std::string> reports;
    };
    const Row rows[] = {
        {"vehicle", {.type = 2}, "vorn.zodivadad.Vehicle", {0.5F, 0.5F, 0.5F, 0.5F}, {}},
        {"unknown type", {.type = 3}, {}, {}, {"(false) Unknown object type"}},
        {"zero-size box at the origin",
         {.x1 = 0, .y1 = 0, .x2 = 0, .y2 = 0},
         "vorn.zodivadad.Person",
         {0, 0, 0, 0},
         {}},
        {"whole frame", {.x1 = 0, .y1 = 0, .x2 = 1920, .y2 = 1080}, "vorn.zodivadad.Person", {0, 0, 1, 1}, {}},
        {"x2 < x1", {.x1 = 100, .x2 = 50}, {}, {}, {}},
        {"y2 < y1", {.y1 = 100, .y2 = 50}, {}, {}, {}},
        {"right edge beyond the frame", {.x2 = 1921}, {}, {}, {}},
        {"bottom edge beyond the frame", {.y2 = 1081}, {}, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        packets.clear();
        assertions.clear();
        parse(blobHeader() + objectList({row.object}));
        if (row.typeId) {
            ASSERT_EQ(packets.size(), 1U);
            ASSERT_EQ(packets[0].objects.size(), 1U);
            EXPECT_EQ(packets[0].objects[0].typeId, *row.typeId);
            EXPECT_EQ(packets[0].objects[0].box, row.box);
        } else {
            EXPECT_THAT(packets, IsEmpty());
        }
        std::vector<::testing::Matcher<std::string>> expected;
        for (const std::string& report : row.reports)
            expected.push_back(HasSubstr(report));
        EXPECT_THAT(reports(), ElementsAreArray(expected));
    }
}

TEST_F(RtpParserFixture, MalformedBlobTable)
{
    const std::string person = objectList({{.number = 7}});
    const std::string listData = bigEndian(1920, 2) + bigEndian(1080, 2) + objectBytes({});
    struct Row
    {
        const char* name;
        std::string blob;
        bool reporterAnswer;
        std::size_t packets;
        std::vector<std::string> reports; //< Conditions, in order.
        std::vector<std::string> logs;    //< Level-5 lines, in order.
    };
    const Row rows[] = {
        {"5 bytes", "12345", false, 0, {"(shift == metadata.size())"}, {}},
        {"header only", blobHeader(), false, 0, {}, {}},
        {"event id 0, 4 bytes, then a list", blobHeader() + record(0, 0, 4, "abcd") + person, false, 1, {}, {}},
        {"event id 6, 4 words, then a list",
         blobHeader() + record(6, 0, 4, std::string(16, 'w')) + person,
         false,
         1,
         {},
         {}},
        {"5 stray bytes after a list",
         blobHeader() + person + "12345",
         false,
         1,
         {"(shift + sizeof(rtsp::SubclassHeader) <= metadata.size())", "(shift == metadata.size())"},
         {}},
        {"start code 2 stops the walk",
         blobHeader() + record(5, 1, 7, listData, 2) + person,
         false,
         0,
         {"(subclassHeader.startCode == kStartCodeMagic)", "(shift == metadata.size())"},
         {}},
        {"start code 2 passed by the reporter",
         blobHeader() + record(5, 1, 7, listData, 2) + person,
         true,
         2,
         {"(subclassHeader.startCode == kStartCodeMagic)"},
         {}},
        {"event id 9 has no data size",
         blobHeader() + record(9, 0, 4, "abcd"),
         false,
         0,
         {"(false) Unknown event id", "(subclassHeader.dataSize() > 0)", "(shift == metadata.size())"},
         {}},
        {"size past the end: earlier lists stay sent",
         blobHeader() + person + record(5, 1, 8, listData),
         false,
         1,
         {"(shift + subclassSize <= metadata.size())", "(shift == metadata.size())"},
         {"Metadata record of 44 bytes at offset 48 of a 88-byte packet; rest skipped"}},
        {"word count that would wrap in 32 bits",
         blobHeader() + record(6, 0, 0x40000001, "abcd") + person,
         true,
         0,
         {"(shift + subclassSize <= metadata.size())", "(shift == metadata.size())"},
         {"Metadata record of 4294967312 bytes at offset 8 of a 64-byte packet; rest skipped"}},
        {"list without a frame size",
         blobHeader() + record(5, 0, 0, "") + person,
         true,
         1,
         {"(subclassHeader.dataSize() > 0)"},
         {"Object list of 0 bytes has no frame size; skipped"}},
        {"list claims more objects than it holds",
         blobHeader() + record(5, 2, 7, listData) + person,
         false,
         1,
         {},
         {"Object list of 28 bytes cannot hold its 2 objects; skipped"}},
        {"list claims more objects, reporter passes everything",
         blobHeader() + record(5, 2, 7, listData) + person,
         true,
         1,
         {},
         {"Object list of 28 bytes cannot hold its 2 objects; skipped"}},
        {"zero frame width",
         blobHeader() + objectList({{}}, 0, 1080),
         false,
         0,
         {"(resolutionBase.isValid())"},
         {"Object list with frame size 0x1080 skipped"}},
        {"zero frame height passed by the reporter",
         blobHeader() + objectList({{}}, 1920, 0),
         true,
         0,
         {"(resolutionBase.isValid())"},
         {"Object list with frame size 1920x0 skipped"}},
        {"no objects", blobHeader() + objectList({}), false, 0, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture logs(Level::debug);
        packets.clear();
        assertions.clear();
        assertions.setResult(row.reporterAnswer);
        parse(row.blob);
        EXPECT_EQ(packets.size(), row.packets);
        std::vector<::testing::Matcher<std::string>> expected;
        for (const std::string& report : row.reports)
            expected.push_back(HasSubstr(report));
        EXPECT_THAT(reports(), ElementsAreArray(expected));
        std::vector<std::string> lines;
        for (const QString& text : logs.logger().texts())
            lines.push_back(text.toStdString());
        EXPECT_THAT(lines, ElementsAreArray(row.logs));
    }
}

TEST_F(RtpParserFixture, AStreamThatRepeatsAFaultCostsABoundedNumberOfReportsPerWindow)
{
    // Limit 3 in a window of 60 s: a camera whose every blob has a bad start code and an object of an
    // unknown type reports each fault three times, the third marked; the rest are level-5 lines.
    const larkspur_test::ScopedLogLimiter limiter(3, 60);
    FakeMonotonicTime clock(1000s);
    LogCapture capture(Level::verbose);
    TestObject unknown;
    unknown.type = 9;
    const std::string blob = blobHeader() + objectList({unknown}) + record(5, 0, 1, "abcd", /*startCode*/ 7);
    for (int i = 0; i < 50; ++i)
        parse(blob);
    const auto countReports = [&](const std::string& condition) {
        int plain = 0;
        int marked = 0;
        for (const std::string& report : reports()) {
            if (report.find("(" + condition + ")") == std::string::npos)
                continue;
            ++(report.starts_with("TOO MANY SIMILAR MESSAGES: ASSERTION FAILED: ") ? marked : plain);
        }
        return std::pair(plain, marked);
    };
    EXPECT_EQ(countReports("false"), std::pair(2, 1)) << "unknown object type";
    EXPECT_EQ(countReports("subclassHeader.startCode == kStartCodeMagic"), std::pair(2, 1));
    EXPECT_EQ(countReports("shift == metadata.size()"), std::pair(2, 1));
    EXPECT_EQ(loggedCount(capture, "ASSERTION FAILED"), 3 * 47);

    // The next window reports again.
    clock.advance(61s);
    assertions.clear();
    parse(blob);
    EXPECT_EQ(reports().size(), 3U);
}

TEST_F(RtpParserFixture, NegativeOrMissingDataIsIgnored)
{
    LogCapture logs(Level::debug);
    const std::string blob = blobHeader() + objectList({{}});
    parser.parseMetadata(blob.data(), -static_cast<int32_t>(blob.size()), 1);
    parser.parseMetadata(nullptr, 48, 1);
    EXPECT_THAT(packets, IsEmpty());
    EXPECT_THAT(reports(), IsEmpty());
    EXPECT_THAT(logs.logger().texts(), ElementsAre("Metadata packet with a data size of -48 ignored",
                                                   "Metadata packet with a data size of 48 ignored"));
}

TEST(RtpMetadataMonitor, LogsUnderItsOwnTagWithTheCameraHost)
{
    larkspur_test::AgentUnderTest test;
    const auto agent = test.create();
    RtpMetadataMonitor monitor(agent.get());
    RtpMetadataParser parser([](const Ptr<IMetadataPacket>&) {}, "cam.local");
    LogCapture logs(Level::verbose);
    monitor.parseMetadata(nullptr, -1, 0);
    parser.parseMetadata(nullptr, -1, 0);

    const auto records = logs.logger().records();
    ASSERT_EQ(records.size(), 2U);
    const auto tag = [](const char* className, const void* object, const QString& host) {
        return QString("vorn::vms_server_plugins::analytics::zodivadad::%1(0x%2, %3)")
            .arg(className, QString::number(reinterpret_cast<quintptr>(object), 16), host);
    };
    EXPECT_EQ(records[0].tag, tag("RtpMetadataMonitor", &monitor, agent->host()));
    EXPECT_EQ(records[1].tag, tag("RtpMetadataParser", &parser, "cam.local"));
}

class RtpTrackFixture : public RtpParserFixture
{
protected:
    // The track id of each object of the one packet that `objects` gives.
    std::vector<Uuid> sight(const std::vector<uint32_t>& numbers)
    {
        std::vector<TestObject> objects;
        for (uint32_t number : numbers)
            objects.push_back({.number = number});
        packets.clear();
        parse(blobHeader() + objectList(objects));
        std::vector<Uuid> ids;
        for (const SeenPacket& packet : packets)
            for (const SeenObject& object : packet.objects)
                ids.push_back(object.trackId);
        return ids;
    }

    FakeMonotonicTime clock{std::chrono::hours(1)};
};

TEST_F(RtpTrackFixture, TrackIdStaysWithTheObjectNumber)
{
    const std::vector<Uuid> first = sight({1, 2});
    ASSERT_EQ(first.size(), 2U);
    EXPECT_NE(first[0], first[1]);
    clock.advance(5s);
    EXPECT_EQ(sight({2, 1}), (std::vector<Uuid>{first[1], first[0]}));
    const std::vector<Uuid> third = sight({3});
    ASSERT_EQ(third.size(), 1U);
    EXPECT_NE(third[0], first[0]);
    EXPECT_NE(third[0], first[1]);
}

TEST_F(RtpTrackFixture, TheMostObjectsOfOneRecordAreSentInOnePacketEachWithATrackOfItsOwn)
{
    std::vector<uint32_t> numbers(255); //< The item count is one byte.
    std::iota(numbers.begin(), numbers.end(), 1000U);
    const std::vector<Uuid> ids = sight(numbers);
    ASSERT_EQ(packets.size(), 1U);
    ASSERT_EQ(ids.size(), numbers.size());
    std::set<std::array<uint8_t, 16>> distinct;
    for (const Uuid& id : ids)
        distinct.insert(id.bytes);
    EXPECT_EQ(distinct.size(), numbers.size());
    EXPECT_THAT(reports(), IsEmpty());
}

TEST_F(RtpTrackFixture, DroppedObjectNeitherMakesNorRefreshesATrack)
{
    const Uuid id = sight({1}).at(0);
    // The object comes back with an unknown type only: no sighting, so its track ages on.
    clock.advance(31s);
    parse(blobHeader() + objectList({{.number = 1, .type = 9}}));
    clock.advance(30s);
    sight({2}); // The expiry pass runs here (61 s after the first list).
    EXPECT_NE(sight({1}).at(0), id);
}

TEST_F(RtpTrackFixture, ExpiryPassRunsAtMostOncePerMinuteAndDropsTracksUnseenFor30Seconds)
{
    LogCapture logs(Level::verbose);
    const std::vector<Uuid> start = sight({10, 20}); // The cleanup timer starts here.
    const Uuid a = start.at(0);
    const Uuid b = start.at(1);
    clock.advance(21s);
    sight({20});
    clock.advance(30s);
    sight({10});
    clock.advance(8s);
    // 59 s after the start: no pass yet, although track 20 is unseen for 38 s.
    sight({30});
    EXPECT_THAT(logs.logger().texts(), ::testing::Not(Contains("Clearing expired object tracks")));

    clock.advance(2s);
    // 61 s: the pass runs; track 10 (seen 10 s ago) stays, track 20 (40 s ago) goes, track 30 (2 s) stays.
    const Uuid c = sight({30}).at(0);
    EXPECT_THAT(logs.logger().texts(), Contains("Clearing expired object tracks"));
    EXPECT_THAT(logs.logger().texts(), Contains("Clearing expired track 20"));
    EXPECT_THAT(logs.logger().texts(), ::testing::Not(Contains("Clearing expired track 10")));

    const std::vector<Uuid> after = sight({10, 20, 30});
    ASSERT_EQ(after.size(), 3U);
    EXPECT_EQ(after[0], a);
    EXPECT_NE(after[1], b);
    EXPECT_EQ(after[2], c);
}

TEST_F(RtpTrackFixture, EmptyListStillRunsTheExpiryPass)
{
    const Uuid id = sight({5}).at(0);
    clock.advance(61s);
    packets.clear();
    parse(blobHeader() + objectList({}));
    EXPECT_THAT(packets, IsEmpty());
    EXPECT_NE(sight({5}).at(0), id);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
