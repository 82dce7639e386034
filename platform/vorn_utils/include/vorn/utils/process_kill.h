// vorn::utils::killProcessByPid: ends a process at once (SIGKILL, as a hard termination).
//
// Only a real, single other process is ever signalled: a pid of 0 or below (on this platform kill(0) and
// kill(-1) would hit the caller's whole process group or every process of the user), a pid past the
// platform's range, and the caller's own pid are refused without a signal.
#pragma once

#include <QtCore/QtGlobal>

namespace vorn::utils {

// True when the signal was delivered; false when refused or when there is no such process.
bool killProcessByPid(qint64 pid);

// Whether killProcessByPid() would try this pid.
bool isKillablePid(qint64 pid);

} // namespace vorn::utils
