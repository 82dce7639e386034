#include "wildcard_match.h"

#include <cctype>

namespace vorn::vms_server_plugins::analytics::uniview {

namespace {

constexpr char kAnyRun = '*';
constexpr char kAnyOne = '?';
// "?" stands for one byte of a name part, never for the separator ".".
constexpr char kNotMatchedByAnyOne = '.';

// tolower() takes an unsigned char value: a plain char of 0x80 and above would be negative.
char lowered(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool byteMatches(char patternByte, char textByte, bool caseInsensitive)
{
    if (patternByte == kAnyOne)
        return textByte != kNotMatchedByAnyOne;
    if (caseInsensitive)
        return lowered(patternByte) == lowered(textByte);
    return patternByte == textByte;
}

} // namespace

bool wildcardMatch(std::string_view pattern, std::string_view text, bool caseInsensitive)
{
    while (!pattern.empty()) {
        if (pattern.front() == kAnyRun) {
            // Stars in a row act as one; a trailing star takes whatever text is left.
            while (!pattern.empty() && pattern.front() == kAnyRun)
                pattern.remove_prefix(1);
            if (pattern.empty())
                return true;
            // Let the star take 0, 1, 2, ... bytes and try the rest of the pattern behind them.
            for (std::size_t taken = 0; taken <= text.size(); ++taken) {
                if (wildcardMatch(pattern, text.substr(taken), caseInsensitive))
                    return true;
            }
            return false;
        }
        if (text.empty() || !byteMatches(pattern.front(), text.front(), caseInsensitive))
            return false;
        pattern.remove_prefix(1);
        text.remove_prefix(1);
    }
    return text.empty();
}

bool matchesAnyPattern(const std::set<std::string>& patterns, std::string_view text)
{
    for (const std::string& pattern : patterns) {
        if (wildcardMatch(pattern, text, /*caseInsensitive*/ true))
            return true;
    }
    return false;
}

} // namespace vorn::vms_server_plugins::analytics::uniview
