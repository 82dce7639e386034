// vorn::vms::waypoint::api::ResultType: the outcome of every launcher request, the same numbers and
// names on both sides of the pipe (a reply's first line is the name).
#pragma once

#include <optional>
#include <string_view>

namespace vorn::vms::waypoint::api {

enum class ResultType : int {
    ok = 0,
    connectError = 1,
    versionNotInstalled = 2,
    alreadyInstalled = 3,
    invalidVersionFormat = 4,
    notFound = 5,
    badResponse = 6,
    ioError = 7,
    notEnoughSpace = 8,
    brokenPackage = 9,
    unpackingZip = 10,
    busy = 11,
    otherError = 12,
};

// The name of a result ("ok", "connectError", ...), empty for a value outside the enumeration.
std::string_view resultTypeName(ResultType result);
// The result a name stands for (exact, case-sensitive), or nothing.
std::optional<ResultType> resultTypeFromName(std::string_view name);

} // namespace vorn::vms::waypoint::api
