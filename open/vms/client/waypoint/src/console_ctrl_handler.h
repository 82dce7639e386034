// consoleCtrlHandler: what the launcher does on a console control event (on Linux: SIGINT, SIGTERM or
// SIGHUP, delivered by ConsoleControlWatcher): ask the launcher process to stop.
//
// The launcher process is registered with setConsoleControlTarget() after it is built and taken away
// again before it is destroyed. The handler calls the target under the same lock, so clearing the
// target waits for a call that runs and no call reaches a launcher being destroyed:
//
//     setConsoleControlTarget(&process);
//     const int result = process.run();
//     setConsoleControlTarget(nullptr);   // from here on, events do nothing
#pragma once

#include <vorn/utils/thread/stoppable.h>

namespace vorn::vms::waypoint {

void setConsoleControlTarget(VnStoppable* target);

// Calls the target's pleaseStop() when one is registered; always answers true (event handled).
bool consoleCtrlHandler(int event);

} // namespace vorn::vms::waypoint
