#include "request_frame.h"

namespace vorn::vms::waypoint {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the JSON object that starts the text ends: complete when its closing brace is there,
// incomplete while it is not, complete at once for a text that cannot be an object.
RequestFrameStatus objectStatus(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i == text.size())
        return RequestFrameStatus::incomplete;
    if (text[i] != '{')
        return RequestFrameStatus::complete;
    // Depth counts braces and brackets alike: in a valid text they nest properly, and for an invalid
    // one the parser decides; the scan only has to end.
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
        case '[':
            ++depth;
            break;
        case '}':
        case ']':
            if (--depth == 0)
                return RequestFrameStatus::complete;
            break;
        default:
            break;
        }
    }
    return RequestFrameStatus::incomplete;
}

} // namespace

RequestFrameStatus requestFrameStatus(std::string_view bytes,
                                      const std::function<bool(std::string_view channel)>& channelTakesBody)
{
    const std::size_t lineEnd = bytes.find('\n');
    if (lineEnd == std::string_view::npos)
        return RequestFrameStatus::incomplete;
    if (!channelTakesBody(bytes.substr(0, lineEnd)))
        return RequestFrameStatus::complete;
    return objectStatus(bytes.substr(lineEnd + 1));
}

} // namespace vorn::vms::waypoint
