// TaskType and the names of tasks and results, as log messages and the pipe's channels use them.
//
// A task's name is the name of its channel ("run", "quit", ...): the launcher and every client of the
// pipe use the same names. A value outside a table is written as its decimal number.
#pragma once

#include <string>

#include <QtCore/QString>

#include <vorn/vms/waypoint/api/result_type.h>

namespace vorn::vms::waypoint {

enum class TaskType : int {
    run = 0,
    quit = 1,
    installZip = 2,
    isVersionInstalled = 3,
    getInstalledVersions = 4,
    addProcessKillTimer = 5,
    startZipInstallation = 6,
    checkZipProgress = 7,
    pingWaypoint = 8,
    unknown = 9,
};

std::string taskTypeToString(TaskType type);
QString taskTypeToQString(TaskType type);

std::string resultTypeToString(api::ResultType result);
QString resultTypeToQString(api::ResultType result);

} // namespace vorn::vms::waypoint
