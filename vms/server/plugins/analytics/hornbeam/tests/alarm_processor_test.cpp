#include <vorn/vms_server_plugins/analytics/uniview/alarm_processor.h>

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "agent_test_support.h"

namespace hornbeam_test {
namespace {

using vorn::vms_server::ReceivedEventPacket;

TEST(AlarmProcessor, AlarmBodiesToPackets)
{
    AgentFixture fixture;
    fixture.createAgent();
    fixture.select({"vorn.uniview.Motion", "vorn.uniview.LineCrossed"});
    const int64_t serverNowUs = fixture.agent->serverTimeUs();

    struct Row
    {
        const char* name;
        std::string body;
        std::optional<std::string> typeId; //< none: no packet
        bool isActive = false;
        int64_t timestampUs = 0; //< 0: the server clock, flags 0
        const char* message = nullptr;
    };
    const std::vector<Row> rows = {
        {"motion on", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":1700000000}})", "vorn.uniview.Motion",
         true, 1'700'000'000'000'000},
        {"motion off", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOff","TimeStamp":1700000001}})", "vorn.uniview.Motion",
         false, 1'700'000'001'000'000},
        {"end of the 32-bit range", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":2147483647}})",
         "vorn.uniview.Motion", true, 2'147'483'647'000'000},
        {"beyond 32 bits", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":4102444800}})",
         "vorn.uniview.Motion", true, 4'102'444'800'000'000},
        {"fraction cut", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":1700000000.9}})",
         "vorn.uniview.Motion", true, 1'700'000'000'000'000},
        {"line crossed keeps inactive", R"({"AlarmInfo":{"AlarmType":"LineDetectorCrossed","TimeStamp":5}})",
         "vorn.uniview.LineCrossed", false, 5'000'000},
        {"no time stamp: server clock", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn"}})", "vorn.uniview.Motion", true,
         0},
        {"time stamp as text: server clock", R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":"5"}})",
         "vorn.uniview.Motion", true, 0},
        {"not needed", R"({"AlarmInfo":{"AlarmType":"MaskImageAlarmOn","TimeStamp":5}})", std::nullopt, false, 0,
         "Received event [MaskImageAlarmOn]"},
        {"other letter case", R"({"AlarmInfo":{"AlarmType":"motionalarmon","TimeStamp":5}})", std::nullopt, false, 0,
         "Unknown event [motionalarmon]"},
        {"array", R"([1,2])", std::nullopt, false, 0, "JSON parsing failed - , data: [1,2]"},
        {"truncated", R"({"AlarmInfo":{)", std::nullopt, false, 0, "JSON parsing failed - "},
        {"AlarmInfo as text", R"({"AlarmInfo":"MotionAlarmOn"})", std::nullopt, false, 0, "Empty alarm name, data: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        vorn::utils::log::LogCapture capture(vorn::utils::log::Level::verbose);
        const std::size_t before = fixture.receiver->records().size();
        uniview::AlarmProcessor(fixture.agent.get()).process(row.body);
        const auto records = fixture.receiver->records();
        if (!row.typeId) {
            EXPECT_EQ(records.size(), before);
        } else {
            ASSERT_EQ(records.size(), before + 1);
            const auto* packet = std::get_if<ReceivedEventPacket>(&records.back());
            ASSERT_NE(packet, nullptr);
            ASSERT_EQ(packet->items.size(), 1u);
            EXPECT_EQ(packet->items[0].typeId, *row.typeId);
            EXPECT_EQ(packet->items[0].isActive, row.isActive);
            if (row.timestampUs != 0) {
                EXPECT_EQ(packet->timestampUs, row.timestampUs);
                EXPECT_EQ(packet->flags, 1);
            } else {
                EXPECT_GE(packet->timestampUs, serverNowUs);
                EXPECT_EQ(packet->flags, 0);
            }
        }
        if (row.message) {
            EXPECT_FALSE(capture.logger().texts().filter(row.message).isEmpty())
                << capture.logger().texts().join('\n').toStdString();
        }
    }

    // A new selection replaces the needed types, and no selection needs none.
    const auto typeIdsOfPackets = [&](const std::vector<std::string>& bodies) {
        const std::size_t before = fixture.receiver->records().size();
        for (const std::string& body : bodies)
            uniview::AlarmProcessor(fixture.agent.get()).process(body);
        std::vector<std::string> typeIds;
        const auto records = fixture.receiver->records();
        for (std::size_t i = before; i < records.size(); ++i) {
            const auto* packet = std::get_if<ReceivedEventPacket>(&records[i]);
            typeIds.push_back(packet && packet->items.size() == 1 ? packet->items[0].typeId : "?");
        }
        return typeIds;
    };
    const std::vector<std::string> motionAndLine = {R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn"}})",
                                                    R"({"AlarmInfo":{"AlarmType":"LineDetectorCrossed"}})"};
    fixture.select({"vorn.uniview.LineCrossed"});
    EXPECT_EQ(typeIdsOfPackets(motionAndLine), std::vector<std::string>{"vorn.uniview.LineCrossed"});
    fixture.selectNothing();
    EXPECT_EQ(typeIdsOfPackets(motionAndLine), std::vector<std::string>{});
    fixture.select({"vorn.uniview.Motion"});
    EXPECT_EQ(typeIdsOfPackets(motionAndLine), std::vector<std::string>{"vorn.uniview.Motion"});

    // Without a receiver the packet is dropped.
    fixture.agent->attachReceiver(nullptr);
    uniview::AlarmProcessor(fixture.agent.get()).process(R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn"}})");
}

} // namespace
} // namespace hornbeam_test
