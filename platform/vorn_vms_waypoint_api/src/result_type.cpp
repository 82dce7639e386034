#include <vorn/vms/waypoint/api/result_type.h>

#include <array>

namespace vorn::vms::waypoint::api {

namespace {

// Indexed by value.
constexpr std::array<std::string_view, 13> kNames = {
    "ok",          "connectError", "versionNotInstalled", "alreadyInstalled", "invalidVersionFormat", "notFound",
    "badResponse", "ioError",      "notEnoughSpace",      "brokenPackage",    "unpackingZip",         "busy",
    "otherError",
};

} // namespace

std::string_view resultTypeName(ResultType result)
{
    const int value = static_cast<int>(result);
    if (value < 0 || value >= static_cast<int>(kNames.size()))
        return {};
    return kNames[static_cast<std::size_t>(value)];
}

std::optional<ResultType> resultTypeFromName(std::string_view name)
{
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name)
            return static_cast<ResultType>(i);
    }
    return std::nullopt;
}

} // namespace vorn::vms::waypoint::api
