// The starting level of a library instance, read from the text of the environment variable through
// which a host process (vms_plugin_host --log-level) reaches the libraries it loads.
#include <vector>

#include <gtest/gtest.h>

#include <vorn/utils/log/log_level.h>

namespace log_level_test {
namespace {

using vorn::utils::log::Level;
using vorn::utils::log::detail::maxLevelFromText;

TEST(MaxLevelFromText, takesOneDigitFromZeroToSixAndElseInfo)
{
    struct Row
    {
        const char* text;
        Level expected;
    };
    const std::vector<Row> rows{
        {"0", Level::none},     {"2", Level::error}, {"5", Level::debug}, {"6", Level::verbose},
        {nullptr, Level::info}, {"", Level::info},   {"7", Level::info},  {"-1", Level::info},
        {"06", Level::info},    {"5 ", Level::info}, {" 5", Level::info}, {"debug", Level::info},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text ? row.text : "(null)");
        EXPECT_EQ(maxLevelFromText(row.text), row.expected);
    }
}

} // namespace
} // namespace log_level_test
