#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/sdk/helpers/plugin_diagnostic_event.h>

#include "debug_capture.h"

namespace vorn::sdk::test {
namespace {

using Level = IPluginDiagnosticEvent::Level;

TEST(PluginDiagnosticEvent, LevelNames)
{
    struct Row
    {
        int32_t level;
        const char* expected;
        int reports;
    };
    const std::vector<Row> rows{
        {0, "info", 0}, {1, "warning", 0}, {2, "error", 0}, {3, "unknown(3)", 1}, {-1, "unknown(-1)", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.level);
        DebugCapture capture;
        EXPECT_EQ(levelToString(static_cast<Level>(row.level)), row.expected);
        EXPECT_EQ(capture.countLinesContaining("ASSERTION FAILED"), row.reports);
    }
}

TEST(PluginDiagnosticEvent, FieldsAndRendering)
{
    const auto event = makePtr<PluginDiagnosticEvent>(Level::warning, "caption", "description");
    EXPECT_EQ(event->level(), Level::warning);
    EXPECT_STREQ(event->caption(), "caption");
    EXPECT_STREQ(event->description(), "description");

    event->setLevel(Level::error);
    event->setCaption("c");
    event->setDescription("");
    EXPECT_EQ(event->toString(), "{\n"
                                 "    \"level\": \"error\",\n"
                                 "    \"caption\": \"c\",\n"
                                 "    \"description\": \"\"\n"
                                 "}");

    event->setCaption("say \"hi\"\n");
    EXPECT_NE(event->toString().find(R"("caption": "say \"hi\"\n",)"), std::string::npos) << event->toString();
}

} // namespace
} // namespace vorn::sdk::test
