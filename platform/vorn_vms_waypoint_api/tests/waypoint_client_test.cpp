#include <vorn/vms/waypoint/api/waypoint_client.h>

#include <pwd.h>
#include <unistd.h>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint::api {
namespace {

TEST(WaypointClient, PipeNameIsPerUserUnlessOverridden)
{
    {
        const vorn::testing::ScopedEnvironment unset(kPipeNameVariable, std::nullopt);
        const passwd* const user = ::getpwuid(::getuid());
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(launcherPipeName(), QStringLiteral("waypoint-") + QString::fromLocal8Bit(user->pw_name));
    }
    {
        const vorn::testing::ScopedEnvironment empty(kPipeNameVariable, QByteArray(""));
        EXPECT_TRUE(launcherPipeName().startsWith("waypoint-"));
        EXPECT_GT(launcherPipeName().size(), 9);
    }
    const vorn::testing::ScopedEnvironment set(kPipeNameVariable, QByteArray("waypoint-other"));
    EXPECT_EQ(launcherPipeName(), "waypoint-other");
}

} // namespace
} // namespace vorn::vms::waypoint::api
