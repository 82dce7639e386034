#include <vorn/utils/process_kill.h>

#include <limits>

#include <signal.h>
#include <unistd.h>

namespace vorn::utils {

bool isKillablePid(qint64 pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max() && pid != static_cast<qint64>(::getpid());
}

bool killProcessByPid(qint64 pid)
{
    if (!isKillablePid(pid))
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

} // namespace vorn::utils
