// The command line trailhead starts waypoint with.
#include "command_line.h"

namespace vorn::trailhead {

std::wstring quoteArgument(std::wstring_view argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);

    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are read as escapes in pairs, elsewhere as themselves.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    // The closing quote follows: the backslashes before it must not escape it.
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring buildCommandLine(std::wstring_view executablePath, std::span<const std::wstring> arguments)
{
    std::wstring commandLine = L"\"";
    commandLine += executablePath;
    commandLine += L'"';
    for (const std::wstring& argument : arguments) {
        commandLine += L' ';
        commandLine += quoteArgument(argument);
    }
    return commandLine;
}

} // namespace vorn::trailhead
