#include <vorn/utils/process_kill.h>

#include <limits>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vorn::utils {
namespace {

TEST(ProcessKill, RefusesWhatIsNotOneOtherProcess)
{
    struct Row
    {
        const char* name;
        qint64 pid;
    };
    const Row rows[] = {
        {"zero: own process group", 0},
        {"minus one: every process", -1},
        {"negative: a process group", -2},
        {"own pid", static_cast<qint64>(::getpid())},
        {"past the range", static_cast<qint64>(std::numeric_limits<pid_t>::max()) + 1},
        {"past 32 bits", 1LL << 40},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(isKillablePid(row.pid));
        EXPECT_FALSE(killProcessByPid(row.pid));
    }
}

TEST(ProcessKill, EndsAChild)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    EXPECT_TRUE(killProcessByPid(child));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // Gone (and reaped): nothing to signal any more.
    EXPECT_FALSE(killProcessByPid(child));
}

} // namespace
} // namespace vorn::utils
