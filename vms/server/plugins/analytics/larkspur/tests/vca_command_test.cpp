#include <gtest/gtest.h>

#include <vorn/vms_server_plugins/analytics/zodivadad/vca_command.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {
namespace {

TEST(SectionForCommand, Table)
{
    const struct
    {
        uint16_t command;
        std::optional<std::string> section;
    } rows[] = {
        {0x0101, "vcacount"},   {0x0102, "vcaalarm"},   {0x0103, "regionalcount"}, {0x0201, "face"},
        {0x0301, "basicalarm"}, {0x0310, "radar"},      {0x0001, std::nullopt}, // Registration reports no section.
        {0x0000, std::nullopt}, {0x0104, std::nullopt}, {0xFFFF, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(sectionForCommand(row.command), row.section);
    }
}

} // namespace
} // namespace vorn::vms_server_plugins::analytics::zodivadad
