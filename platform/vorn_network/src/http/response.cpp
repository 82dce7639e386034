#include <vorn/network/http/response.h>

#include <ostream> // Boost 1.81 string_view streams into std::ostream without including it

#include <boost/beast/core/string.hpp>

namespace vorn::network::http {

namespace {

bool sameName(const std::string& left, std::string_view right)
{
    return boost::beast::iequals(left, boost::beast::string_view(right.data(), right.size()));
}

} // namespace

std::optional<std::string> Response::header(std::string_view name) const
{
    for (const auto& [fieldName, value] : headers) {
        if (sameName(fieldName, name))
            return value;
    }
    return std::nullopt;
}

std::vector<std::string> Response::headerValues(std::string_view name) const
{
    std::vector<std::string> values;
    for (const auto& [fieldName, value] : headers) {
        if (sameName(fieldName, name))
            values.push_back(value);
    }
    return values;
}

} // namespace vorn::network::http
