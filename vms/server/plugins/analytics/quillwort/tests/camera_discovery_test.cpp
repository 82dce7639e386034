// Reading the camera's discovery replies: the image size CGI and the SOAP event catalogue, and the
// request that asks for the catalogue.
#include <vorn/vms_server_plugins/analytics/axis/camera_discovery.h>

#include <vorn/vms_server_plugins/analytics/axis/xml_search.h>

#include <fake_axis_camera/fake_axis_camera.h>
#include <gtest/gtest.h>

namespace vorn::vms_server_plugins::analytics::axis {
namespace {

using vorn::testing::FakeAxisCamera;

TEST(AxisDiscovery, ImageSizeReply)
{
    struct Row
    {
        const char* name;
        QByteArray body;
        CoordinateDomain expected;
    };
    const Row rows[] = {
        {"two lines with CR LF", "image width = 1920\r\nimage height = 1080\r\n", {1920, 1080}},
        {"width only", "image width=640", {640, -1}},
        {"value not a number", "image width = wide\nimage height = 480\n", {-1, 480}},
        {"keys in other letter case", "Image Width = 1920\nImage Height = 1080\n", {-1, -1}},
        {"two equals signs", "image width = 1 = 2\nimage height = 2\n", {-1, 2}},
        {"later line wins", "image width = 1\nimage width = 2\n", {2, -1}},
        {"empty body", "", {-1, -1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseCoordinateDomain(row.body), row.expected);
    }
}

TEST(AxisDiscovery, CatalogueRequestIsTheFixedSoapEnvelope)
{
    const std::string& body = eventInstancesRequestBody();
    EXPECT_EQ(body.size(), 350U);
    EXPECT_TRUE(body.starts_with("\n        <s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"> \n"));
    EXPECT_NE(body.find("<GetEventInstances xmlns=\"http://www.axis.com/vapix/ws/event1\"/>"), std::string::npos);
    EXPECT_TRUE(body.ends_with("</s:Envelope>\n    "));
    EXPECT_EQ(eventInstancesContentType(), "action=\"http://www.axis.com/vapix/ws/event1/GetEventInstances\"");
    EXPECT_EQ(eventInstancesContentType().size(), 62U);
}

TEST(AxisDiscovery, CatalogueTreeFromTopicSet)
{
    std::string reply = FakeAxisCamera::catalogueReply(
        "<tns1:VideoSource><MotionAlarm><aev:MessageInstance><aev:DataInstance>"
        "<aev:SimpleItemInstance Name=\"State\" isPropertyState=\"true\"/></aev:DataInstance></aev:MessageInstance>"
        "</MotionAlarm><Nothing><Below/></Nothing></tns1:VideoSource>"
        "<tns1:Empty aev:NiceName=\"Empty\"/>");
    const CatalogueReadResult result = parseNotificationTypes(&reply);
    ASSERT_FALSE(result.parseError);
    const std::vector<NotificationType> expected = {
        {"tns1:VideoSource",
         "Video Source",
         std::nullopt,
         {{"tns1:VideoSource/MotionAlarm", "Motion Alarm", "State", {}}}},
    };
    EXPECT_EQ(result.types, expected);
}

TEST(AxisDiscovery, CatalogueStateItemsAndNames)
{
    struct Row
    {
        const char* name;
        std::string items;
        std::optional<QString> stateName;
    };
    const Row rows[] = {
        {"flag 1", R"(<aev:SimpleItemInstance Name="active" isPropertyState="1"/>)", "active"},
        {"flag True is no flag", R"(<aev:SimpleItemInstance Name="active" isPropertyState="True"/>)", std::nullopt},
        {"flag without a name is passed over",
         R"(<aev:SimpleItemInstance isPropertyState="true"/><aev:SimpleItemInstance Name="b" isPropertyState="true"/>)",
         "b"},
        {"no flag", R"(<aev:SimpleItemInstance Name="x"/>)", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string reply = FakeAxisCamera::catalogueReply(
            "<tns1:RuleEngine><Leaf aev:NiceName=\"As it stands\"><aev:MessageInstance><aev:DataInstance>" + row.items +
            "</aev:DataInstance></aev:MessageInstance></Leaf></tns1:RuleEngine>");
        const CatalogueReadResult result = parseNotificationTypes(&reply);
        ASSERT_EQ(result.types.size(), 1U);
        ASSERT_EQ(result.types[0].children.size(), 1U);
        EXPECT_EQ(result.types[0].children[0].stateName, row.stateName);
        EXPECT_EQ(result.types[0].children[0].niceName, QString("As it stands"));
    }
}

TEST(AxisDiscovery, CatalogueFixtureHasEveryKindOfTopic)
{
    std::string reply = FakeAxisCamera::catalogueReply(FakeAxisCamera::readDataFile("catalogue_topic_set.xml"));
    const CatalogueReadResult result = parseNotificationTypes(&reply);
    ASSERT_FALSE(result.parseError);
    ASSERT_EQ(result.types.size(), 4U);
    EXPECT_EQ(result.types[0].topic, "tns1:Device");
    EXPECT_EQ(result.types[3].topic, "tnsaxis:CameraApplicationPlatform");
    EXPECT_EQ(result.types[3].children[0].topic, "tnsaxis:CameraApplicationPlatform/ALPV.AllPlates");
}

TEST(AxisDiscovery, CatalogueFailures)
{
    struct Row
    {
        const char* name;
        std::string body;
        bool parseError;
    };
    const Row rows[] = {
        {"not XML", "<html><body>Unauthorized", true},
        {"well-formed without a topic set", "<a><b/></a>", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string body = row.body;
        const CatalogueReadResult result = parseNotificationTypes(&body);
        EXPECT_EQ(result.parseError.has_value(), row.parseError);
        EXPECT_TRUE(result.types.empty());
    }
}

std::string nested(int depth, const std::string& inner = "")
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

TEST(AxisDiscovery, DeepCatalogueIsRefusedBeforeParsing)
{
    std::string atLimit = "<wstop:TopicSet>" + nested(kMaxXmlDepth - 1) + "</wstop:TopicSet>";
    EXPECT_FALSE(parseNotificationTypes(&atLimit).parseError);
    std::string pastLimit = "<wstop:TopicSet>" + nested(kMaxXmlDepth) + "</wstop:TopicSet>";
    const CatalogueReadResult refused = parseNotificationTypes(&pastLimit);
    ASSERT_TRUE(refused.parseError);
    EXPECT_EQ(*refused.parseError, "elements nested more than 128 levels deep");
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::axis
