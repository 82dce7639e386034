#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/kit/debug.h>
#include <vorn/kit/utils.h>

namespace vorn::kit::test {
namespace {

TEST(Debug, StreamIsStderrUntilRedirected)
{
    std::ostringstream captured;
    std::ostream* previous = debug::setStream(&captured);
    debug::stream() << "line\n";
    EXPECT_EQ(captured.str(), "line\n");
    EXPECT_EQ(debug::setStream(previous), &captured);
    EXPECT_NE(&debug::stream(), &captured);
}

TEST(Debug, AssertionReportGoesToThePrintFunctionAndExecutionContinues)
{
    std::vector<std::string> printed;
    debug::detail::assertionFailed([&](const std::string& text) { printed.push_back(text); }, "x > 0", "x was -1",
                                   "src/a/b.cpp", 42);
    debug::detail::assertionFailed([&](const std::string& text) { printed.push_back(text); }, "ptr", "", nullptr, 7);
    ASSERT_EQ(printed.size(), 2U);
    EXPECT_EQ(printed[0], "ASSERTION FAILED at src/a/b.cpp:42: (x > 0) x was -1");
    EXPECT_EQ(printed[1], "ASSERTION FAILED at ?:7: (ptr)");

    // Without a print function the report still reaches the debug stream.
    std::ostringstream captured;
    std::ostream* previous = debug::setStream(&captured);
    debug::detail::assertionFailed(nullptr, "c", "m", "f.cpp", 1);
    debug::setStream(previous);
    EXPECT_EQ(captured.str(), "ASSERTION FAILED at f.cpp:1: (c) m\n");
}

TEST(Debug, PrintPrefixNamesTheSourceFile)
{
    EXPECT_EQ(debug::detail::printPrefix("open/vms/plugin.cpp"), "[plugin.cpp] ");
    EXPECT_EQ(debug::detail::printPrefix("C:\\src\\plugin.cpp"), "[plugin.cpp] ");
    EXPECT_EQ(debug::detail::printPrefix("plugin.cpp"), "[plugin.cpp] ");
    EXPECT_EQ(debug::detail::printPrefix(nullptr), "[] ");
}

TEST(Utils, ToStringQuotesTextsAndShowsPointers)
{
    struct Row
    {
        std::string text;
        const char* expected;
    };
    const std::vector<Row> rows{
        {"", R"("")"},
        {"plain", R"("plain")"},
        {"say \"hi\"\\", R"("say \"hi\"\\")"},
        {"a\nb\tc\r", R"("a\nb\tc\r")"},
        {std::string("\x01\x7F", 2), R"("\x01\x7f")"},
        {"\xC3\xA9", "\"\xC3\xA9\""}, // UTF-8 passes through
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(utils::toString(row.text), row.expected);
        EXPECT_EQ(utils::toString(row.text.c_str()), row.expected);
    }
    EXPECT_EQ(utils::toString(static_cast<const char*>(nullptr)), "null");
    EXPECT_EQ(utils::toString(static_cast<const void*>(nullptr)), "null");
    EXPECT_EQ(utils::toString(reinterpret_cast<const void*>(0x1234abcd)), "0x1234abcd");
}

} // namespace
} // namespace vorn::kit::test
