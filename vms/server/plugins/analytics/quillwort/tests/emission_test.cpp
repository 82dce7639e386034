// Notifications in, metadata out: the events that the multi-profile and default processors emit for the
// fixture camera's packets, with the packets' timestamps, and what the server's selection changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/axis/notifications.h>

#include "quillwort_test_support.h"

namespace quillwort_test {
namespace {

using vorn::vms_server::ReceivedEventPacket;

std::string idOf(const QString& topic)
{
    axis::NotificationType type;
    type.topic = topic;
    return axis::makeEventTypeId(type).toStdString();
}

// "<typeId> '<description>' active=<isActive> key=<key or ->", what a user sees of an event.
std::string summary(const ReceivedEventPacket& packet)
{
    std::string text = std::to_string(packet.timestampUs) + ":";
    for (const auto& item : packet.items) {
        text += " " + item.typeId + " '" + item.description + "' active=" + (item.isActive ? "1" : "0") +
                " key=" + (item.key && !item.key->empty() ? *item.key : std::string("-")) +
                " attributes=" + std::to_string(item.attributes.size());
    }
    return text;
}

const std::string kMotion = idOf("tns1:RuleEngine/MotionRegionDetector/Motion");
const std::string kMotionAlarm = idOf("tns1:VideoSource/MotionAlarm");
const std::string kTampering = idOf("tns1:VideoSource/tnsaxis:Tampering");
const std::string kVmd = idOf("tnsaxis:CameraApplicationPlatform/VMD");

using AxisEmission = AgentOnFakeCamera;

TEST_F(AxisEmission, EventsOfEveryKindOfTopic)
{
    const auto agent = createAgent();
    Strings all;
    for (const auto& type : agent->eventTypes())
        all.push_back(type.id.toStdString());
    ASSERT_TRUE(select(*agent, all, {}));

    struct Row
    {
        const char* file;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {"motion_started.xml", {"7000: " + kMotion + " 'started' active=1 key=- attributes=0"}},
        {"motion_stopped.xml", {"7000: " + kMotion + " 'stopped' active=0 key=- attributes=0"}},
        {"motion_initialized.xml", {}},
        {"tampering.xml", {"7000: " + kTampering + " '' active=0 key=- attributes=0"}},
        {"profile1_started.xml",
         {"7000: " + kVmd +
          " 'Profile 1 started' active=1 key=tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1"
          " attributes=0"}},
        {"profile_any_started.xml", {}},
        {"relay.xml", {}},
        {"batched.xml",
         {"7000: " + kMotionAlarm + " 'started' active=1 key=- attributes=0",
          "7000: " + kMotion + " 'started' active=1 key=- attributes=0",
          "7000: " + kVmd +
              " 'Profile 2 stopped' active=0 key=tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile2"
              " attributes=0"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::size_t before = receiver->recordCount();
        ASSERT_TRUE(consumeFile(*agent, row.file, 7000));
        const auto packets = recordsOf<ReceivedEventPacket>();
        std::vector<std::string> events;
        for (std::size_t i = before; i < packets.size(); ++i)
            events.push_back(summary(packets[i]));
        EXPECT_EQ(events, row.events);
    }
}

TEST_F(AxisEmission, OnlySelectedTypesAreEmitted)
{
    const auto agent = createAgent();
    struct Row
    {
        const char* name;
        std::optional<Strings> events;
        std::size_t emitted;
    };
    const Row rows[] = {
        {"before any selection", std::nullopt, 0},
        {"another type", Strings{kTampering}, 0},
        {"the type", Strings{kMotion}, 1},
        {"null list", std::nullopt, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (&row != &rows[0]) {
            ASSERT_TRUE(select(*agent, row.events, std::nullopt));
        }
        const std::size_t before = receiver->recordCount();
        ASSERT_TRUE(consumeFile(*agent, "motion_started.xml", 1));
        ASSERT_TRUE(consumeFile(*agent, "profile1_started.xml", 1));
        EXPECT_EQ(receiver->recordCount() - before, row.emitted);
    }
}

TEST_F(AxisEmission, TopicsDifferingInPrefixesShareOneTypeAndBothEmit)
{
    camera.setTopicSet("<tns1:RuleEngine><tnsaxis:Door><aev:MessageInstance/></tnsaxis:Door>"
                       "<ax:Door><aev:MessageInstance/></ax:Door></tns1:RuleEngine>");
    const auto agent = createAgent();
    const std::string door = idOf("tns1:RuleEngine/Door");
    ASSERT_EQ(agent->eventTypes().size(), 1U); // published once
    EXPECT_EQ(agent->eventTypes()[0].id.toStdString(), door);
    ASSERT_TRUE(select(*agent, Strings{door}, {}));

    for (const char* topic : {"tns1:RuleEngine/tnsaxis:Door", "tns1:RuleEngine/ax:Door"}) {
        const std::string packet = std::string("<wsnt:NotificationMessage><wsnt:Topic>") + topic +
                                   "</wsnt:Topic><tt:Message><tt:Data/></tt:Message></wsnt:NotificationMessage>";
        ASSERT_TRUE(consume(*agent, packet, 5));
    }
    const auto packets = recordsOf<ReceivedEventPacket>();
    ASSERT_EQ(packets.size(), 2U);
    EXPECT_EQ(packets[0].items[0].typeId, door);
    EXPECT_EQ(packets[1].items[0].typeId, door);
}

TEST_F(AxisEmission, DataItemsAfterOtherElementsAreStillRead)
{
    // The walk follows every sibling of the first simple item, so a stray element does not end it.
    camera.setTopicSet(
        "<tns1:RuleEngine><Gate><aev:MessageInstance><aev:DataInstance>"
        "<aev:SimpleItemInstance Name=\"State\" isPropertyState=\"true\"/></aev:DataInstance></aev:MessageInstance>"
        "</Gate></tns1:RuleEngine>");
    const auto agent = createAgent();
    ASSERT_TRUE(select(*agent, Strings{idOf("tns1:RuleEngine/Gate")}, {}));
    ASSERT_TRUE(consume(*agent,
                        "<wsnt:NotificationMessage><wsnt:Topic>tns1:RuleEngine/Gate</wsnt:Topic><tt:Message><tt:Data>"
                        "<tt:SimpleItem Name=\"x\" Value=\"1\"/><tt:Other/><tt:SimpleItem Name=\"State\" Value=\"1\"/>"
                        "</tt:Data></tt:Message></wsnt:NotificationMessage>",
                        9));
    const auto packets = recordsOf<ReceivedEventPacket>();
    ASSERT_EQ(packets.size(), 1U);
    EXPECT_EQ(summary(packets[0]), "9: " + idOf("tns1:RuleEngine/Gate") + " 'started' active=1 key=- attributes=0");
}

} // namespace
} // namespace quillwort_test
