// Topic names: normalisation, the readable names of catalogue nodes and the event type ids that the
// server stores.
#include <vorn/vms_server_plugins/analytics/axis/notifications.h>

#include <gtest/gtest.h>

namespace vorn::vms_server_plugins::analytics::axis {
namespace {

NotificationType leaf(const QString& topic)
{
    NotificationType type;
    type.topic = topic;
    return type;
}

struct TextRow
{
    const char* name;
    QString input;
    QString expected;
};

TEST(AxisTopicNames, NormalizeTopicDropsEveryPrefix)
{
    const TextRow rows[] = {
        {"prefixes in every part", "tns1:RuleEngine/tnsaxis:VMD3/xinternal_data", "RuleEngine/VMD3/xinternal_data"},
        {"no colon at all", "RuleEngine/Motion", "RuleEngine/Motion"},
        {"empty part stays", "a//b", "a//b"},
        {"leading and trailing slash", "/tns1:a/", "/a/"},
        {"text after the last colon", "x:y:z/w", "z/w"},
        {"empty topic", "", ""},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(normalizeTopic(row.input), row.expected);
    }
}

TEST(AxisTopicNames, HumanReadableNameSplitsIntoWords)
{
    const TextRow rows[] = {
        {"camel case", "MotionRegionDetector", "Motion Region Detector"},
        {"acronym", "IOPort", "IO Port"},
        {"acronym and digit", "VMD4", "VMD 4"},
        {"digits stay together", "Profile12", "Profile 12"},
        {"lower v with digits", "Motionv2", "Motion V2"},
        {"first word upper-cased before compare", "aB", "AB"},
        {"underscore", "Day_Night", "Day Night"},
        {"underscore, lower case", "xinternal_data", "Xinternal Data"},
        {"dot leaves a colon", "ALPV.AllPlates", "ALPV: All Plates"},
        {"only the last element, without prefix", "tns1:RuleEngine/tnsaxis:MotionRegionDetector",
         "Motion Region Detector"},
        {"first character never examined", "_abc", "_abc"},
        {"nothing but separators", "/:/", ""},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(humanReadableName(row.input), row.expected);
    }
}

// The ids the server has stored for these topics; written by an independent RFC 4122 version-5
// implementation over the normalised topic. They must never change.
TEST(AxisTopicNames, EventTypeIdsAreFrozen)
{
    struct Row
    {
        QString topic;
        const char* expected;
    };
    const Row rows[] = {
        {"tns1:RuleEngine/tnsaxis:VMD3/Profile1", "vorn.axis.{e8202fda-f8ce-5bed-9c6d-28255e0b2fd2}"},
        {"tns1:VideoSource/MotionAlarm", "vorn.axis.{2601d915-9900-5bd3-92f7-72495c0c823f}"},
        {"onvif:VideoSource/ax:MotionAlarm", "vorn.axis.{2601d915-9900-5bd3-92f7-72495c0c823f}"},
        {"tnsaxis:CameraApplicationPlatform/ALPV.AllPlates", "vorn.axis.{041f0352-b140-5249-85e8-4e18939901bc}"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.topic.toStdString());
        EXPECT_EQ(makeEventTypeId(leaf(row.topic)).toStdString(), row.expected);
    }
    EXPECT_NE(makeEventTypeId(leaf("tns1:VideoSource/MotionAlarm")),
              makeEventTypeId(leaf("tns1:VideoSource/MotionAlarms")));
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::axis
