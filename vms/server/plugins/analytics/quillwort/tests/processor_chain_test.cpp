// The processors' share of the catalogue: what each claims or prunes, which types it publishes, and how the
// needed sets pass down the chain.
#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/axis/default_notification_processor.h>
#include <vorn/vms_server_plugins/analytics/axis/filtering_notification_processor.h>
#include <vorn/vms_server_plugins/analytics/axis/multiprofile_notification_processor.h>
#include <vorn/vms_server_plugins/analytics/axis/notifications.h>

namespace vorn::vms_server_plugins::analytics::axis {
namespace {

NotificationType leaf(QString topic, std::optional<QString> niceName = std::nullopt,
                      std::optional<QString> stateName = std::nullopt)
{
    return NotificationType{std::move(topic), std::move(niceName), std::move(stateName), {}};
}

NotificationType node(QString topic, std::vector<NotificationType> children)
{
    return NotificationType{std::move(topic), std::nullopt, std::nullopt, std::move(children)};
}

std::vector<QString> topicsOf(const std::vector<NotificationType>& types)
{
    std::vector<QString> topics;
    for (const NotificationType& type : types) {
        topics.push_back(type.topic);
        for (const QString& child : topicsOf(type.children))
            topics.push_back(child);
    }
    return topics;
}

QString idOf(const QString& topic)
{
    return makeEventTypeId(leaf(topic));
}

TEST(AxisProcessorChain, FilteringPrunesRootsAndInternalLeaves)
{
    std::vector<NotificationType> types = {
        node("tns1:Device", {leaf("tns1:Device/Relay")}),
        node("tns1:RuleEngine", {node("tns1:RuleEngine/VMD4", {leaf("tns1:RuleEngine/VMD4/xinternal_data")}),
                                 node("tns1:RuleEngine/VMD3", {leaf("tns1:RuleEngine/VMD3/xinternal_data"),
                                                               leaf("tns1:RuleEngine/VMD3/video")})}),
        leaf("TNS1:RuleEngine"),
        node("tnsaxis:CameraApplicationPlatform", {leaf("tnsaxis:CameraApplicationPlatform/tnsaxis:xinternal_data")}),
    };
    FilteringNotificationProcessor filtering(nullptr, types);
    const std::vector<QString> expected = {
        "tns1:RuleEngine",
        "tns1:RuleEngine/VMD3",
        "tns1:RuleEngine/VMD3/video",
        "tnsaxis:CameraApplicationPlatform",
        "tnsaxis:CameraApplicationPlatform/tnsaxis:xinternal_data", // a prefixed leaf is not the ignored one
    };
    EXPECT_EQ(topicsOf(types), expected);
    EXPECT_TRUE(filtering.eventTypes().empty());
    EXPECT_TRUE(filtering.objectTypes().empty());
}

TEST(AxisProcessorChain, FilteringSwallowsNotificationsOutsideTheTree)
{
    std::vector<NotificationType> none;
    FilteringNotificationProcessor filtering(nullptr, none);
    struct Row
    {
        QString topic;
        bool swallowed;
    };
    const Row rows[] = {
        {"tns1:Device/Trigger/Relay", true},
        {"tns1:RuleEngine/MotionRegionDetector/Motion", false},
        {"tns1:RuleEngine/Foo/xinternal_data", true},
        {"/tns1:RuleEngine/Motion", true},
        {"tns1:RuleEngine/tnsaxis:xinternal_data", false},
        {"TNS1:RuleEngine/Motion", true},
        {"tnsaxis:CameraApplicationPlatform/ALPV.AllPlates", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.topic.toStdString());
        EXPECT_EQ(filtering.processNotification(Notification{0, row.topic, std::nullopt, {}}), row.swallowed);
    }
}

TEST(AxisProcessorChain, MultiprofileClaimsParentsWithAnAnyChild)
{
    std::vector<NotificationType> types = {
        node("tnsaxis:CameraApplicationPlatform",
             {node("tnsaxis:CameraApplicationPlatform/VMD",
                   {leaf("tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1", "VMD: Profile 1", "active"),
                    leaf("tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile2", "VMD:  Profile 2 "),
                    leaf("tnsaxis:CameraApplicationPlatform/VMD/Camera1ProfileANY", "VMD: Any profile", "active")}),
              node("tnsaxis:CameraApplicationPlatform/Other",
                   {leaf("tnsaxis:CameraApplicationPlatform/Other/ProfileAny", "Not all upper case")}),
              leaf("tnsaxis:CameraApplicationPlatform/Plain")}),
    };
    MultiprofileNotificationProcessor multiprofile(nullptr, types);
    EXPECT_EQ(topicsOf(types),
              (std::vector<QString>{"tnsaxis:CameraApplicationPlatform", "tnsaxis:CameraApplicationPlatform/Other",
                                    "tnsaxis:CameraApplicationPlatform/Other/ProfileAny",
                                    "tnsaxis:CameraApplicationPlatform/Plain"}));
    const std::vector<EventType> expected = {
        {idOf("tnsaxis:CameraApplicationPlatform/VMD"), "CameraApplicationPlatform/VMD", /*isProlonged*/ true}};
    EXPECT_EQ(multiprofile.eventTypes(), expected);

    // Before any selection every profile notification is consumed without an event (no emission, so no
    // metadata processor is needed); other topics pass on.
    for (const char* topic : {"tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1",
                              "tnsaxis:CameraApplicationPlatform/VMD/Camera1ProfileANY"}) {
        EXPECT_TRUE(multiprofile.processNotification(Notification{0, topic, true, {}})) << topic;
    }
    EXPECT_FALSE(multiprofile.processNotification(
        Notification{0, "tnsaxis:CameraApplicationPlatform/Other/ProfileAny", true, {}}));
}

TEST(AxisProcessorChain, LaterProcessorsNoLongerSeeClaimedIds)
{
    std::vector<NotificationType> types = {
        node("tns1:RuleEngine",
             {node("tns1:RuleEngine/VMD", {leaf("tns1:RuleEngine/VMD/P1"), leaf("tns1:RuleEngine/VMD/PANY")}),
              leaf("tns1:RuleEngine/Motion", std::nullopt, "State")}),
    };
    MultiprofileNotificationProcessor multiprofile(nullptr, types);
    DefaultNotificationProcessor defaultProcessor(nullptr, types);
    EXPECT_TRUE(types.empty());
    ASSERT_EQ(defaultProcessor.eventTypes().size(), 1U);
    EXPECT_EQ(defaultProcessor.eventTypes()[0],
              (EventType{idOf("tns1:RuleEngine/Motion"), "RuleEngine/Motion", /*isProlonged*/ true}));

    std::set<QString> events = {idOf("tns1:RuleEngine/VMD"), idOf("tns1:RuleEngine/Motion"), "other"};
    std::set<QString> objects = {"object"};
    multiprofile.setNeededTypes(events, objects);
    EXPECT_EQ(events, (std::set<QString>{idOf("tns1:RuleEngine/Motion"), "other"}));
    defaultProcessor.setNeededTypes(events, objects);
    EXPECT_EQ(events, (std::set<QString>{"other"}));
    EXPECT_EQ(objects, (std::set<QString>{"object"}));
}

TEST(AxisProcessorChain, DefaultPublishesLeavesInTopicOrderAndPrefixTwinsOnce)
{
    std::vector<NotificationType> types = {
        node("tns1:RuleEngine", {leaf("tns1:RuleEngine/tnsaxis:B", "B"), leaf("tns1:RuleEngine/ax:B", "B twin"),
                                 leaf("tns1:RuleEngine/A")}),
    };
    DefaultNotificationProcessor defaultProcessor(nullptr, types);
    const std::vector<EventType> expected = {
        {idOf("tns1:RuleEngine/A"), "RuleEngine/A", false},
        {idOf("tns1:RuleEngine/B"), "B twin", false}, // "ax:B" sorts before "tnsaxis:B"; listed once
    };
    EXPECT_EQ(defaultProcessor.eventTypes(), expected);
    EXPECT_TRUE(defaultProcessor.objectTypes().empty());
    EXPECT_TRUE(defaultProcessor.processNotification(Notification{0, "unknown", std::nullopt, {}}));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::axis
