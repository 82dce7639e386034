#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace vorn::trailhead {
namespace {

// Each argument written by quoteArgument, and what the receiving program reads back from it: the
// splitter below follows the Windows rules (CommandLineToArgvW and the C runtime for arguments after
// the first), written independently of the quoting.
std::vector<std::wstring> splitArguments(std::wstring_view line)
{
    std::vector<std::wstring> arguments;
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t'))
            ++pos;
        if (pos == line.size())
            return arguments;
        std::wstring argument;
        bool quoted = false;
        while (pos < line.size() && (quoted || (line[pos] != L' ' && line[pos] != L'\t'))) {
            std::size_t backslashes = 0;
            while (pos < line.size() && line[pos] == L'\\') {
                ++backslashes;
                ++pos;
            }
            if (pos < line.size() && line[pos] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';
                } else if (quoted && pos + 1 < line.size() && line[pos + 1] == L'"') {
                    argument += L'"'; // "" inside quotes: a literal quote
                    ++pos;
                } else {
                    quoted = !quoted;
                }
                ++pos;
            } else {
                argument.append(backslashes, L'\\');
                if (pos < line.size() && (quoted || (line[pos] != L' ' && line[pos] != L'\t')))
                    argument += line[pos++];
            }
        }
        arguments.push_back(argument);
    }
}

TEST(CommandLine, QuoteArgument)
{
    const struct
    {
        const wchar_t* argument;
        const wchar_t* expected;
    } rows[] = {
        // clang-format off
        {L"--exec", L"--exec"},
        {L"5000", L"5000"},
        {L"C:\\plain\\path\\", L"C:\\plain\\path\\"},
        {L"back\\slash", L"back\\slash"},
        {L"", L"\"\""},
        {L"two words", L"\"two words\""},
        {L"tab\there", L"\"tab\there\""},
        {L"line\nbreak", L"\"line\nbreak\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"\"", L"\"\\\"\""},
        {L"C:\\My Files\\", L"\"C:\\My Files\\\\\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
        {L"a\\\\\"b c", L"\"a\\\\\\\\\\\"b c\""},
        {L"a\\b c", L"\"a\\b c\""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.argument)));
        const std::wstring quoted = quoteArgument(row.argument);
        EXPECT_EQ(quoted, row.expected);
        EXPECT_EQ(splitArguments(quoted), std::vector<std::wstring>{row.argument});
    }
}

TEST(CommandLine, BuildCommandLine)
{
    const std::wstring path = L"C:/Tools/Launch/waypoint.exe";
    EXPECT_EQ(buildCommandLine(path, {}), L"\"C:/Tools/Launch/waypoint.exe\"");

    const std::vector<std::wstring> plain = {L"--exec", L"--proto", L"5000"};
    EXPECT_EQ(buildCommandLine(path, plain), L"\"C:/Tools/Launch/waypoint.exe\" --exec --proto 5000");

    // Whatever the arguments hold, the receiving program reads back exactly them.
    const std::vector<std::wstring> awkward = {L"with blank",          L"",       L"\"quoted\"", L"trailing\\",
                                               L"C:\\Program Files\\", L"\\\\\"", L"\t",         L"--plain"};
    std::vector<std::wstring> expected = {path};
    expected.insert(expected.end(), awkward.begin(), awkward.end());
    EXPECT_EQ(splitArguments(buildCommandLine(path, awkward)), expected);
}

} // namespace
} // namespace vorn::trailhead
