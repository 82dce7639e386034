#include "task_type.h"

#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

TEST(TaskType, Names)
{
    const std::pair<int, const char*> rows[] = {
        {0, "run"},
        {1, "quit"},
        {2, "installZip"},
        {3, "isVersionInstalled"},
        {4, "getInstalledVersions"},
        {5, "addProcessKillTimer"},
        {6, "startZipInstallation"},
        {7, "checkZipProgress"},
        {8, "pingWaypoint"},
        {9, "unknown"},
        {10, "10"},
        {-1, "-1"},
    };
    for (const auto& [value, name] : rows) {
        SCOPED_TRACE(value);
        EXPECT_EQ(taskTypeToString(static_cast<TaskType>(value)), name);
        EXPECT_EQ(taskTypeToQString(static_cast<TaskType>(value)), QString::fromUtf8(name));
    }
}

TEST(ResultType, NamesAgreeWithThePipeEncoding)
{
    const std::pair<int, const char*> rows[] = {
        {0, "ok"},
        {1, "connectError"},
        {2, "versionNotInstalled"},
        {3, "alreadyInstalled"},
        {4, "invalidVersionFormat"},
        {5, "notFound"},
        {6, "badResponse"},
        {7, "ioError"},
        {8, "notEnoughSpace"},
        {9, "brokenPackage"},
        {10, "unpackingZip"},
        {11, "busy"},
        {12, "otherError"},
        {13, "13"},
        {-1, "-1"},
    };
    for (const auto& [value, name] : rows) {
        SCOPED_TRACE(value);
        const auto result = static_cast<api::ResultType>(value);
        EXPECT_EQ(resultTypeToString(result), name);
        EXPECT_EQ(resultTypeToQString(result), QString::fromUtf8(name));
        // The reply line a client reads back names the same result.
        if (value >= 0 && value <= 12)
            EXPECT_EQ(api::resultTypeName(result), name);
        else
            EXPECT_TRUE(api::resultTypeName(result).empty());
    }
}

} // namespace
} // namespace vorn::vms::waypoint
