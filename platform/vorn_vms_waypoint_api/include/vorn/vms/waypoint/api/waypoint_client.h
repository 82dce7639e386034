// The client side of the launcher's pipe: its name and the request call.
//
//     api::PingRequest request;
//     api::PingResponse response;
//     if (api::sendCommandToWaypoint(request, &response, 3000) == api::ResultType::ok) ...
#pragma once

#include <sys/types.h>

#include <QtCore/QString>

#include <vorn/vms/waypoint/api/tasks.h>

namespace vorn::vms::waypoint::api {

// Names another pipe than the user's own (tests, several launchers side by side).
inline constexpr char kPipeNameVariable[] = "VORN_WAYPOINT_PIPE";

// The environment variable kPipeNameVariable when set and not empty, else "waypoint-" and the user
// name (the user id where there is no name), so that two users never share a pipe.
QString launcherPipeName();

// Sends the task with one write and reads the reply to the end of the stream, all within timeoutMs.
// Answers the reply's result, after reading the reply into *response when one is given;
// connectError when no launcher answered in time, badResponse when the reply cannot be read.
// Only a launcher that runs as this process's effective user is sent anything: the pipe's file lies in
// the shared /tmp, where another user may have made it first. A server of another user gives connectError.
ResultType sendCommandToWaypoint(const BaseTask& task, Response* response, int timeoutMs);
// The same for a launcher that must run as launcherUser.
ResultType sendCommandToWaypoint(const BaseTask& task, Response* response, int timeoutMs, uid_t launcherUser);

} // namespace vorn::vms::waypoint::api
