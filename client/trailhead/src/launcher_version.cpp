// Reading of the per-user launcher version text.
#include "launcher_version.h"

#include <limits>

namespace vorn::trailhead {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/**
 * One "%d" conversion at the front of text: consumes what it reads and stores the number in value.
 * Returns false, with value untouched, when no digit follows the white space and sign.
 */
bool readNumber(std::string_view* text, std::int32_t* value)
{
    std::size_t pos = 0;
    while (pos < text->size() && isSpace((*text)[pos]))
        ++pos;
    bool negative = false;
    if (pos < text->size() && ((*text)[pos] == '+' || (*text)[pos] == '-')) {
        negative = (*text)[pos] == '-';
        ++pos;
    }
    if (pos == text->size() || !isDigit((*text)[pos])) {
        text->remove_prefix(pos);
        return false;
    }

    // The magnitude is gathered in 64 bits and checked after every digit, so it can never wrap; the
    // digits beyond the range are still consumed, as the conversion would.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    bool overflow = false;
    for (; pos < text->size() && isDigit((*text)[pos]); ++pos) {
        if (overflow)
            continue;
        magnitude = magnitude * 10 + ((*text)[pos] - '0');
        overflow = magnitude > limit;
    }
    text->remove_prefix(pos);
    *value = overflow ? 0 : static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

} // namespace

LauncherVersion parseLauncherVersion(std::string_view text)
{
    LauncherVersion version;
    std::int32_t* const numbers[] = {&version.major, &version.minor, &version.patch, &version.build};
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        // The dot is matched as it stands: no white space is skipped before it.
        if (i > 0) {
            if (text.empty() || text.front() != '.')
                break;
            text.remove_prefix(1);
        }
        if (!readNumber(&text, numbers[i]))
            break;
    }
    return version;
}

} // namespace vorn::trailhead
