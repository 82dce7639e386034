#include <vorn/vms/waypoint/api/waypoint_client.h>

#include <algorithm>
#include <chrono>

#include <pwd.h>
#include <unistd.h>

#include <vorn/utils/named_pipe/named_pipe_socket.h>

namespace vorn::vms::waypoint::api {

namespace {

// A reply is a result line and a small JSON object; a launcher that sends more is not one.
constexpr int kMaxReplySize = 1024 * 1024;

QString userName()
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found && found->pw_name &&
        *found->pw_name) {
        return QString::fromLocal8Bit(found->pw_name);
    }
    return QString::number(::getuid());
}

} // namespace

QString launcherPipeName()
{
    const QString overridden = qEnvironmentVariable(kPipeNameVariable);
    if (!overridden.isEmpty())
        return overridden;
    return QStringLiteral("waypoint-") + userName();
}

ResultType sendCommandToWaypoint(const BaseTask& task, Response* response, int timeoutMs)
{
    return sendCommandToWaypoint(task, response, timeoutMs, ::geteuid());
}

ResultType sendCommandToWaypoint(const BaseTask& task, Response* response, int timeoutMs, uid_t launcherUser)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto remainingMs = [&deadline] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::max<long long>(left, 0));
    };

    utils::NamedPipeSocket socket;
    if (socket.connectToServerSync(launcherPipeName().toStdString(), timeoutMs, launcherUser) != 0)
        return ResultType::connectError;
    const QByteArray request = task.serialize();
    unsigned written = 0;
    if (socket.write(request.constData(), static_cast<unsigned>(request.size()), &written) != 0 ||
        written != static_cast<unsigned>(request.size())) {
        return ResultType::connectError;
    }

    QByteArray reply;
    char buffer[4096];
    for (;;) {
        unsigned received = 0;
        const SystemError::ErrorCode error = socket.read(buffer, sizeof(buffer), &received, remainingMs());
        if (error == utils::kTimedOutError)
            return ResultType::connectError;
        if (error != 0 || received == 0)
            break;
        reply.append(buffer, static_cast<int>(received));
        if (reply.size() > kMaxReplySize)
            return ResultType::badResponse;
    }
    if (reply.isEmpty())
        return ResultType::badResponse;

    if (response)
        return response->deserialize(reply) ? response->result : ResultType::badResponse;
    // No reply object wanted: the result line alone decides.
    const int lineEnd = reply.indexOf('\n');
    const std::optional<ResultType> result =
        lineEnd < 0 ? std::nullopt : resultTypeFromName(std::string_view(reply.constData(), lineEnd));
    return result.value_or(ResultType::badResponse);
}

} // namespace vorn::vms::waypoint::api
