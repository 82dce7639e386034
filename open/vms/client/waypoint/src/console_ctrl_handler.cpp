#include "console_ctrl_handler.h"

#include <mutex>

namespace vorn::vms::waypoint {

namespace {

// Guards s_target; held while the target's pleaseStop() runs, which only sets flags and cancels
// timers and never calls back here.
std::mutex s_targetMutex;
VnStoppable* s_target = nullptr;

} // namespace

void setConsoleControlTarget(VnStoppable* target)
{
    const std::lock_guard lock(s_targetMutex);
    s_target = target;
}

bool consoleCtrlHandler(int /*event*/)
{
    const std::lock_guard lock(s_targetMutex);
    if (s_target)
        s_target->pleaseStop();
    return true;
}

} // namespace vorn::vms::waypoint
