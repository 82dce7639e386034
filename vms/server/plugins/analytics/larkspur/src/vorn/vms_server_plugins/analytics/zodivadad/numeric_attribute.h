// zodivadad::NumericAttribute: how an integer member of a camera event becomes a named attribute.
//
// The engine manifest's "eventNumericAttributes" maps a member name of the camera's event JSON to one
// of these; the camera's value N is shown as values[N], or as its decimal number when the list has no
// such entry. A plain value record, read and written through its field list.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include <vorn/fusion/serialization/json.h>

namespace vorn::vms_server_plugins::analytics::zodivadad {

struct NumericAttribute
{
    std::string name;
    std::vector<std::string> values;
};

constexpr auto jsonFields(const NumericAttribute*)
{
    return std::tuple(QJson::field("name", &NumericAttribute::name), QJson::field("values", &NumericAttribute::values));
}

} // namespace vorn::vms_server_plugins::analytics::zodivadad
