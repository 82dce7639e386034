// The JSON value parse (vorn::kit::detail::json11::Json::parse), which every camera reply and push of
// the plugins goes through.
//
// Beyond "no crash, no sanitizer report": a parsed value, written out and parsed again, gives the same
// value (the writer escapes what the reader needs escaped), and every accessor answers on every node.
// Numbers may come back a unit in the last place off: Boost.JSON 1.81, under the reader, does not
// round every decimal text to the nearest double (its parse of "1999e49" and of "1.999e+52", the
// shortest text of the same double, differ in the last bit). A number too large for a double reads as
// infinity, which the writer writes as null, as it does every number that is not finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <vorn/kit/json.h>

#include "fuzz_support.h"

namespace {

using vorn::kit::detail::json11::Json;

// Asks every node for everything; the answers are total by contract, whatever the node is.
std::size_t visit(const Json& value, int depth)
{
    if (depth > Json::kMaxNestingDepth + 1)
        std::abort(); // The parser's nesting bound did not hold.
    std::size_t work = static_cast<std::size_t>(value.int_value()) + value.string_value().size();
    work += value.bool_value() ? 1 : 0;
    work += std::isnan(value.number_value()) ? 1 : 0;
    work += value[0].is_null() ? 0 : 1;
    work += value["result"].is_null() ? 0 : 1;
    for (const Json& item : value.array_items())
        work += visit(item, depth + 1);
    for (const auto& [key, member] : value.object_items())
        work += key.size() + visit(member, depth + 1);
    return work;
}

bool nearlyEqual(double a, double b)
{
    if (a == b)
        return true;
    return std::fabs(a - b) <= std::fabs(a) * 1e-15;
}

bool sameValue(const Json& a, const Json& b)
{
    if (a.is_number() && !std::isfinite(a.number_value()))
        return b.is_null();
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case Json::NUMBER:
        return nearlyEqual(a.number_value(), b.number_value());
    case Json::ARRAY: {
        const Json::array& left = a.array_items();
        const Json::array& right = b.array_items();
        if (left.size() != right.size())
            return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (!sameValue(left[i], right[i]))
                return false;
        }
        return true;
    }
    case Json::OBJECT: {
        const Json::object& left = a.object_items();
        const Json::object& right = b.object_items();
        if (left.size() != right.size())
            return false;
        for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
            if (l->first != r->first || !sameValue(l->second, r->second))
                return false;
        }
        return true;
    }
    default:
        return a == b;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string error;
    const Json value = Json::parse(text, error);
    if (!error.empty()) {
        if (!value.is_null())
            std::abort(); // A failed parse must give null.
        return 0;
    }
    static_cast<void>(visit(value, 0));

    const std::string written = value.dump();
    std::string secondError;
    const Json reread = Json::parse(written, secondError);
    if (!secondError.empty() || !sameValue(value, reread))
        std::abort(); // What the writer writes, the reader must read back unchanged.
    return 0;
}
