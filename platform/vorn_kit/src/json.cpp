#include <vorn/kit/json.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <variant>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/parser.hpp>
#include <boost/json/value.hpp>

namespace vorn::kit::detail::json11 {

class Json::Node
{
public:
    // Alternatives in the order of Json::Type, NUL excluded (a null Json has no node).
    using Value = std::variant<double, bool, std::string, array, object>;

    // Builds the alternative in place: no temporary variant to move from.
    template<class T>
    explicit Node(T&& alternative)
        : value(std::forward<T>(alternative))
    {}

    const Value value;
};

namespace {

const Json& nullJson()
{
    static const Json value;
    return value;
}

const std::string& emptyString()
{
    static const std::string value;
    return value;
}

const Json::array& emptyArray()
{
    static const Json::array value;
    return value;
}

const Json::object& emptyObject()
{
    static const Json::object value;
    return value;
}

void dumpString(const std::string& text, std::string& out)
{
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else if (static_cast<unsigned char>(c) == 0xE2 && i + 2 < text.size() &&
                       static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                       (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xA8) {
                // U+2028 and U+2029 are valid in JSON but end a line in JavaScript.
                out += (static_cast<unsigned char>(text[i + 2]) == 0xA8) ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void dumpNumber(double value, std::string& out)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    // Integral values below 2^53 print without exponent or fraction, as the integers they are.
    constexpr double kExactIntegerLimit = 9007199254740992.0;
    std::to_chars_result result;
    if (std::trunc(value) == value && std::fabs(value) < kExactIntegerLimit)
        result = std::to_chars(buffer, buffer + sizeof(buffer), static_cast<long long>(value));
    else
        result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, result.ptr);
}

constexpr std::size_t kParserStackBytes = 1024;

Json fromBoost(const boost::json::value& value)
{
    switch (value.kind()) {
    case boost::json::kind::null:
        return Json();
    case boost::json::kind::bool_:
        return Json(value.get_bool());
    case boost::json::kind::int64:
        return Json(static_cast<double>(value.get_int64()));
    case boost::json::kind::uint64:
        return Json(static_cast<double>(value.get_uint64()));
    case boost::json::kind::double_:
        return Json(value.get_double());
    case boost::json::kind::string: {
        const boost::json::string& text = value.get_string();
        return Json(std::string(text.data(), text.size()));
    }
    case boost::json::kind::array: {
        Json::array items;
        items.reserve(value.get_array().size());
        for (const boost::json::value& item : value.get_array())
            items.push_back(fromBoost(item));
        return Json(std::move(items));
    }
    case boost::json::kind::object: {
        Json::object members;
        for (const boost::json::key_value_pair& member : value.get_object())
            members.insert_or_assign(std::string(member.key()), fromBoost(member.value()));
        return Json(std::move(members));
    }
    }
    return Json();
}

} // namespace

Json::Json() noexcept = default;
Json::Json(std::nullptr_t) noexcept {}
Json::Json(double value)
    : m_node(std::make_shared<const Node>(value))
{}
Json::Json(int value)
    : m_node(std::make_shared<const Node>(static_cast<double>(value)))
{}
Json::Json(bool value)
    : m_node(std::make_shared<const Node>(value))
{}
Json::Json(const std::string& value)
    : m_node(std::make_shared<const Node>(value))
{}
Json::Json(std::string&& value)
    : m_node(std::make_shared<const Node>(std::move(value)))
{}
Json::Json(const char* value)
    : m_node(std::make_shared<const Node>(std::string(value ? value : "")))
{}
Json::Json(const array& values)
    : m_node(std::make_shared<const Node>(values))
{}
Json::Json(array&& values)
    : m_node(std::make_shared<const Node>(std::move(values)))
{}
Json::Json(const object& values)
    : m_node(std::make_shared<const Node>(values))
{}
Json::Json(object&& values)
    : m_node(std::make_shared<const Node>(std::move(values)))
{}

Json::Type Json::type() const
{
    if (!m_node)
        return NUL;
    return static_cast<Type>(m_node->value.index() + 1);
}

double Json::number_value() const
{
    const double* value = m_node ? std::get_if<double>(&m_node->value) : nullptr;
    return value ? *value : 0.0;
}

int Json::int_value() const
{
    const double value = number_value();
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

bool Json::bool_value() const
{
    const bool* value = m_node ? std::get_if<bool>(&m_node->value) : nullptr;
    return value ? *value : false;
}

const std::string& Json::string_value() const
{
    const std::string* value = m_node ? std::get_if<std::string>(&m_node->value) : nullptr;
    return value ? *value : emptyString();
}

const Json::array& Json::array_items() const
{
    const array* value = m_node ? std::get_if<array>(&m_node->value) : nullptr;
    return value ? *value : emptyArray();
}

const Json::object& Json::object_items() const
{
    const object* value = m_node ? std::get_if<object>(&m_node->value) : nullptr;
    return value ? *value : emptyObject();
}

const Json& Json::operator[](std::size_t index) const
{
    const array& items = array_items();
    return index < items.size() ? items[index] : nullJson();
}

const Json& Json::operator[](const std::string& key) const
{
    // Most objects read member by member (a camera's push, an item of it) have a handful of members:
    // among so few, a walk that looks at the length and the first byte before comparing the rest finds
    // one with fewer full comparisons than the tree's ordered ones.
    constexpr std::size_t kMaxWalkedMembers = 8;
    const object& members = object_items();
    if (members.size() <= kMaxWalkedMembers) {
        for (const auto& [name, value] : members) {
            if (name.size() == key.size() &&
                (key.empty() || (name[0] == key[0] && std::memcmp(name.data(), key.data(), key.size()) == 0))) {
                return value;
            }
        }
        return nullJson();
    }
    const auto found = members.find(key);
    return found != members.end() ? found->second : nullJson();
}

std::string Json::dump() const
{
    std::string out;
    dump(out);
    return out;
}

void Json::dump(std::string& out) const
{
    switch (type()) {
    case NUL:
        out += "null";
        return;
    case NUMBER:
        dumpNumber(number_value(), out);
        return;
    case BOOL:
        out += bool_value() ? "true" : "false";
        return;
    case STRING:
        dumpString(string_value(), out);
        return;
    case ARRAY: {
        out += '[';
        bool first = true;
        for (const Json& item : array_items()) {
            if (!first)
                out += ',';
            first = false;
            item.dump(out);
        }
        out += ']';
        return;
    }
    case OBJECT: {
        out += '{';
        bool first = true;
        for (const auto& [key, value] : object_items()) {
            if (!first)
                out += ',';
            first = false;
            dumpString(key, out);
            out += ':';
            value.dump(out);
        }
        out += '}';
        return;
    }
    }
}

Json Json::parse(std::string_view in, std::string& error)
{
    boost::json::parse_options options;
    options.max_depth = kMaxNestingDepth;
    options.allow_invalid_utf8 = true;

    // The parser's working stack starts in a buffer on the stack, large enough for a camera's push or
    // reply of some members; a larger document goes on to the heap where the buffer ends.
    unsigned char parserStack[kParserStackBytes];
    boost::json::monotonic_resource memory;
    boost::json::parser parser(boost::json::storage_ptr(), options, parserStack);
    parser.reset(&memory);

    boost::system::error_code code;
    const std::size_t consumed = parser.write(in.data(), in.size(), code);
    if (code) {
        const std::string reason = (code == boost::json::error::too_deep)
                                       ? "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels"
                                       : code.message();
        error = "JSON parse error at offset " + std::to_string(consumed) + ": " + reason;
        return Json();
    }
    error.clear();
    return fromBoost(parser.release());
}

Json Json::parse(const char* in, std::string& error)
{
    return parse(std::string_view(in ? in : ""), error);
}

bool Json::operator==(const Json& other) const
{
    if (m_node == other.m_node)
        return true;
    if (type() != other.type())
        return false;
    switch (type()) {
    case NUL:
        return true;
    case NUMBER:
        return number_value() == other.number_value();
    case BOOL:
        return bool_value() == other.bool_value();
    case STRING:
        return string_value() == other.string_value();
    case ARRAY:
        return array_items() == other.array_items();
    case OBJECT:
        return object_items() == other.object_items();
    }
    return false;
}

bool Json::operator<(const Json& other) const
{
    if (m_node == other.m_node)
        return false;
    if (type() != other.type())
        return type() < other.type();
    switch (type()) {
    case NUL:
        return false;
    case NUMBER:
        return number_value() < other.number_value();
    case BOOL:
        return bool_value() < other.bool_value();
    case STRING:
        return string_value() < other.string_value();
    case ARRAY:
        return array_items() < other.array_items();
    case OBJECT:
        return object_items() < other.object_items();
    }
    return false;
}

} // namespace vorn::kit::detail::json11
