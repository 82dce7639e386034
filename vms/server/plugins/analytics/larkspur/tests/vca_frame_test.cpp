#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include <QtCore/QStringList>

#include <vorn/utils/log/log_capture.h>

#include <fake_zodivadad_camera/vca_wire.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/vca_command.h>
#include <vorn/vms_server_plugins/analytics/zodivadad/vca_frame.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using Json = vorn::kit::detail::json11::Json;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
namespace wire = vorn::testing::vca_wire;

Json parsed(const std::string& text)
{
    std::string error;
    return Json::parse(text, error);
}

// Each row is one buffer handed to the reader once; `log` is the start of the one line written at levels
// up to 6, if any.
TEST(VcaFrameReader, Table)
{
    const std::string object = R"({"event":1,"alarm":1})";
    const std::string alarm = wire::frame(wire::kVcaAlarmCommand, wire::jsonChunk(object));
    const std::string face = wire::frame(wire::kFaceCommand, wire::jsonChunk(object) + wire::imageChunk("JPEG"));
    const std::string badCrc = wire::frame(wire::FrameHeader().withCommand(257).withChecksum(1), "{}");
    const auto header = [] { return wire::FrameHeader(); };
    const std::string none = "null";

    const struct
    {
        const char* name;
        std::string bytes;
        ParseStatus status;
        std::uint16_t command;
        std::string json; //< Dump of the result's json.
        std::size_t left; //< Bytes left in the buffer.
        std::size_t minCapacity;
        QString log;
    } rows[] = {
        // clang-format off
        {"empty buffer", "", ParseStatus::needMoreData, kNoVcaCommand, none, 0, 16, {}},
        {"15 bytes", alarm.substr(0, 15), ParseStatus::needMoreData, kNoVcaCommand, none, 15, 16, {}},
        {"header, payload pending", alarm.substr(0, 16), ParseStatus::needMoreData, kNoVcaCommand, none, 16,
            alarm.size(), {}},
        {"all but the last byte", alarm.substr(0, alarm.size() - 1), ParseStatus::needMoreData, kNoVcaCommand, none,
            alarm.size() - 1, alarm.size(), {}},
        {"size at the limit waits", wire::frame(header().withPayloadSize(kMaxVcaPayloadSize), ""),
            ParseStatus::needMoreData, kNoVcaCommand, none, 16, 16 + kMaxVcaPayloadSize, {}},
        {"size past the limit", wire::frame(header().withPayloadSize(kMaxVcaPayloadSize + 1), ""),
            ParseStatus::error, kNoVcaCommand, none, 16, 0, "Parse failed: Data size too big"},
        {"size near 4 GiB", wire::frame(header().withPayloadSize(UINT32_MAX), ""),
            ParseStatus::error, kNoVcaCommand, none, 16, 0, "Parse failed: Data size too big"},
        {"bad magic, header only", wire::frame(header().withMagic(0x20200612), ""),
            ParseStatus::error, kNoVcaCommand, none, 16, 0, "Parse failed: Invalid magic"},
        {"bad CRC waits for the payload", badCrc.substr(0, 17), ParseStatus::needMoreData, kNoVcaCommand, none,
            17, 18, {}},
        {"bad CRC", badCrc, ParseStatus::error, kNoVcaCommand, none, 18, 0, "Parse failed: Invalid crc16"},
        {"register reply", wire::frame(1, R"({"result":401})"), ParseStatus::ok, kRegister, R"({"result":401})",
            0, 0, {}},
        {"version 1", wire::frame(257, object, 1), ParseStatus::ok, kVcaCount, object, 0, 0, {}},
        {"version 3", wire::frame(259, object, 3), ParseStatus::ok, kRegionalCount, object, 0, 0,
            "Warning: unexpected protocol version 3"},
        {"version 0", wire::frame(769, object, 0), ParseStatus::ok, kBasicAlarm, object, 0, 0,
            "Warning: unexpected protocol version 0"},
        {"radar", wire::frame(784, object), ParseStatus::ok, kRadar, object, 0, 0, {}},
        {"two frames: the first", wire::frame(769, object) + alarm, ParseStatus::ok, kBasicAlarm, object,
            alarm.size(), 0, {}},
        {"invalid JSON stays", wire::frame(257, R"({"a":)"), ParseStatus::error, kNoVcaCommand, none, 16 + 5, 0,
            R"(Parse failed: Invalid json: {"a":. Error: )"},
        {"array for an object command", wire::frame(769, "[1]"), ParseStatus::error, kNoVcaCommand, none, 16 + 3,
            0, "Parse failed: Invalid json: [1]. Error: "},
        {"undefined command", wire::frame(300, "anything"), ParseStatus::ok, 300, none, 0, 0,
            "Undefined command code 300"},
        {"chunked alarm", alarm, ParseStatus::ok, kVcaAlarm, "[" + object + "]", 0, 0, {}},
        {"chunked face with image", face, ParseStatus::ok, kFace, "[" + object + "]", 0, 0, "Got image data"},
        // clang-format on
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        BasicBuffer<char> buffer(row.bytes.data(), row.bytes.size());
        const VcaParseResult result = parseVcaPacket(&buffer, nullptr);

        EXPECT_EQ(result.status, row.status);
        EXPECT_EQ(result.command, row.command);
        EXPECT_EQ(result.json.dump(), parsed(row.json).dump());
        EXPECT_EQ(result.image.toStdString(), row.command == kFace ? "JPEG" : "");
        EXPECT_EQ(buffer.size(), row.left);
        EXPECT_EQ(buffer.view(), std::string_view(row.bytes).substr(row.bytes.size() - row.left));
        EXPECT_GE(buffer.capacity(), row.minCapacity);

        const QStringList logs = capture.logger().texts();
        ASSERT_EQ(logs.size(), row.log.isEmpty() ? 0 : 1) << logs.join(" | ").toStdString();
        if (!row.log.isEmpty()) {
            EXPECT_TRUE(logs[0].startsWith(row.log)) << logs[0].toStdString();
        }
    }
}

// `logs` are the starts of the lines written, in order.
TEST(VcaFrameReader, WarnsOfAnUnexpectedVersionBeforeTheSizeCheck)
{
    const struct
    {
        const char* name;
        std::string bytes;
        ParseStatus status;
        QStringList logs;
    } rows[] = {
        {"payload pending",
         wire::frame(wire::FrameHeader().withVersion(3).withPayloadSize(10), ""),
         ParseStatus::needMoreData,
         {"Warning: unexpected protocol version 3"}},
        {"size past the limit",
         wire::frame(wire::FrameHeader().withVersion(3).withPayloadSize(kMaxVcaPayloadSize + 1), ""),
         ParseStatus::error,
         {"Warning: unexpected protocol version 3", "Parse failed: Data size too big"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        BasicBuffer<char> buffer(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(parseVcaPacket(&buffer, nullptr).status, row.status);
        EXPECT_EQ(capture.logger().texts(), row.logs);
    }
}

TEST(VcaChunkedPayload, Table)
{
    const std::string object = R"({"event":1,"alarm":1})";
    const std::string first = wire::jsonChunk(object); // 26 bytes
    const std::string none = "null";
    const std::string one = "[" + object + "]";

    const struct
    {
        const char* name;
        std::string payload;
        std::string json; //< Dump of the result's json.
        std::string image;
        QStringList logs;
    } rows[] = {
        // clang-format off
        {"empty payload", "", "[]", "", {}},
        {"exactly 5 bytes", wire::chunk(0, 0, ""), "[]", "", {}},
        {"one object", first, one, "", {}},
        {"two objects", first + wire::jsonChunk("{}"), "[" + object + ",{}]", "", {}},
        {"two images: the second", wire::imageChunk("one") + first + wire::imageChunk("two", 7), one, "two",
            {"Got image data", "Got image data"}},
        {"trailing chunk header is not read", first + wire::chunk(0, 0, ""), one, "", {}},
        {"overruns by 1", first + wire::chunk(0, 3, "{}"), one, "", {}},
        {"overruns by 5", first + wire::chunk(0, 7, "{}"), one, "", {}},
        {"overruns by 6", first + wire::chunk(0, 8, "{}"), none, "",
            {"Parse failed: unexpected size of data: 8 (index = 26, buffer size = 33)"}},
        {"overrun drops an image read before", wire::imageChunk("JPEG") + wire::chunk(1, 100, "x"), none, "",
            {"Got image data", "Parse failed: unexpected size of data: 100 (index = 9, buffer size = 15)"}},
        {"negative length", first + wire::chunk(0, -6, "{}{}{}"), none, "",
            {"Parse failed: unexpected size of data: -6 (index = 26, buffer size = 37)"}},
        {"most negative length", wire::chunk(0, INT32_MIN, "{}"), none, "",
            {"Parse failed: unexpected size of data: -2147483648 (index = 0, buffer size = 7)"}},
        {"largest length", first + wire::chunk(1, INT32_MAX, "{}"), none, "",
            {"Parse failed: unexpected size of data: 2147483647 (index = 26, buffer size = 33)"}},
        {"invalid JSON chunk keeps what came before", first + wire::jsonChunk("[2]") + first, one, "",
            {"Parse failed: Invalid json in array: [2]. Error: "}},
        {"unparsable JSON chunk", wire::jsonChunk("{"), "[]", "", {"Parse failed: Invalid json in array: {. Error: J"}},
        // clang-format on
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        const VcaChunkedPayload result = parseChunkedPayload(row.payload, nullptr);

        EXPECT_EQ(result.json.dump(), parsed(row.json).dump());
        EXPECT_EQ(result.image.toStdString(), row.image);
        const QStringList logs = capture.logger().texts();
        ASSERT_EQ(logs.size(), row.logs.size()) << logs.join(" | ").toStdString();
        for (int i = 0; i < logs.size(); ++i)
            EXPECT_TRUE(logs[i].startsWith(row.logs[i])) << logs[i].toStdString();
    }
}

TEST(VcaFrameReader, TakesFramesOneByOneAsBytesArrive)
{
    const std::string count = wire::frame(wire::kVcaCountCommand, R"({"event":0,"number":7})");
    const std::string face = wire::frame(wire::kFaceCommand, wire::jsonChunk(R"({"face_data":[]})"));
    const std::string stream = count + face;

    // Byte by byte, as the slowest camera would send it: a frame appears exactly when its last byte is in.
    BasicBuffer<char> buffer;
    std::vector<std::uint16_t> commands;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        buffer.append(&stream[i], 1);
        const VcaParseResult result = parseVcaPacket(&buffer, nullptr);
        ASSERT_NE(result.status, ParseStatus::error);
        if (result.status == ParseStatus::ok) {
            commands.push_back(result.command);
            EXPECT_TRUE(i + 1 == count.size() || i + 1 == stream.size()) << i;
        }
    }
    EXPECT_EQ(commands, (std::vector<std::uint16_t>{kVcaCount, kFace}));
    EXPECT_TRUE(buffer.empty());

    // Both at once: two calls, no read in between.
    buffer.append(stream);
    EXPECT_EQ(parseVcaPacket(&buffer, nullptr).command, kVcaCount);
    EXPECT_EQ(parseVcaPacket(&buffer, nullptr).command, kFace);
    EXPECT_EQ(parseVcaPacket(&buffer, nullptr).status, ParseStatus::needMoreData);
}

TEST(VcaFrameWriter, WritesWhatTheCameraReads)
{
    const Json request = Json::object{{"vcaalarm", "1"}, {"user", "admin"}, {"streamid", 0}};
    const std::string text = request.dump();
    const BasicBuffer<char> frame = serializePacket(kRegister, request);

    ASSERT_EQ(frame.size(), 16 + text.size());
    EXPECT_EQ(frame.view().substr(0, 6), std::string_view("\x20\x20\x06\x02\x00\x01", 6));
    EXPECT_EQ(frame.view().substr(8, 4), std::string("\0\0\0", 3) + static_cast<char>(text.size()));
    EXPECT_EQ(frame.view().substr(12, 4), std::string_view("\0\0\0\x02", 4));

    std::string bytes = frame.toStdString();
    wire::Frame read;
    ASSERT_EQ(wire::readFrame(&bytes, &read), wire::ReadStatus::frame); // Checks the CRC with its own code.
    EXPECT_EQ(read.command, 1);
    EXPECT_EQ(read.version, 2u);
    EXPECT_EQ(read.payload, text);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
