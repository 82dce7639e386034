#include <vorn/fusion/serialization/flag_text.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vorn/utils/assert.h>
#include <vorn/utils/log/log_capture.h>
#include <vorn/vms/api/analytics/engine_manifest.h>
#include <vorn/vms/api/analytics/event_type.h>

namespace {

using namespace vorn::fusion;
using testing::ElementsAre;
using testing::HasSubstr;
using vorn::utils::AssertionCapture;
using vorn::utils::log::Level;
using vorn::utils::log::LogCapture;
using vorn::vms::api::analytics::EngineManifest;
using vorn::vms::api::analytics::EventTypeFlag;
using vorn::vms::api::analytics::EventTypeFlags;

using Capabilities = EngineManifest::Capabilities;

struct ParseRow
{
    const char* name;
    std::string text;
    bool isCapability; //< Else EventTypeFlag.
    int expected;
    bool success;
    std::vector<std::string> logLines; //< A substring of each expected log line, in order.
};

TEST(FlagText, ParsesTextsOfBothEnums)
{
    const std::vector<ParseRow> rows = {
        {"empty text", "", false, 0, true, {}},
        {"lone separator", "|", false, 0, true, {}},
        {"separator with blanks", " | ", false, 0, true, {}},
        {"names trimmed", " stateDependent | hidden ", false, 5, true, {}},
        {"lower case name", "statedependent", false, 1, true, {}},
        {"upper case name", "DEVICEDEPENDENT", true, 128, true, {}},
        {"name of zero", "noFlags", false, 0, true, {}},
        {"name of zero, capabilities", "noCapabilities", true, 0, true, {}},
        {"two capability names", "deviceDependent|noAutoBestShots", true, 640, true, {}},
        {"decimal zero", "0", false, 0, true, {}},
        {"hex zero lower prefix", "0x0", false, 0, true, {}},
        {"hex zero upper prefix", "0X0", false, 0, true, {}},
        {"hex of a defined bit", "0x80", true, 128, true, {}},
        {"decimal defined bits", "3", false, 3, true, {}},
        {"hex of an undefined bit",
         "0x400",
         true,
         0,
         false,
         {"value 1024 of vorn::vms::api::analytics::EngineManifest::Capability: undefined bits 0x400"}},
        {"minus one",
         "-1",
         true,
         0,
         false,
         {"value -1 of vorn::vms::api::analytics::EngineManifest::Capability: undefined bits 0x7ffffc00, negative"}},
        {"digits then letters", "12abc", false, 0, false, {"`12abc`"}},
        {"bare prefix", "0x", false, 0, false, {"`0x`"}},
        {"plus sign", "+1", false, 0, false, {"`+1`"}},
        {"blank inside a number", "1 2", false, 0, false, {"`1 2`"}},
        {"unknown name keeps accepted bits", "hidden|bogus", false, 4, false, {"`bogus`"}},
        {"past the int range", "2147483648", false, 0, false, {"`2147483648`"}},
        {"undefined bit after a name",
         "stateDependent|16",
         false,
         1,
         false,
         {"value 16 of vorn::vms::api::analytics::EventTypeFlag: undefined bits 0x10"}},
        {"every bad token is reported",
         "bogus|0x400|hidden",
         false,
         4,
         false,
         {"`bogus`", "value 1024 of vorn::vms::api::analytics::EventTypeFlag: undefined bits 0x400"}},
    };

    for (const ParseRow& row : rows) {
        SCOPED_TRACE(row.name);
        LogCapture capture(Level::verbose);
        int value = -7;
        bool success = false;
        if (row.isCapability) {
            Capabilities flags(QFlag(-7));
            success = fromString(row.text, &flags);
            value = static_cast<int>(flags);
        } else {
            EventTypeFlags flags(QFlag(-7));
            success = fromString(row.text, &flags);
            value = static_cast<int>(flags);
        }
        EXPECT_EQ(value, row.expected);
        EXPECT_EQ(success, row.success);

        const auto records = capture.logger().records();
        ASSERT_EQ(records.size(), row.logLines.size());
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].level, Level::warning);
            EXPECT_THAT(records[i].text.toStdString(), HasSubstr(row.logLines[i]));
        }
    }
}

TEST(FlagText, ReportsTheEnumTypeAndTheNumberNotItsComplement)
{
    LogCapture capture(Level::verbose);
    Capabilities flags;
    EXPECT_FALSE(fromString("0x80|0x401", &flags));
    EXPECT_EQ(flags, Capabilities(EngineManifest::deviceDependent));
    const auto records = capture.logger().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].tag.toStdString(), "vorn::vms::api::analytics::EngineManifest::Capability");
    EXPECT_EQ(records[0].text.toStdString(),
              "Invalid flag value 1025 of vorn::vms::api::analytics::EngineManifest::Capability: undefined bits 0x400");
}

TEST(FlagText, WritesSetsAsNamesJoinedBySeparators)
{
    AssertionCapture assertions;
    struct Row
    {
        const char* name;
        std::string text;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"no event type flags", toString(EventTypeFlags()), ""},
        {"one event type flag", toString(EventTypeFlags(EventTypeFlag::stateDependent)), "stateDependent"},
        {"two event type flags", toString(EventTypeFlags(QFlag(9))), "stateDependent|useTrackBestShotAsPreview"},
        {"adjacent event type flags", toString(EventTypeFlags(QFlag(6))), "regionDependent|hidden"},
        {"no capabilities", toString(Capabilities()), "noCapabilities"},
        {"one capability", toString(Capabilities(EngineManifest::deviceDependent)), "deviceDependent"},
        {"two capabilities", toString(Capabilities(QFlag(129))), "needUncompressedVideoFrames_yuv420|deviceDependent"},
        {"undefined event type bit", toString(EventTypeFlags(QFlag(16))), ""},
        {"named bit beside an undefined one", toString(Capabilities(QFlag(128 | 1024))), "deviceDependent"},
        {"bit 31", toString(EventTypeFlags(QFlag(static_cast<int>(0x80000001u)))), "stateDependent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.text, row.expected);
    }
    // Bits without a name are reported once per write, in the order of the rows.
    std::vector<std::string> reports;
    for (const QString& report : assertions.reports())
        reports.push_back(report.toStdString());
    EXPECT_THAT(reports, ElementsAre(HasSubstr("bits without a name: 0x10"), HasSubstr("bits without a name: 0x400"),
                                     HasSubstr("bits without a name: 0x0")));
}

TEST(FlagText, NamesSingleValues)
{
    EXPECT_EQ(toString(EventTypeFlag::noFlags), ""); //< The empty name comes first in the table.
    EXPECT_EQ(toString(EventTypeFlag::hidden), "hidden");
    EXPECT_EQ(toString(EngineManifest::noCapabilities), "noCapabilities");
    EXPECT_EQ(toString(static_cast<EngineManifest::Capability>(1024)), "1024");
    EXPECT_EQ(toString(static_cast<EngineManifest::Capability>(-5)), "-5");
}

TEST(FlagText, EveryNamedFlagSurvivesARoundTrip)
{
    for (const auto& [value, name] : flagNames(EngineManifest::Capability())) {
        SCOPED_TRACE(std::string(name));
        Capabilities parsed;
        ASSERT_TRUE(fromString(toString(Capabilities(QFlag(value))), &parsed));
        EXPECT_EQ(static_cast<int>(parsed), value);
    }
    for (const auto& [value, name] : flagNames(EventTypeFlag())) {
        SCOPED_TRACE(std::string(name));
        EventTypeFlags parsed;
        ASSERT_TRUE(fromString(toString(EventTypeFlags(QFlag(value))), &parsed));
        EXPECT_EQ(static_cast<int>(parsed), value);
    }
}

TEST(FlagText, TrimsWhiteSpaceOnly)
{
    EXPECT_EQ(vorn::utils::flags_detail::trim(" \t hidden \r\n"), "hidden");
    EXPECT_EQ(vorn::utils::flags_detail::trim("   "), "");
    EXPECT_EQ(vorn::utils::flags_detail::trim("a b"), "a b");
}

} // namespace
