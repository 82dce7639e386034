// DeviceAgent::handleEvent: the camera's video-analytics events as the server's event metadata packets.
#include <variant>

#include <gtest/gtest.h>

#include <vorn/vms_server/metadata_receiver.h>
#include <vorn/vms_server/metadata_type_selection.h>

#include "larkspur_test_support.h"

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

using namespace vorn::sdk;
using larkspur_test::AgentUnderTest;
using larkspur_test::loggedCount;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms_server::MetadataReceiver;
using vorn::vms_server::MetadataTypeSelection;
using vorn::vms_server::ReceivedEventPacket;
using Json = vorn::kit::detail::json11::Json;
using Strings = std::vector<std::string>;

constexpr int64_t kServerTimeUs = AgentUnderTest::kServerTimeMs * 1000;

using larkspur_test::summary;

Json parse(const std::string& text)
{
    std::string error;
    const Json json = Json::parse(text, error);
    EXPECT_TRUE(error.empty()) << error << " in " << text;
    return json;
}

struct EventRow
{
    const char* name;
    uint16_t command;
    std::string json;
    std::optional<Strings> needed; //< None: every event type of the manifest.
    Strings expectedPackets;
    std::vector<std::pair<QString, int>> expectedLogs; //< Text and how many lines contain it.
};

const Strings kAllEventTypes{"vorn.zodivadad.Motion",
                             "vorn.zodivadad.AudioAlarm",
                             "vorn.zodivadad.DirectInput",
                             "vorn.zodivadad.DirectOutput",
                             "vorn.zodivadad.RegionEntrance",
                             "vorn.zodivadad.RegionExiting",
                             "vorn.zodivadad.AdvancedMotion",
                             "vorn.zodivadad.TamperingDetection",
                             "vorn.zodivadad.LineCrossing",
                             "vorn.zodivadad.LoiteringDetection",
                             "vorn.zodivadad.HumanDetection",
                             "vorn.zodivadad.PeopleCountingThresholdReached",
                             "vorn.zodivadad.ObjectLeft",
                             "vorn.zodivadad.ObjectRemoved",
                             "vorn.zodivadad.PeopleCounting",
                             "vorn.zodivadad.RegionalPeopleCounting",
                             "vorn.zodivadad.Face"};

std::string allMaskItems()
{
    std::string text = std::to_string(kServerTimeUs) + " flags=0";
    for (int bit = 1; bit <= 32; ++bit)
        text += " | vorn.zodivadad.Motion 'Motion Detection #" + std::to_string(bit) + "' active []";
    return text;
}

TEST(EventHandling, CameraEventsBecomeEventMetadataPackets)
{
    const std::string now = std::to_string(kServerTimeUs) + " flags=0";
    const EventRow rows[] = {
        {"line crossing",
         258,
         R"({"event": 4, "alarm": 1, "line": 2, "direction": 1, "object": 2})",
         std::nullopt,
         {now + " | vorn.zodivadad.LineCrossing 'Line Crossing #2' active [Crossing direction=B->A, Object "
                "type=Car/Vehicle]"},
         {{"Handle metadata alarm Line Crossing active: true", 1}}},
        {"instant event ends silently",
         258,
         R"({"event": 4, "alarm": 0, "line": 2, "direction": 1, "object": 2})",
         std::nullopt,
         {},
         {}},
        {"direction outside its values",
         258,
         R"({"event": 4, "line": 1, "direction": 7, "object": 0})",
         std::nullopt,
         {now + " | vorn.zodivadad.LineCrossing 'Line Crossing #1' active [Crossing direction=7, Object "
                "type=Unknown]"},
         {}},
        {"direction not a number",
         258,
         R"({"event": 4, "line": "x", "direction": "x", "object": -1})",
         std::nullopt,
         {now + " | vorn.zodivadad.LineCrossing 'Line Crossing' active [Crossing direction=A->B, Object type=-1]"},
         {}},
        {"prolonged event stops",
         258,
         R"({"event": 2, "alarm": 0})",
         std::nullopt,
         {now + " | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection stopped' inactive []"},
         {}},
        {"prolonged event starts",
         258,
         R"({"event": 2, "alarm": 1})",
         std::nullopt,
         {now + " | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection started' active []"},
         {}},
        {"no alarm member counts as active",
         258,
         R"({"event": 2})",
         std::nullopt,
         {now + " | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection started' active []"},
         {}},
        {"alarm given as text",
         258,
         R"({"event": "2", "alarm": "0"})",
         std::nullopt,
         {now + " | vorn.zodivadad.AdvancedMotion 'Advanced Motion Detection stopped' inactive []"},
         {}},
        {"mask bits become items",
         769,
         R"({"event": 1, "alarm": 5})",
         std::nullopt,
         {now + " | vorn.zodivadad.Motion 'Motion Detection #1' active [] | vorn.zodivadad.Motion 'Motion "
                "Detection #3' active []"},
         {}},
        {"a mask of all bits is 32 items", 769, R"({"event": 1, "alarm": -1})", std::nullopt, {allMaskItems()}, {}},
        {"regional count",
         259,
         R"({"event": 0, "number": 7})",
         std::nullopt,
         {now + " | vorn.zodivadad.RegionalPeopleCounting 'Regional People Counting' active [Number=7]"},
         {}},
        {"people count with missing and odd members",
         257,
         R"({"event": 0, "in": 3, "out": "2", "capacity": "x"})",
         std::nullopt,
         {now + " | vorn.zodivadad.PeopleCounting 'People Counting' active [Number of people entering=3, Number "
                "of people leaving=2, Current capacity=0]"},
         {{"Warning: no expected attr: sum in event People Counting", 1}}},
        {"faces",
         513,
         R"({"event": 0, "face_data": [{"age": 30, "gender": 1}, 5, {"gender": 0}]})",
         std::nullopt,
         {now + " | vorn.zodivadad.Face 'Face [exclusive]' active [Age=30, Gender=female] | vorn.zodivadad.Face "
                "'Face [exclusive]' active [Gender=male]"},
         {{"Unexpected non-object in alarm array", 1},
          {"Warning: no expected attr:", 13},
          {"Warning: no expected attr: age in event Face [exclusive]", 1}}},
        // A face names eight members and an item holds a few: a null one counts as missing, one the
        // type does not name is ignored.
        {"face with a null and an unknown member",
         513,
         R"({"event": 0, "face_data": [{"age": null, "score": 9, "gender": 1}]})",
         std::nullopt,
         {now + " | vorn.zodivadad.Face 'Face [exclusive]' active [Gender=female]"},
         {{"Warning: no expected attr: age in event Face [exclusive]", 1},
          {"Warning: no expected attr: gender in event", 0}}},
        {"faces member not an array", 513, R"({"event": 0, "face_data": {"age": 30}})", std::nullopt, {now}, {}},
        {"no event type for the number",
         258,
         R"({"event": 99})",
         std::nullopt,
         {},
         {{"No event type for section 'vcaalarm' and event '99'", 1}}},
        // The event number: a number outside the int range finds no event type, a fraction counts by its
        // whole part, a missing or unreadable member counts as event 0.
        {"event number above the int range",
         258,
         R"({"event": 1e10})",
         std::nullopt,
         {},
         {{"No event type for section 'vcaalarm' and event '10000000000'", 1}}},
        {"event number one past the int range",
         258,
         R"({"event": 2147483648})",
         std::nullopt,
         {},
         {{"No event type for section 'vcaalarm' and event '2147483648'", 1}}},
        {"event number below the int range",
         258,
         R"({"event": -1e10})",
         std::nullopt,
         {},
         {{"No event type for section 'vcaalarm' and event '-10000000000'", 1}}},
        {"fractional event number",
         258,
         R"({"event": 4.7, "line": 2})",
         std::nullopt,
         {now + " | vorn.zodivadad.LineCrossing 'Line Crossing #2' active []"},
         {{"Warning: no expected attr:", 2}}},
        {"event number as text",
         258,
         R"({"event": "4", "line": 2, "direction": 0, "object": 0})",
         std::nullopt,
         {now + " | vorn.zodivadad.LineCrossing 'Line Crossing #2' active [Crossing direction=A->B, Object "
                "type=Unknown]"},
         {}},
        {"event number as text that is no number",
         258,
         R"({"event": "four"})",
         std::nullopt,
         {now + " | vorn.zodivadad.RegionEntrance 'Region Entrance' active []"},
         {}},
        {"event number missing",
         258,
         R"({"alarm": 1})",
         std::nullopt,
         {now + " | vorn.zodivadad.RegionEntrance 'Region Entrance' active []"},
         {}},
        {"event type not selected", 258, R"({"event": 4, "line": 1})", Strings{"vorn.zodivadad.Motion"}, {}, {}},
        {"nothing selected", 769, R"({"event": 1, "alarm": 1})", Strings{}, {}, {}},
        {"radar", 784, R"({"event": 1})", std::nullopt, {}, {{"Not implemented handle of 784", 1}}},
        {"registration", 1, R"({"result": 200})", std::nullopt, {}, {{"Not implemented handle of 1", 1}}},
        {"camera time in UTC",
         769,
         R"({"event": 6, "time": "2024-05-01T12:00:00Z"})",
         std::nullopt,
         {"1714564800000000 flags=1 | vorn.zodivadad.AudioAlarm 'Audio Alarm' active []"},
         {}},
        {"camera time with an offset",
         769,
         R"({"event": 6, "time": "2024-05-01T14:00:00.250+02:00"})",
         std::nullopt,
         {"1714564800250000 flags=1 | vorn.zodivadad.AudioAlarm 'Audio Alarm' active []"},
         {}},
        {"time as a number",
         769,
         R"({"event": 6, "time": 1714564800})",
         std::nullopt,
         {now + " | vorn.zodivadad.AudioAlarm 'Audio Alarm' active []"},
         {}},
        {"time that is no date",
         769,
         R"({"event": 6, "time": "yesterday"})",
         std::nullopt,
         {now + " | vorn.zodivadad.AudioAlarm 'Audio Alarm' active []"},
         {}},
        {"event that is no object", 769, R"([1, 2])", std::nullopt, {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AgentUnderTest test;
        const auto agent = test.create();
        const auto receiver = makePtr<MetadataReceiver>();
        agent->attachReceiver(receiver.get());
        Result<void> result;
        agent->selectMetadataTypes(
            &result, makePtr<MetadataTypeSelection>(row.needed.value_or(kAllEventTypes), std::nullopt).get());
        LogCapture capture(Level::verbose);

        agent->handleEvent(row.command, parse(row.json));

        Strings packets;
        for (const auto& record : receiver->records()) {
            const auto* packet = std::get_if<ReceivedEventPacket>(&record);
            ASSERT_TRUE(packet);
            EXPECT_EQ(packet->durationUs, -1);
            for (const auto& item : packet->items) {
                EXPECT_EQ(item.confidence, 1.0F);
                for (const auto& attribute : item.attributes) {
                    EXPECT_EQ(attribute.type, 1);
                    EXPECT_EQ(attribute.confidence, 1.0F);
                }
            }
            packets.push_back(summary(*packet));
        }
        EXPECT_EQ(packets, row.expectedPackets);
        for (const auto& [text, count] : row.expectedLogs)
            EXPECT_EQ(loggedCount(capture, text), count) << text.toStdString();
    }
}

TEST(EventHandling, DescriptionMaskItemsReadTheMaskAsThirtyTwoBits)
{
    EventType eventType;
    eventType.internalDescriptionMaskAttribute = "alarm";
    const struct
    {
        Json item;
        Strings expected;
    } rows[] = {
        {Json(Json::object{{"alarm", 5}}), {"#1", "#3"}},
        {Json(Json::object{{"alarm", 1}}), {"#1"}},
        {Json(Json::object{{"alarm", 0}}), {}},
        {Json(Json::object{{"alarm", "x"}}), {}},
        {Json(Json::object{}), {}},
        {Json(Json::object{{"alarm", -2147483647 - 1}}), {"#32"}},
        {Json(Json::object{{"alarm", 1e12}}), Strings{}}, // Beyond the int range: no value, no mask.
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.item.dump());
        EXPECT_EQ(descriptionMaskItems(row.item, eventType), row.expected);
    }
    eventType.internalDescriptionMaskAttribute.clear();
    EXPECT_EQ(descriptionMaskItems(Json(Json::object{{"alarm", 5}}), eventType), Strings{});
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
