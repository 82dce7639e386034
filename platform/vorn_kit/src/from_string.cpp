#include <vorn/kit/from_string.h>

#include <charconv>

namespace vorn::kit::utils {

bool fromString(const std::string& text, int* value)
{
    if (!value)
        return false;
    const char* begin = text.data();
    const char* const end = text.data() + text.size();
    // std::from_chars takes "-" but not "+"; a plus sign is still a plain decimal integer.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+'))
            return false;
    }
    int result = 0;
    const auto [stop, error] = std::from_chars(begin, end, result, 10);
    if (error != std::errc() || stop != end)
        return false;
    *value = result;
    return true;
}

} // namespace vorn::kit::utils
