#include "console_control_watcher.h"
#include "console_ctrl_handler.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <signal.h>

#include <QtCore/QProcess>

#include <vorn/testing/wait_until.h>

#include <gtest/gtest.h>

namespace vorn::vms::waypoint {
namespace {

using namespace std::chrono_literals;

using vorn::testing::waitUntil;

class CountingStoppable : public VnStoppable
{
public:
    void pleaseStop() override { ++calls; }
    std::atomic<int> calls{0};
};

TEST(ConsoleControl, EachSignalReachesTheTarget)
{
    CountingStoppable target;
    setConsoleControlTarget(&target);
    {
        const ConsoleControlWatcher watcher([](int signal) { consoleCtrlHandler(signal); });
        ASSERT_TRUE(watcher.isActive());
        int expected = 0;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(signal);
            ::raise(signal);
            ++expected;
            EXPECT_TRUE(waitUntil([&] { return target.calls == expected; }));
        }
        // Cleared: an event is handled and reaches nobody.
        setConsoleControlTarget(nullptr);
        EXPECT_TRUE(consoleCtrlHandler(SIGTERM));
        EXPECT_EQ(target.calls, 3);
    }
    setConsoleControlTarget(&target);
    EXPECT_TRUE(consoleCtrlHandler(0));
    EXPECT_EQ(target.calls, 4);
    setConsoleControlTarget(nullptr);
}

TEST(ConsoleControl, StartedProcessesInheritNoBlockedOrIgnoredSignal)
{
    const ConsoleControlWatcher watcher([](int) {});
    QProcess child;
    child.start("/bin/sh", {"-c", "grep -E '^Sig(Blk|Ign):' /proc/self/status"});
    ASSERT_TRUE(child.waitForFinished(10000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    EXPECT_TRUE(output.contains("SigBlk:\t0000000000000000")) << output.toStdString();
    // The shell ignores nothing of ours: SIGINT, SIGTERM and SIGHUP are not in its ignored set.
    const QString ignored = output.section("SigIgn:\t", 1).trimmed();
    bool ok = false;
    const qulonglong mask = ignored.toULongLong(&ok, 16);
    ASSERT_TRUE(ok) << output.toStdString();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        EXPECT_EQ(mask & (1ULL << (signal - 1)), 0u) << signal;
}

} // namespace
} // namespace vorn::vms::waypoint
