#include <vorn/build_info.h>

#include <gtest/gtest.h>

namespace vorn::build_info {
namespace {

TEST(BuildInfo, ThisPlatformAndVersion)
{
    static_assert(isLinux() + isMacOsX() + isWindows() <= 1, "at most one platform");
    EXPECT_TRUE(isLinux());
    EXPECT_EQ(vmsVersion(), "5.1.4.38659");
}

} // namespace
} // namespace vorn::build_info
