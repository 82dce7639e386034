// The XML helpers: the one parse of camera bytes with the nesting check before it, and the iterative lookups.
#include <vorn/vms_server_plugins/analytics/axis/xml_search.h>

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace vorn::vms_server_plugins::analytics::axis {
namespace {

std::string nested(int depth, const std::string& inner = "")
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e a='>'>";
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

TEST(AxisXml, NestingCheck)
{
    struct Row
    {
        const char* name;
        std::string text;
        bool within;
    };
    const Row rows[] = {
        {"at the limit", nested(4), true},
        {"one past the limit", nested(5), false},
        {"unclosed at the limit", "<e a='1'><e><e><e>text", true},
        {"unclosed one past the limit", "<e a='1'><e><e><e><e>text", false},
        {"empty elements do not nest", nested(4, "<x/><y/><z />"), true},
        {"siblings do not add up", nested(2, "<a></a><b></b><c></c>") + nested(4), true},
        {"end tags in a comment are not counted", "<r><!-- </r></r></r></r> -->" + nested(4) + "</r>", false},
        {"end tags in CDATA are not counted", "<r><![CDATA[</r></r></r></r>]]>" + nested(4) + "</r>", false},
        {"end tags in a DOCTYPE subset are not counted",
         "<!DOCTYPE r [ <!ENTITY x \"</a></a></a></a>\"> ]><r>" + nested(4) + "</r>", false},
        {"end tags in a processing instruction are not counted", "<r><?pi </r></r></r></r> ?>" + nested(4) + "</r>",
         false},
        {"start tags in a quoted value are not counted", "<r a=\"<b><c><d><e>\"></r>", true},
        {"stops at a zero byte", std::string("<a>\0", 4) + nested(9), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(isXmlNestingWithin(row.text, 4), row.within);
    }
}

// The check first counts "<" a block of bytes at a time: wherever the tags fall against the blocks and the
// runs of blocks summed at once, not one "<" is missed (the unclosed tags below have no others).
TEST(AxisXml, NestingCheckWhereverTheTagsFall)
{
    EXPECT_TRUE(isXmlNestingWithin(std::string_view(), 4));
    for (const std::size_t runStart : {std::size_t{0}, std::size_t{2016}}) {
        for (std::size_t padding = runStart; padding < runStart + 48; ++padding) {
            SCOPED_TRACE(padding);
            const std::string spaces(padding, ' ');
            EXPECT_TRUE(isXmlNestingWithin(spaces + "<e><e><e><e>x", 4));
            EXPECT_FALSE(isXmlNestingWithin(spaces + "<e><e><e><e><e>x", 4));
            EXPECT_FALSE(isXmlNestingWithin("<r><!--" + std::string(padding * 3, '<') + "-->" + nested(4) + "</r>", 4));
        }
    }
}

TEST(AxisXml, CameraTextIsParsedOnlyWithinTheNestingLimit)
{
    struct Row
    {
        const char* name;
        std::string text;
        std::optional<std::string> error;
    };
    const Row rows[] = {
        {"at the limit", nested(kMaxXmlDepth), std::nullopt},
        {"one past the limit", nested(kMaxXmlDepth + 1), "elements nested more than 128 levels deep"},
        {"not well-formed", "<r><a>", "unexpected end of data"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = row.text;
        XmlDocument document;
        const std::optional<QString> error = parseCameraXml(&text, &document);
        EXPECT_EQ(error ? std::optional(error->toStdString()) : std::nullopt, row.error);
        EXPECT_EQ(findDescendant(&document, "e") != nullptr, row.error == std::nullopt && row.text.starts_with("<e"));
    }
}

TEST(AxisXml, DescendantSearchInDocumentOrder)
{
    std::string text = "<r><a><m id='1'><m id='inner'/></m></a><m id='2'/><b><c><m id='3'/></c></b></r>";
    XmlDocument document;
    document.parse<0>(text.data());

    const XmlNode* first = findDescendant(&document, "m");
    ASSERT_TRUE(first);
    EXPECT_EQ(valueText(findAttribute(first, "id")), "1");

    std::vector<QString> ids;
    for (const XmlNode* m = first; m; m = findNextDescendant(&document, m, "m"))
        ids.push_back(valueText(findAttribute(m, "id")));
    EXPECT_EQ(ids, (std::vector<QString>{"1", "2", "3"})); // not inside a found one
    EXPECT_EQ(findDescendant(&document, "missing"), nullptr);
    EXPECT_EQ(findChild(findDescendant(&document, "r"), "c"), nullptr);
}

TEST(AxisXml, DeepDocumentIsSearchedWithoutRecursion)
{
    constexpr int kDepth = 100'000; // far more frames than a recursive search could take on a small stack
    // Built by hand, not parsed: the parser itself is recursive, which is why the nesting check exists.
    XmlDocument document;
    XmlNode* parent = &document;
    for (int i = 0; i < kDepth; ++i) {
        XmlNode* child = document.allocate_node(rapidxml::node_element, "e");
        parent->append_node(child);
        parent = child;
    }
    parent->append_node(document.allocate_node(rapidxml::node_element, "target"));
    EXPECT_EQ(findDescendant(&document, "target"), parent->first_node());
    EXPECT_EQ(findDescendant(&document, "absent"), nullptr);
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::axis
