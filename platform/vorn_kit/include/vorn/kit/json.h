// vorn::kit::detail::json11::Json: the immutable JSON value that the plugins read camera replies and pushed
// data with, and build small request bodies from.
//
// A Json is a handle to a shared, never-changing node, so copies are cheap and a value can be read from
// several threads at once. Every accessor is total: asking a value for something it is not gives the empty
// answer (0, false, "", an empty list, a null Json) instead of failing, so nested lookups need no checks:
//
//     std::string error;
//     const Json reply = Json::parse(body, error);
//     if (!reply.is_object())
//         return fail(error);                     // error names the problem and its offset
//     const int code = reply["Response"]["ResponseCode"].int_value();  // 0 when any level is missing
//
//     const Json request = Json::object{{"Duration", 1800}};
//     send(request.dump());                       // {"Duration":1800}; object keys always come sorted
//
// Numbers are kept as double. int_value() truncates towards zero and saturates at the int range (NaN gives
// 0), so a hostile number can never cause undefined behaviour.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::kit::detail::json11 {

class Json final
{
public:
    enum Type { NUL, NUMBER, BOOL, STRING, ARRAY, OBJECT };

    using array = std::vector<Json>;
    using object = std::map<std::string, Json>;

    // Parsing stops with an error at this many nested arrays and objects. Camera documents nest a handful of
    // levels; the bound keeps a hostile document from exhausting the stack of the recursive code that walks,
    // prints and destroys the tree.
    static constexpr int kMaxNestingDepth = 64;

    Json() noexcept;
    Json(std::nullptr_t) noexcept;
    Json(double value);
    Json(int value);
    Json(bool value);
    Json(const std::string& value);
    Json(std::string&& value);
    Json(const char* value);
    Json(const array& values);
    Json(array&& values);
    Json(const object& values);
    Json(object&& values);

    // A pointer would otherwise silently become a bool.
    Json(void*) = delete;

    Type type() const;

    bool is_null() const { return type() == NUL; }
    bool is_number() const { return type() == NUMBER; }
    bool is_bool() const { return type() == BOOL; }
    bool is_string() const { return type() == STRING; }
    bool is_array() const { return type() == ARRAY; }
    bool is_object() const { return type() == OBJECT; }

    // 0 for anything that is not a number.
    double number_value() const;
    // The number truncated towards zero, clamped to [INT_MIN, INT_MAX]; NaN and non-numbers give 0.
    int int_value() const;
    // false for anything that is not a bool.
    bool bool_value() const;
    // Empty for anything that is not a string.
    const std::string& string_value() const;
    // Empty for anything that is not an array.
    const array& array_items() const;
    // Empty for anything that is not an object.
    const object& object_items() const;

    // The element, or a null Json for an index out of range or a value that is not an array.
    const Json& operator[](std::size_t index) const;
    // The member, or a null Json for a missing key or a value that is not an object.
    const Json& operator[](const std::string& key) const;

    // Compact JSON text; object members in ascending key order; numbers that are not finite print as null.
    std::string dump() const;
    void dump(std::string& out) const;

    // Strict JSON (no comments, no trailing commas, nothing after the value). On failure returns a null Json
    // and sets `error` to a text that names the problem and its byte offset; on success clears `error`.
    // Strings are taken byte for byte: text that is not valid UTF-8 is kept as it came.
    static Json parse(std::string_view in, std::string& error);
    static Json parse(const std::string& in, std::string& error) { return parse(std::string_view(in), error); }
    static Json parse(const char* in, std::string& error);

    // Values compare by type first (in the order of Type), then by value; numbers compare as doubles.
    bool operator==(const Json& other) const;
    bool operator<(const Json& other) const;
    bool operator!=(const Json& other) const { return !(*this == other); }
    bool operator<=(const Json& other) const { return !(other < *this); }
    bool operator>(const Json& other) const { return other < *this; }
    bool operator>=(const Json& other) const { return !(*this < other); }

private:
    class Node;
    std::shared_ptr<const Node> m_node; //< Null for the null value.
};

} // namespace vorn::kit::detail::json11
