// LprMonitor's readers and writer of the camera's bytes: the packets, the login reply and packet, the chunk
// walk of a plate packet's payload and the plate record.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/utils/monotonic_time.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/lpr_monitor.h>

#include "larkspur_test_support.h"
#include "lpr_test_bytes.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using vorn::utils::AssertionCapture;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;

std::vector<std::string> toStd(const QStringList& texts)
{
    std::vector<std::string> result;
    for (const QString& text : texts)
        result.push_back(text.toStdString());
    return result;
}

// Bytes in a heap block of exactly their size, so that AddressSanitizer catches a read past the range.
class ExactBytes
{
public:
    explicit ExactBytes(const std::string& bytes)
        : m_size(bytes.size())
        , m_data(std::make_unique<char[]>(bytes.size()))
    {
        std::copy(bytes.begin(), bytes.end(), m_data.get());
    }
    std::string_view view() const { return {m_data.get(), m_size}; }

private:
    std::size_t m_size;
    std::unique_ptr<char[]> m_data;
};

constexpr char kInvalidHeader[] = "Invalid login reply header";
constexpr char kNoEndMarker[] = "Packet End marker not found at desired position";

TEST(LprPacketReader, PacketTable)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        LprPacketType expectedType;
        ParseStatus status;
        uint64_t totalSize;
        std::string payload;
        std::vector<std::string> logs;
    };
    const std::string reply = R"({"result":200})";
    const Row rows[] = {
        {"7 bytes", std::string(7, '\xFF'), LprPacketType::kMetadata, ParseStatus::needMoreData, 8, "", {}},
        {"header of L=100 and 50 bytes",
         packetBytes(kMetadataType, "", 100).substr(0, 8) + std::string(42, 'x'),
         LprPacketType::kMetadata,
         ParseStatus::needMoreData,
         108,
         "",
         {}},
        {"L=2: empty payload", packetBytes(kMetadataType, ""), LprPacketType::kMetadata, ParseStatus::ok, 10, "", {}},
        {"payload",
         packetBytes(kLoginReplyType, reply),
         LprPacketType::kLoginReply,
         ParseStatus::ok,
         reply.size() + 10,
         reply,
         {}},
        {"a second packet behind is left alone",
         packetBytes(kMetadataType, "ab") + packetBytes(kMetadataType, "cd"),
         LprPacketType::kMetadata,
         ParseStatus::ok,
         12,
         "ab",
         {}},
        {"L=1",
         packetBytes(kMetadataType, "", 1),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"L=0",
         packetBytes(kMetadataType, "", 0),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"L at the limit waits for the whole packet",
         packetBytes(kMetadataType, "", 18662400).substr(0, 8),
         LprPacketType::kMetadata,
         ParseStatus::needMoreData,
         18662408,
         "",
         {}},
        {"L one past the limit",
         packetBytes(kMetadataType, "", 18662401).substr(0, 8),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"L at the uint32 maximum",
         packetBytes(kMetadataType, "", 0xFFFFFFFF).substr(0, 8),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"bad start marker",
         packetBytes(kMetadataType, "", 2, 0xFFDD, 0xCCFE),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"type 0x0801", packetBytes(0x0801, ""), LprPacketType::kMetadata, ParseStatus::error, 0, "", {kInvalidHeader}},
        {"login request where metadata is expected",
         packetBytes(kLoginRequestType, ""),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"metadata where the login reply is expected",
         packetBytes(kMetadataType, ""),
         LprPacketType::kLoginReply,
         ParseStatus::error,
         0,
         "",
         {kInvalidHeader}},
        {"end marker missing",
         packetBytes(kMetadataType, "abc", 5, 0xFFDE),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kNoEndMarker}},
        {"L shorter than the payload puts the marker elsewhere",
         packetBytes(kMetadataType, "abc", 4),
         LprPacketType::kMetadata,
         ParseStatus::error,
         0,
         "",
         {kNoEndMarker}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture logs(Level::verbose);
        const ExactBytes bytes(row.bytes);
        const LprParseResult result = LprMonitor::parsePacket(nullptr, bytes.view(), row.expectedType);
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.totalSize, row.totalSize);
        EXPECT_EQ(result.payload, row.payload);
        EXPECT_THAT(toStd(logs.logger().texts()), ElementsAreArray(row.logs));
    }
}

TEST(LprPacketReader, LoginReplyTable)
{
    struct Row
    {
        const char* name;
        std::string bytes;
        ParseStatus status;
        std::optional<std::string> failure; //< The level-5 line of a refusal.
    };
    const auto reply = [](const std::string& json) { return packetBytes(kLoginReplyType, json); };
    const Row rows[] = {
        {"number 200", reply(R"({"result":200})"), ParseStatus::ok, {}},
        {"text 200", reply(R"({"result":"200"})"), ParseStatus::ok, {}},
        {"text 200 OK: leading digits", reply(R"({"result":"200 OK"})"), ParseStatus::ok, {}},
        {"text with blanks and a sign", reply(R"({"result":" +200x"})"), ParseStatus::ok, {}},
        {"other members ignored", reply(R"({"msg":"fine","result":200.7})"), ParseStatus::ok, {}},
        {"number 401", reply(R"({"result":401})"), ParseStatus::error, "HTTP code 401 (401 Unauthorized)"},
        {"empty object: code 0", reply("{}"), ParseStatus::error, "HTTP code 0 (0)"},
        {"boolean result: code 0", reply(R"({"result":true})"), ParseStatus::error, "HTTP code 0 (0)"},
        {"text without digits", reply(R"({"result":"OK"})"), ParseStatus::error, "HTTP code 0 (0)"},
        {"huge text saturates", reply(R"({"result":"99999999999999999999"})"), ParseStatus::error,
         "HTTP code 2147483647 (2147483647)"},
        {"huge negative text saturates", reply(R"({"result":"-99999999999999999999"})"), ParseStatus::error,
         "HTTP code -2147483648 (-2147483648)"},
        {"array", reply("[200]"), ParseStatus::error, "Login response parsing failed with error "},
        {"incomplete header", reply("{}").substr(0, 5), ParseStatus::needMoreData, {}},
        {"metadata packet instead", packetBytes(kMetadataType, "{}"), ParseStatus::error, kInvalidHeader},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture logs(Level::debug); // Leaves out the level-6 dump of the reply.
        const ExactBytes bytes(row.bytes);
        const LprParseResult result = LprMonitor::parseLoginReply(nullptr, bytes.view());
        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.totalSize, row.status == ParseStatus::ok             ? row.bytes.size()
                                    : row.status == ParseStatus::needMoreData ? 8
                                                                              : 0);
        EXPECT_TRUE(result.payload.empty());
        if (row.failure)
            EXPECT_THAT(toStd(logs.logger().texts()), ElementsAre(*row.failure));
        else
            EXPECT_THAT(toStd(logs.logger().texts()), IsEmpty());
    }
}

TEST(LprPacketReader, LoginReplyNotJsonNamesTheParserError)
{
    LogCapture logs(Level::verbose);
    const std::string bytes = packetBytes(kLoginReplyType, "result=200");
    EXPECT_EQ(LprMonitor::parseLoginReply(nullptr, bytes).status, ParseStatus::error);
    EXPECT_THAT(
        toStd(logs.logger().texts()),
        ElementsAre("Login response: result=200", ::testing::StartsWith("Login response parsing failed with error ")));
    const QString failure = logs.logger().texts().at(1);
    EXPECT_GT(failure.size(), QString("Login response parsing failed with error ").size());
}

TEST(LprPacketWriter, LoginPacket)
{
    const vorn::BasicBuffer<char> packet = LprMonitor::makeLoginPacket("admin", "s\xC3\xA9"
                                                                                "cret");
    const std::string json = "{\"id\":\"admin\",\"password\":\"s\xC3\xA9"
                             "cret\"}";
    EXPECT_EQ(packet.toStdString(), packetBytes(kLoginRequestType, json));

    // A 4-byte payload: L = 6, 14 bytes, the end marker at bytes 12 and 13.
    const vorn::BasicBuffer<char> small = writeLprPacket(LprPacketType::kLoginRequest, "abcd");
    EXPECT_EQ(small.toStdString(), std::string("\xFF\xCC\x01\x00\x06\x00\x00\x00"
                                               "abcd\xDD\xFF",
                                               14));
}

TEST(LprChunkHeader, ValidityTable)
{
    struct Row
    {
        const char* name;
        uint32_t type;
        uint32_t size;
        bool valid;
    };
    const Row rows[] = {
        {"metadata 1", kMetadataChunkType, 1, true},
        {"metadata 238", kMetadataChunkType, 238, true},
        {"metadata 239", kMetadataChunkType, 239, false},
        {"metadata 0", kMetadataChunkType, 0, false},
        {"image 1", kImageChunkType, 1, true},
        {"image 6220800", kImageChunkType, 6220800, true},
        {"image 6220801", kImageChunkType, 6220801, false},
        {"image 0", kImageChunkType, 0, false},
        {"other type", 0x33FF0000, 10, false},
        {"type zero", 0, 10, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(isValidChunkHeader({row.type, row.size}), row.valid);
        EXPECT_EQ(isValidChunkHeader(readChunkHeader(littleEndian(row.type, 4) + littleEndian(row.size, 4))),
                  row.valid);
    }
}

// What a walk produced, in a form a table can state: each record's plate number and image bodies.
struct RecordSummary
{
    std::string plateNumber;
    std::vector<std::string> images;
    friend bool operator==(const RecordSummary&, const RecordSummary&) = default;
    friend void PrintTo(const RecordSummary& r, std::ostream* os)
    {
        *os << r.plateNumber << " with " << r.images.size() << " images";
    }
};

std::vector<RecordSummary> summarize(const std::vector<PlateRecord>& records)
{
    std::vector<RecordSummary> result;
    for (const PlateRecord& record : records) {
        RecordSummary summary{record.plateNumber, {}};
        for (const auto& image : record.images)
            summary.images.emplace_back(image.begin(), image.end());
        result.push_back(summary);
    }
    return result;
}

std::string metadataChunk(const std::string& plateNumber)
{
    TestPlate plate;
    plate.plateNumber = plateNumber;
    return chunkBytes(kMetadataChunkType, plateRecordBytes(plate));
}

std::string imageChunk(const std::string& body)
{
    return chunkBytes(kImageChunkType, body);
}

TEST(LprChunkWalk, Table)
{
    struct Row
    {
        const char* name;
        std::string payload;
        ChunkWalkStatus status;
        std::vector<RecordSummary> records;
        std::vector<std::string> logs;
        std::vector<std::string> reports; //< Conditions of the reported assertions.
    };
    const Row rows[] = {
        {"empty payload", "", ChunkWalkStatus::complete, {}, {}, {}},
        {"record with two images in arrival order",
         metadataChunk("A1") + imageChunk("first") + imageChunk("2nd"),
         ChunkWalkStatus::complete,
         {{"A1", {"first", "2nd"}}},
         {},
         {}},
        {"of many images the two smallest stay, in arrival order; the earlier of equal ones",
         metadataChunk("A1") + imageChunk("seven77") + imageChunk("3rd") + imageChunk("nine99999") + imageChunk("4th") +
             imageChunk("22"),
         ChunkWalkStatus::complete,
         {{"A1", {"3rd", "22"}}},
         {},
         {}},
        {"images go to the most recent record",
         metadataChunk("A1") + imageChunk("a") + metadataChunk("B2") + imageChunk("b") + imageChunk("c"),
         ChunkWalkStatus::complete,
         {{"A1", {"a"}}, {"B2", {"b", "c"}}},
         {},
         {}},
        {"image before any record is skipped",
         imageChunk("lost") + metadataChunk("A1") + imageChunk("kept"),
         ChunkWalkStatus::complete,
         {{"A1", {"kept"}}},
         {"Unexpected image chunk before metadata chunk"},
         {}},
        {"bad chunk header after two records drops both",
         metadataChunk("A1") + metadataChunk("B2") + chunkBytes(kMetadataChunkType, std::string(239, 'x')),
         ChunkWalkStatus::invalidChunkHeader,
         {},
         {"Invalid chunk header"},
         {}},
        {"zero-size chunk",
         metadataChunk("A1") + imageChunk("") + imageChunk("x"),
         ChunkWalkStatus::invalidChunkHeader,
         {},
         {"Invalid chunk header"},
         {}},
        {"unknown chunk type",
         metadataChunk("A1") + chunkBytes(0x33FF0000, "x"),
         ChunkWalkStatus::invalidChunkHeader,
         {},
         {"Invalid chunk header"},
         {}},
        {"5 stray bytes: records before them kept",
         metadataChunk("A1") + imageChunk("a") + "12345",
         ChunkWalkStatus::unexpectedRemainder,
         {{"A1", {"a"}}},
         {"Unexpected remainder 5 bytes"},
         {"(data.empty())"}},
        {"8 stray bytes",
         metadataChunk("A1") + std::string(8, '\0'),
         ChunkWalkStatus::unexpectedRemainder,
         {{"A1", {}}},
         {"Unexpected remainder 8 bytes"},
         {"(data.empty())"}},
        {"last chunk claims more than is left: it takes the rest",
         metadataChunk("A1") + imageChunk("abcdef").substr(0, 8 + 4),
         ChunkWalkStatus::chunkPastEnd,
         {{"A1", {"abcd"}}},
         {},
         {"(buffer.size() >= size)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture logs(Level::verbose);
        AssertionCapture assertions(false);
        const ExactBytes payload(row.payload);
        const LprChunkWalk walk = LprMonitor::parseChunks(nullptr, payload.view());
        EXPECT_EQ(walk.status, row.status);
        EXPECT_EQ(summarize(walk.records), row.records);
        EXPECT_THAT(toStd(logs.logger().texts()), ElementsAreArray(row.logs));
        std::vector<::testing::Matcher<std::string>> reports;
        for (const std::string& condition : row.reports)
            reports.push_back(HasSubstr(condition));
        EXPECT_THAT(toStd(assertions.reports()), ElementsAreArray(reports));
    }
}

TEST(LprChunkWalk, LargestPayloadOfTinyChunksIsWalkedOnce)
{
    // The largest payload a packet can carry, cut into two million 1-byte image chunks: a walk that moved
    // the rest of the payload for every chunk would copy terabytes here.
    const std::size_t maxPayload = kMaxLprPacketLength - kLprEndMarkerSize;
    const std::string tail = metadataChunk("LAST") + imageChunk("jpeg");
    const std::size_t tinyChunks = (maxPayload - tail.size()) / 9;
    std::string payload;
    payload.reserve(tinyChunks * 9 + tail.size());
    const std::string tiny = imageChunk("x");
    for (std::size_t i = 0; i < tinyChunks; ++i)
        payload += tiny;
    payload += tail;
    ASSERT_LE(payload.size(), maxPayload);

    LogCapture logs(Level::info); // The skipped chunks' level-5 lines are not built.
    const LprChunkWalk walk = LprMonitor::parseChunks(nullptr, payload);
    EXPECT_EQ(walk.status, ChunkWalkStatus::complete);
    EXPECT_EQ(summarize(walk.records), (std::vector<RecordSummary>{{"LAST", {"jpeg"}}}));
}

TEST(LprChunkWalk, ACameraThatRepeatsAFaultCostsABoundedNumberOfReportsPerWindow)
{
    // Limit 3 in a window of 60 s: every packet ends in 5 stray bytes and carries a record whose plate
    // box is upside down; each fault is reported three times, the third marked, then no more.
    const larkspur_test::ScopedLogLimiter limiter(3, 60);
    vorn::utils::FakeMonotonicTime clock(std::chrono::seconds(1000));
    AssertionCapture assertions(false);
    TestPlate plate;
    plate.y1 = 500;
    plate.y2 = 100;
    const std::string payload = chunkBytes(kMetadataChunkType, plateRecordBytes(plate)) + "12345";
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(LprMonitor::parseChunks(nullptr, payload).records.size(), 1U);

    std::vector<std::string> reports = toStd(assertions.reports());
    for (const char* condition : {"(data.empty())", "(metadata.fields2.y1 <= metadata.fields2.y2)"}) {
        SCOPED_TRACE(condition);
        int plain = 0;
        int marked = 0;
        for (const std::string& report : reports) {
            if (report.find(condition) != std::string::npos)
                ++(report.starts_with("TOO MANY SIMILAR MESSAGES: ASSERTION FAILED: ") ? marked : plain);
        }
        EXPECT_EQ(plain, 2);
        EXPECT_EQ(marked, 1);
    }
    EXPECT_EQ(reports.size(), 6U);
}

TEST(LprPlateRecordReader, Fields)
{
    TestPlate plate;
    plate.timestampMs = -1234567890123;
    plate.vehicleColor = 3;
    plate.plateColor = 8;
    plate.speed = 0xBEEF;
    plate.imageCount = 2;
    plate.direction = 1;
    plate.country = "NL";
    plate.plateNumber = "XY-99-ZZ";
    plate.vehicleKind = 4;
    plate.plateConfidence = 0.875F;
    plate.plateType = 2;
    plate.frameWidth = 2560;
    plate.frameHeight = 1440;
    plate.x1 = 10;
    plate.y1 = 20;
    plate.x2 = 300;
    plate.y2 = 400;

    AssertionCapture assertions(false);
    const ExactBytes body(plateRecordBytes(plate));
    const PlateRecord record = LprMonitor::parsePlateRecord(body.view());
    EXPECT_EQ(record.fields1.timestampMs(), plate.timestampMs);
    EXPECT_EQ(record.fields1.vehicleColor(), 3);
    EXPECT_EQ(record.fields1.plateColor(), 8);
    EXPECT_EQ(record.fields1.speed(), 0xBEEF);
    EXPECT_EQ(record.fields1.imageCount(), 2);
    EXPECT_EQ(record.fields1.direction(), 1);
    EXPECT_EQ(record.fields1.country(), "NL");
    EXPECT_EQ(record.plateNumber, "XY-99-ZZ");
    EXPECT_EQ(record.fields2.vehicleKind(), 4);
    EXPECT_EQ(record.fields2.plateConfidence(), 0.875F);
    EXPECT_EQ(record.fields2.plateType(), 2);
    EXPECT_EQ(record.fields2.frameWidth(), 2560);
    EXPECT_EQ(record.fields2.frameHeight(), 1440);
    EXPECT_EQ(record.fields2.x1(), 10);
    EXPECT_EQ(record.fields2.y1(), 20);
    EXPECT_EQ(record.fields2.x2(), 300);
    EXPECT_EQ(record.fields2.y2(), 400);
    EXPECT_TRUE(record.images.empty());
    EXPECT_GE(record.images.capacity(), 2U);
    EXPECT_THAT(toStd(assertions.reports()), IsEmpty());
}

TEST(LprPlateRecordReader, CountryField)
{
    TestPlate plate;
    plate.country = std::string(32, 'C');
    EXPECT_EQ(LprMonitor::parsePlateRecord(plateRecordBytes(plate)).fields1.country(), std::string(32, 'C'));
    plate.country = "";
    EXPECT_EQ(LprMonitor::parsePlateRecord(plateRecordBytes(plate)).fields1.country(), "");
}

TEST(LprPlateRecordReader, ChecksTable)
{
    struct Row
    {
        const char* name;
        std::string body;
        std::vector<std::string> reports;
        std::string plateNumber;
        uint16_t frameWidth; //< A field of the second part: zero when the body stops before it.
    };
    TestPlate plate;
    plate.plateNumber = "AB1";
    TestPlate reversed = plate;
    reversed.x1 = 50;
    reversed.x2 = 40;
    reversed.y1 = 60;
    reversed.y2 = 30;
    const std::string whole = plateRecordBytes(plate);
    const Row rows[] = {
        {"whole record", whole, {}, "AB1", 1920},
        {"two stray bytes behind it", whole + "zz", {"(data.empty())"}, "AB1", 1920},
        {"x2 < x1 and y2 < y1 kept",
         plateRecordBytes(reversed),
         {"(metadata.fields2.x1 <= metadata.fields2.x2)", "(metadata.fields2.y1 <= metadata.fields2.y2)"},
         "AB1",
         1920},
        {"second part cut short", whole.substr(0, 80 + 3 + 18), {"(buffer.size() >= size)"}, "AB1", 0},
        {"plate number cut short", whole.substr(0, 81), {"(buffer.size() >= size)"}, "A", 0},
        {"first part cut short", whole.substr(0, 50), {"(buffer.size() >= size)"}, "", 0},
        {"empty body", "", {"(buffer.size() >= size)"}, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AssertionCapture assertions(false);
        const ExactBytes body(row.body);
        const PlateRecord record = LprMonitor::parsePlateRecord(body.view());
        EXPECT_EQ(record.plateNumber, row.plateNumber);
        EXPECT_EQ(record.fields2.frameWidth(), row.frameWidth);
        std::vector<::testing::Matcher<std::string>> reports;
        for (const std::string& condition : row.reports)
            reports.push_back(HasSubstr(condition));
        EXPECT_THAT(toStd(assertions.reports()), ElementsAreArray(reports));
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
