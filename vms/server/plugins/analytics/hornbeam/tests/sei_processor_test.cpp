#include <vorn/vms_server_plugins/analytics/uniview/sei_processor.h>

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/testing/annexb_builder.h>
#include <vorn/utils/log/log_capture.h>

namespace vorn::vms_server_plugins::analytics::uniview {
namespace {

namespace annexb = vorn::testing::annexb;
using annexb::TrackRecord;

std::vector<Object> parse(const std::string& packet)
{
    return SeiProcessor(reinterpret_cast<const uint8_t*>(packet.data()), static_cast<int>(packet.size())).parse();
}

std::string packetWith(const std::string& payload)
{
    return annexb::sliceUnit(200, 1) + annexb::seiUnit({{5, payload}}) + annexb::sliceUnit(100, 2, 1);
}

// The reference record: a vehicle with id 7 at 1000,2000 - 3000,5000.
TrackRecord vehicle7()
{
    TrackRecord record;
    record.objectId = 7;
    record.left = 1000;
    record.top = 2000;
    record.right = 3000;
    record.bottom = 5000;
    record.kind = 0;
    record.typeFlag = 1;
    record.extra = "\x02";
    return record;
}

struct Expected
{
    std::string typeId;
    int id;
    float x = -1, y = -1, width = -1, height = -1;
};

TEST(SeiProcessor, PayloadsToObjects)
{
    auto with = [](auto change) {
        TrackRecord record = vehicle7();
        change(record);
        return record;
    };
    struct Row
    {
        const char* name;
        std::string payload;
        std::vector<Expected> expected;
    };
    const std::vector<Row> rows = {
        {"reference vector",
         annexb::univiewTrackPayload(40, {vehicle7()}),
         {{"vorn.uniview.Vehicle", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"person",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.extra = "\x01"; })}),
         {{"vorn.uniview.Person", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"kind 6 is a face",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.kind = 6; })}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"type flag 0 is a face",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.typeFlag = 0; })}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"no extra bytes is a face",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.extra.clear(); })}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"unknown type 3",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.extra = "\x03"; })}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"count 3, room for 2",
         annexb::univiewTrackPayload(40, {vehicle7(), with([](auto& r) { r.objectId = 8; })}, 3),
         {{"vorn.uniview.Vehicle", 7, 0.1f, 0.2f, 0.2f, 0.3f}, {"vorn.uniview.Vehicle", 8, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"inverted box keeps the object, not the box",
         annexb::univiewTrackPayload(40, {with([](auto& r) {
                                         r.left = 3000;
                                         r.right = 1000;
                                     })}),
         {{"vorn.uniview.Vehicle", 7}}},
        {"box outside the frame",
         annexb::univiewTrackPayload(40, {with([](auto& r) {
                                         r.left = 9000;
                                         r.right = 12000;
                                     })}),
         {{"vorn.uniview.Vehicle", 7}}},
        {"whole frame",
         annexb::univiewTrackPayload(40, {with([](auto& r) {
                                         r.left = 0;
                                         r.top = 0;
                                         r.right = 10000;
                                         r.bottom = 10000;
                                     })}),
         {{"vorn.uniview.Vehicle", 7, 0, 0, 1, 1}}},
        {"extra length past the message ends the records",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.extraLength = 1000; }), vehicle7()}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"extra length near 2^32 ends the records",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.extraLength = 0xFFFFFFFF; }), vehicle7()}),
         {{"vorn.uniview.Face", 7, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"object id 0 skipped, still counted",
         annexb::univiewTrackPayload(40, {with([](auto& r) { r.objectId = 0; }), with([](auto& r) { r.objectId = 9; })},
                                     2),
         {{"vorn.uniview.Vehicle", 9, 0.1f, 0.2f, 0.2f, 0.3f}}},
        {"empty box skipped",
         annexb::univiewTrackPayload(40, {with([](auto& r) {
                                         r.right = r.left;
                                         r.bottom = r.top;
                                     })}),
         {}},
        {"count 0", annexb::univiewTrackPayload(40, {vehicle7()}, 0), {}},
        {"marker 0x21", annexb::univiewTrackPayload(40, {vehicle7()}, std::nullopt, 0x21), {}},
        {"12 bytes", annexb::univiewTrackPayload(40, {}, 1).substr(0, 12), {}},
        {"header only", annexb::univiewTrackPayload(40, {}, 1), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<Object> objects = parse(packetWith(row.payload));
        ASSERT_EQ(objects.size(), row.expected.size());
        for (std::size_t i = 0; i < objects.size(); ++i) {
            const Object& object = objects[i];
            const Expected& expected = row.expected[i];
            EXPECT_EQ(object.typeId, expected.typeId);
            EXPECT_EQ(object.id, expected.id);
            EXPECT_NEAR(object.x, expected.x, 1e-6);
            EXPECT_NEAR(object.y, expected.y, 1e-6);
            EXPECT_NEAR(object.width, expected.width, 1e-6);
            EXPECT_NEAR(object.height, expected.height, 1e-6);
            EXPECT_EQ(object.durationUs, 40'000);
            EXPECT_EQ(object.smallPicIndex, -1);
            EXPECT_EQ(object.largePicIndex, -1);
            EXPECT_TRUE(object.attributes.empty());
        }
    }
}

TEST(SeiProcessor, PacketsAndUnits)
{
    TrackRecord second = vehicle7();
    second.objectId = 8;
    second.extra = "\x01";
    const std::string twoUnits = annexb::seiUnit({{5, annexb::univiewTrackPayload(40, {vehicle7()})}}) +
                                 annexb::sliceUnit(50, 3) +
                                 annexb::seiUnit({{5, annexb::univiewTrackPayload(40, {second})}}, false);
    const std::vector<Object> objects = parse(twoUnits);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].id, 7);
    EXPECT_EQ(objects[1].id, 8);
    EXPECT_EQ(objects[1].typeId, "vorn.uniview.Person");

    // Other payload types and messages of the same unit are read too, in order.
    const std::string mixed = annexb::seiUnit({{1, "timing"}, {5, annexb::univiewTrackPayload(40, {vehicle7()})}});
    EXPECT_EQ(parse(mixed).size(), 1u);

    EXPECT_TRUE(parse(annexb::sliceUnit(5000, 4)).empty());
    EXPECT_TRUE(parse(std::string()).empty());
    EXPECT_TRUE(SeiProcessor(nullptr, 100).parse().empty());
    // A unit whose message size reaches past it is malformed: logged, the packet goes on.
    const std::string broken = annexb::startCode() + std::string("\x06\x05\x40short\x80", 9) +
                               annexb::seiUnit({{5, annexb::univiewTrackPayload(40, {vehicle7()})}});
    EXPECT_EQ(parse(broken).size(), 1u);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::uniview
