#include <vorn/network/http/status_line.h>

namespace vorn::network::http {

std::string StatusLine::toString() const
{
    std::string text = version + " " + std::to_string(statusCode);
    if (!reasonPhrase.empty())
        text += " " + reasonPhrase;
    return text;
}

} // namespace vorn::network::http
