#include "task_type.h"

#include <algorithm>
#include <iterator>

namespace vorn::vms::waypoint {

namespace {

template <typename Enum>
struct NameEntry
{
    Enum value;
    const char* name;
};

// Both tables are sorted by value: looked up by binary search.
constexpr NameEntry<TaskType> kTaskTypeNames[] = {
    {TaskType::run, "run"},
    {TaskType::quit, "quit"},
    {TaskType::installZip, "installZip"},
    {TaskType::isVersionInstalled, "isVersionInstalled"},
    {TaskType::getInstalledVersions, "getInstalledVersions"},
    {TaskType::addProcessKillTimer, "addProcessKillTimer"},
    {TaskType::startZipInstallation, "startZipInstallation"},
    {TaskType::checkZipProgress, "checkZipProgress"},
    {TaskType::pingWaypoint, "pingWaypoint"},
    {TaskType::unknown, "unknown"},
};

constexpr NameEntry<api::ResultType> kResultTypeNames[] = {
    {api::ResultType::ok, "ok"},
    {api::ResultType::connectError, "connectError"},
    {api::ResultType::versionNotInstalled, "versionNotInstalled"},
    {api::ResultType::alreadyInstalled, "alreadyInstalled"},
    {api::ResultType::invalidVersionFormat, "invalidVersionFormat"},
    {api::ResultType::notFound, "notFound"},
    {api::ResultType::badResponse, "badResponse"},
    {api::ResultType::ioError, "ioError"},
    {api::ResultType::notEnoughSpace, "notEnoughSpace"},
    {api::ResultType::brokenPackage, "brokenPackage"},
    {api::ResultType::unpackingZip, "unpackingZip"},
    {api::ResultType::busy, "busy"},
    {api::ResultType::otherError, "otherError"},
};

template <typename Enum, std::size_t N>
std::string lookUp(const NameEntry<Enum> (&table)[N], Enum value)
{
    const auto found =
        std::lower_bound(std::begin(table), std::end(table), value, [](const NameEntry<Enum>& entry, Enum wanted) {
            return static_cast<int>(entry.value) < static_cast<int>(wanted);
        });
    if (found != std::end(table) && found->value == value)
        return found->name;
    return std::to_string(static_cast<int>(value));
}

} // namespace

std::string taskTypeToString(TaskType type)
{
    return lookUp(kTaskTypeNames, type);
}

QString taskTypeToQString(TaskType type)
{
    return QString::fromStdString(taskTypeToString(type));
}

std::string resultTypeToString(api::ResultType result)
{
    return lookUp(kResultTypeNames, result);
}

QString resultTypeToQString(api::ResultType result)
{
    return QString::fromStdString(resultTypeToString(result));
}

} // namespace vorn::vms::waypoint
