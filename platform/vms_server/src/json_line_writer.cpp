#include <vorn/vms_server/json_line_writer.h>

#include <charconv>
#include <cmath>
#include <cstdint>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/string.hpp>

namespace vorn::vms_server {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Length of the valid UTF-8 sequence at the start of bytes, or 0 when it is not one. Rejects overlong
// forms, surrogates and code points above U+10FFFF, as a strict decoder does.
std::size_t validSequenceLength(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const auto isContinuation = [&](std::size_t i) { return i < bytes.size() && (byte(i) & 0xC0) == 0x80; };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return isContinuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!isContinuation(1) || !isContinuation(2))
            return 0;
        if (lead == 0xE0 && byte(1) < 0xA0)
            return 0; // Overlong.
        if (lead == 0xED && byte(1) >= 0xA0)
            return 0; // Surrogate.
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!isContinuation(1) || !isContinuation(2) || !isContinuation(3))
            return 0;
        if (lead == 0xF0 && byte(1) < 0x90)
            return 0; // Overlong.
        if (lead == 0xF4 && byte(1) >= 0x90)
            return 0; // Above U+10FFFF.
        return 4;
    }
    return 0;
}

void appendValue(std::string* out, const boost::json::value& value)
{
    switch (value.kind()) {
    case boost::json::kind::null:
        out->append("null");
        return;
    case boost::json::kind::bool_:
        out->append(value.get_bool() ? "true" : "false");
        return;
    case boost::json::kind::int64:
        out->append(std::to_string(value.get_int64()));
        return;
    case boost::json::kind::uint64:
        out->append(std::to_string(value.get_uint64()));
        return;
    case boost::json::kind::double_:
        JsonLineWriter::appendDouble(out, value.get_double());
        return;
    case boost::json::kind::string: {
        const auto& text = value.get_string();
        JsonLineWriter::appendString(out, std::string_view(text.data(), text.size()));
        return;
    }
    case boost::json::kind::array: {
        out->push_back('[');
        bool first = true;
        for (const auto& element : value.get_array()) {
            if (!first)
                out->push_back(',');
            first = false;
            appendValue(out, element);
        }
        out->push_back(']');
        return;
    }
    case boost::json::kind::object: {
        out->push_back('{');
        bool first = true;
        for (const auto& member : value.get_object()) {
            if (!first)
                out->push_back(',');
            first = false;
            JsonLineWriter::appendString(out, std::string_view(member.key().data(), member.key().size()));
            out->push_back(':');
            appendValue(out, member.value());
        }
        out->push_back('}');
        return;
    }
    }
}

} // namespace

JsonLineWriter::JsonLineWriter(std::FILE* stream)
    : m_stream(stream)
{}

void JsonLineWriter::writeLine(const boost::json::value& value)
{
    std::string line = format(value);
    line.push_back('\n');
    const std::lock_guard lock(m_streamMutex);
    std::fwrite(line.data(), 1, line.size(), m_stream);
    std::fflush(m_stream);
}

std::string JsonLineWriter::format(const boost::json::value& value)
{
    std::string text;
    appendValue(&text, value);
    return text;
}

void JsonLineWriter::appendString(std::string* out, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out->push_back('"');
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = validSequenceLength(bytes.substr(i));
        if (length == 0) {
            out->append(kReplacementCharacter);
            ++i;
            continue;
        }
        if (length > 1) {
            out->append(bytes.substr(i, length));
            i += length;
            continue;
        }
        const char c = bytes[i++];
        switch (c) {
        case '"':
            out->append("\\\"");
            break;
        case '\\':
            out->append("\\\\");
            break;
        case '\n':
            out->append("\\n");
            break;
        case '\r':
            out->append("\\r");
            break;
        case '\t':
            out->append("\\t");
            break;
        case '\b':
            out->append("\\b");
            break;
        case '\f':
            out->append("\\f");
            break;
        default:
            if (static_cast<uint8_t>(c) < 0x20) {
                out->append("\\u00");
                out->push_back(kHex[(c >> 4) & 0xF]);
                out->push_back(kHex[c & 0xF]);
            } else {
                out->push_back(c);
            }
        }
    }
    out->push_back('"');
}

void JsonLineWriter::appendDouble(std::string* out, double value)
{
    if (!std::isfinite(value)) {
        out->append("null");
        return;
    }
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof(buffer), value);
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    out->append(text);
    // Keeps the value a floating-point number for readers that tell the two apart.
    if (text.find_first_of(".e") == std::string_view::npos)
        out->append(".0");
}

} // namespace vorn::vms_server
