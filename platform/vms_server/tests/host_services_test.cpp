#include <vorn/vms_server/host_services.h>

#include <cstdint>

#include <gtest/gtest.h>

#include <vorn/sdk/ptr.h>

namespace vorn::vms_server {
namespace {

// The server's clock follows every replacement, whichever kind of clock came before: the system
// clock, a stopped one and a clock function.
TEST(HostServices, ClockFollowsEveryReplacement)
{
    const auto services = sdk::makePtr<HostServices>();
    const auto isSystemTime = [&services] {
        const int64_t before = HostServices::systemTimeMs();
        const int64_t read = services->serverTimeMs();
        return read >= before && read <= HostServices::systemTimeMs();
    };
    EXPECT_TRUE(isSystemTime());

    services->setServerTimeMs(1'700'000'000'000);
    EXPECT_EQ(services->serverTimeMs(), 1'700'000'000'000);
    services->setServerTimeMs(-5);
    EXPECT_EQ(services->serverTimeMs(), -5);

    int64_t nowMs = 42;
    services->setClock([&nowMs] { return nowMs; });
    EXPECT_EQ(services->serverTimeMs(), 42);
    nowMs = 43;
    EXPECT_EQ(services->serverTimeMs(), 43);

    services->setServerTimeMs(7);
    EXPECT_EQ(services->serverTimeMs(), 7);

    services->setClock({});
    EXPECT_TRUE(isSystemTime());

    services->setClock([] { return int64_t{11}; });
    EXPECT_EQ(services->serverTimeMs(), 11);
    services->setClock({});
    EXPECT_TRUE(isSystemTime());
}

} // namespace
} // namespace vorn::vms_server
