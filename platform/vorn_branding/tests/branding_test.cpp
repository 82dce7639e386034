#include <vorn/branding.h>

#include <optional>

#include <vorn/testing/scoped_environment.h>

#include <gtest/gtest.h>

namespace vorn::branding {
namespace {

using vorn::testing::ScopedEnvironment;

TEST(Branding, InstallationRootFollowsTheEnvironment)
{
    struct Row
    {
        const char* name;
        std::optional<QByteArray> value;
        QString expected;
    };
    const Row rows[] = {
        {"unset", std::nullopt, "/opt/Velorin/velorin"},
        {"empty", QByteArray(""), "/opt/Velorin/velorin"},
        {"set", QByteArray("/tmp/roots/x"), "/tmp/roots/x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScopedEnvironment environment(kInstallationRootVariable, row.value);
        EXPECT_EQ(installationRoot(), row.expected);
    }
}

} // namespace
} // namespace vorn::branding
