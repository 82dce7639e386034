#include <vorn/kit/utils.h>

#include <cstdint>
#include <cstdio>

namespace vorn::kit::utils {

std::string toString(const std::string& text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[5];
                std::snprintf(escaped, sizeof(escaped), "\\x%02x", static_cast<unsigned char>(c));
                result += escaped;
            } else {
                result += c;
            }
        }
    }
    result += '"';
    return result;
}

std::string toString(const char* text)
{
    if (!text)
        return "null";
    return toString(std::string(text));
}

std::string toString(const void* pointer)
{
    if (!pointer)
        return "null";
    char buffer[2 + 2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(buffer, sizeof(buffer), "0x%jx",
                  static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(pointer)));
    return buffer;
}

} // namespace vorn::kit::utils
