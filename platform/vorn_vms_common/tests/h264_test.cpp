#include <vorn/vms/common/h264/nal_unit.h>
#include <vorn/vms/common/h264/sei_unit.h>
#include <vorn/vms/common/h264/sps_unit.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/testing/annexb_builder.h>

namespace vorn::vms::common::h264 {
namespace {

namespace annexb = vorn::testing::annexb;

const std::uint8_t* bytes(const std::string& s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Offset of findNextNAL's answer, or -1 for "end".
long nextOffset(const std::string& data, std::size_t from = 0)
{
    const std::uint8_t* end = bytes(data) + data.size();
    const std::uint8_t* found = NALUnit::findNextNAL(bytes(data) + from, end);
    return found == end ? -1 : found - bytes(data);
}

// The plain reading of the rule, for comparison: offsets after every 00 00 01.
std::vector<long> referenceOffsets(const std::string& data)
{
    std::vector<long> offsets;
    for (std::size_t i = 2; i < data.size(); ++i) {
        if (data[i] == 1 && data[i - 1] == 0 && data[i - 2] == 0 && i + 1 < data.size())
            offsets.push_back(static_cast<long>(i + 1));
    }
    return offsets;
}

TEST(NalUnit, FindNextNalTable)
{
    using namespace std::string_literals;
    struct Row
    {
        const char* name;
        std::string data;
        long expected;
    };
    const std::vector<Row> rows = {
        {"empty", ""s, -1},
        {"start code alone", "\0\0\1"s, -1},
        {"three-byte start code", "\0\0\1\x65"s, 3},
        {"four-byte start code", "\0\0\0\1\x67"s, 4},
        {"no start code", "\x10\x20\x30\x40"s, -1},
        {"00 00 02 is none", "\0\0\2\x65"s, -1},
        {"one zero only", "\x10\0\1\x65"s, -1},
        {"start code after data", "\x11\x22\0\0\1\x06"s, 5},
        {"ends in two zeros", "\x11\x22\0\0"s, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(nextOffset(row.data), row.expected);
    }
}

TEST(NalUnit, FindsStartCodeAtEveryPositionAcrossBlockBorders)
{
    // 0x55 bytes with one start code moved through two 64-byte blocks and the byte-wise tail, so that it
    // straddles every 16- and 64-byte border once.
    for (std::size_t size : {150u, 200u}) {
        for (std::size_t at = 0; at + 4 <= size; ++at) {
            std::string data(size, '\x55');
            data[at] = 0;
            data[at + 1] = 0;
            data[at + 2] = 1;
            SCOPED_TRACE(::testing::Message() << "size " << size << " at " << at);
            EXPECT_EQ(nextOffset(data), static_cast<long>(at + 3));
        }
    }
    // A search that starts right after two zeros must not see them.
    std::string data(100, '\x55');
    data[10] = 0;
    data[11] = 0;
    data[12] = 1;
    EXPECT_EQ(nextOffset(data, 12), -1);
}

TEST(NalUnit, FindsEveryUnitOfABuiltPacket)
{
    const std::string packet = annexb::spsUnit(100, 40, 0) + annexb::sliceUnit(5000, 1, 5, false) +
                               annexb::seiUnit({{5, std::string(300, '\0')}}) + annexb::sliceUnit(20000, 2, 1);
    std::vector<long> found;
    for (long offset = nextOffset(packet); offset != -1; offset = nextOffset(packet, static_cast<std::size_t>(offset)))
        found.push_back(offset);
    EXPECT_EQ(found, referenceOffsets(packet));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(packet[static_cast<std::size_t>(found[2])] & 0x1F, NALUnit::kSeiType);
}

TEST(NalUnit, RemovesEmulationPreventionBytes)
{
    using namespace std::string_literals;
    struct Row
    {
        const char* name;
        std::string in;
        std::string out;
    };
    const std::vector<Row> rows = {
        {"none", "\x11\x22\x33"s, "\x11\x22\x33"s},
        {"before 00", "\0\0\3\0"s, "\0\0\0"s},
        {"before 01", "\0\0\3\1"s, "\0\0\1"s},
        {"before 03", "\0\0\3\3"s, "\0\0\3"s},
        {"at the end", "\x11\0\0\3"s, "\x11\0\0"s},
        {"03 before 04 stays", "\0\0\3\4"s, "\0\0\3\4"s},
        {"two in a row", "\0\0\3\0\0\3\1"s, "\0\0\0\0\1"s},
        {"single zero", "\0\3\1"s, "\0\3\1"s},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string out(row.in.size(), '\0');
        out.resize(NALUnit::removeEmulationPrevention(bytes(row.in), bytes(row.in) + row.in.size(),
                                                      reinterpret_cast<std::uint8_t*>(out.data())));
        EXPECT_EQ(out, row.out);
        // The builder's insertion is the inverse.
        if (row.name != std::string("03 before 04 stays") && row.name != std::string("single zero")) {
            EXPECT_EQ(annexb::addEmulationPrevention(row.out), row.in);
        }
    }
}

TEST(SeiUnit, ListsEveryMessageWithItsPayload)
{
    struct Row
    {
        const char* name;
        std::vector<annexb::SeiMessage> messages;
    };
    const std::vector<Row> rows = {
        {"one user-data message", {{5, "\x20private"}}},
        {"two messages in order", {{5, "first"}, {1, "second"}}},
        {"type and size coded over 255", {{300, std::string(700, '\x42')}}},
        {"payload needing emulation prevention", {{5, std::string("\0\0\1\0\0\0\0\0\3", 9)}}},
        {"empty payload", {{4, ""}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string unit = annexb::seiUnit(row.messages);
        SEIUnit sei;
        const std::uint8_t* begin = NALUnit::findNextNAL(bytes(unit), bytes(unit) + unit.size());
        ASSERT_TRUE(sei.decodeBuffer(begin, bytes(unit) + unit.size()));
        ASSERT_TRUE(sei.deserialize(SPSUnit(), 0));
        ASSERT_EQ(sei.messages().size(), row.messages.size());
        ASSERT_EQ(sei.m_processedMessages.size(), row.messages.size());
        for (std::size_t i = 0; i < row.messages.size(); ++i) {
            EXPECT_EQ(sei.messages()[i].payloadType, row.messages[i].payloadType);
            const auto [data, size] = sei.m_processedMessages[i];
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)),
                      row.messages[i].payload);
        }
    }
}

TEST(SeiUnit, MalformedUnitsListNothing)
{
    using namespace std::string_literals;
    struct Row
    {
        const char* name;
        std::string unit; //< decoded bytes, header first
        bool ok;
    };
    const std::vector<Row> rows = {
        {"size past the end", "\x06\x05\x10short\x80"s, false}, {"size cut off", "\x06\x05"s, false},
        {"type of ff bytes only", "\x06\xFF\xFF"s, false},      {"not an SEI unit", "\x65\x05\x01\x20\x80"s, false},
        {"no trailing bits", "\x06\x05\x01\x20"s, true},        {"header and stop bit only", "\x06\x80"s, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SEIUnit sei;
        ASSERT_TRUE(sei.decodeBuffer(bytes(row.unit), bytes(row.unit) + row.unit.size()));
        EXPECT_EQ(sei.deserialize(SPSUnit(), 0), row.ok);
        if (!row.ok) {
            EXPECT_TRUE(sei.m_processedMessages.empty());
        }
    }
}

TEST(NalUnit, DecodeBufferDropsTheFollowingStartCode)
{
    const std::string packet = annexb::seiUnit({{5, "abc"}}) + annexb::sliceUnit(10, 3);
    const std::uint8_t* end = bytes(packet) + packet.size();
    const std::uint8_t* sei = NALUnit::findNextNAL(bytes(packet), end);
    const std::uint8_t* next = NALUnit::findNextNAL(sei, end);
    SEIUnit unit;
    ASSERT_TRUE(unit.decodeBuffer(sei, next));
    EXPECT_EQ(unit.decoded().back(), 0x80);
    EXPECT_EQ(unit.nalUnitType(), NALUnit::kSeiType);
    ASSERT_TRUE(unit.deserialize(SPSUnit(), 0));
    ASSERT_EQ(unit.messages().size(), 1u);

    EXPECT_FALSE(unit.decodeBuffer(sei, sei));
    const std::string zeros(8, '\0');
    EXPECT_FALSE(unit.decodeBuffer(bytes(zeros), bytes(zeros) + zeros.size()));
}

TEST(SpsUnit, ReadsProfileLevelAndId)
{
    for (int id : {0, 1, 5, 31}) {
        SCOPED_TRACE(id);
        const std::string unit = annexb::spsUnit(100, 41, id);
        SPSUnit sps;
        ASSERT_TRUE(sps.decodeBuffer(bytes(unit) + 4, bytes(unit) + unit.size()));
        ASSERT_TRUE(sps.deserialize());
        EXPECT_EQ(sps.profileIdc, 100);
        EXPECT_EQ(sps.levelIdc, 41);
        EXPECT_EQ(sps.seqParameterSetId, id);
    }
    SPSUnit notSps;
    const std::string sei = annexb::seiUnit({});
    ASSERT_TRUE(notSps.decodeBuffer(bytes(sei) + 4, bytes(sei) + sei.size()));
    EXPECT_FALSE(notSps.deserialize());
}

} // namespace
} // namespace vorn::vms::common::h264
