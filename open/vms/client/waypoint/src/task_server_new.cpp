#include "task_server_new.h"

#include <QtCore/QCoreApplication>

#include <qtsinglecoreapplication.h>
#include <vorn/log_support/log.h>
#include <vorn/log_support/peer_text.h>
#include <vorn/utils/log/scope_of_function.h>

#include "request_frame.h"

namespace vorn::vms::waypoint {

// The scope of the log messages that are tagged by function rather than by object.
struct TaskServerNewLogScope
{
};

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

TaskServerNew::TaskServerNew() = default;

TaskServerNew::~TaskServerNew()
{
    stop();
}

bool TaskServerNew::listen(const QString& pipeName)
{
    if (isRunning()) {
        pleaseStop();
        wait();
    }

    auto* const app = qobject_cast<QtSingleCoreApplication*>(QCoreApplication::instance());
    if (!VN_CHECK(app))
        return false;

    if (app->isRunning()) {
        VN_LOG(5, this, "Application instance is already running. Not listening to pipe.");
        return false;
    }

    // The pipe server removes a socket file left behind by a dead launcher, but never the file of one
    // that still answers: two launchers must not steal each other's pipe.
    const SystemError::ErrorCode error = m_pipeServer.listen(pipeName.toStdString());
    if (error == vorn::utils::kOtherUserError) {
        // Someone else claims this user's pipe: worth an error, since no launcher of this user can serve.
        VN_LOG(2, this, "Pipe %1 belongs to another user (%2 or its lock file). Not listening to pipe.", pipeName,
               QString::fromStdString(vorn::utils::namedPipePath(pipeName.toStdString())));
        return false;
    }
    if (error != SystemError::noError) {
        VN_LOG(5, this, "Failed to listen to pipe %1. %2", pipeName, SystemError::toString(error));
        return false;
    }

    m_pipeName = pipeName;
    VN_LOG(5, this, "Listening pipe %1", pipeName);
    // A stop asked of the previous run must not end this one at once.
    m_stopRequested.store(false, std::memory_order_release);
    resetStopRequest();
    start(QThread::InheritPriority);
    return true;
}

bool TaskServerNew::subscribeSimple(const QByteArray& name, std::function<bool()> callback)
{
    const bool hasCallback = static_cast<bool>(callback);
    Channel channel;
    channel.takesBody = false;
    channel.handler = [callback = std::move(callback)](Channel& /*channel*/, const QByteArray& /*message*/,
                                                       QByteArray& response) {
        response.clear();
        return callback() ? ResponseError::noError : ResponseError::deserializationFailed;
    };
    return addChannel(name, hasCallback, std::move(channel));
}

bool TaskServerNew::addChannel(const QByteArray& name, bool callback, Channel channel)
{
    const bool nameGiven = VN_CHECK(!name.isEmpty());
    const bool callbackGiven = VN_CHECK(callback);
    if (!nameGiven || !callbackGiven)
        return false;
    if (m_channels.contains(name))
        return false;
    channel.name = name;
    m_channels.insert(name, std::move(channel));
    return true;
}

void TaskServerNew::pleaseStop()
{
    m_stopRequested.store(true, std::memory_order_release);
    Thread::pleaseStop();
}

void TaskServerNew::run()
{
    while (!m_stopRequested.load(std::memory_order_acquire)) {
        vorn::utils::NamedPipeSocket* socket = nullptr;
        const SystemError::ErrorCode result = m_pipeServer.accept(&socket, kAcceptTimeoutMs);
        if (result == SystemError::noError) {
            processNewConnection(socket);
        } else if (result != vorn::utils::kTimedOutError) {
            VN_LOG(5, this, "Failed to listen to pipe %1. %2", m_pipeName, static_cast<qint64>(result));
            QThread::msleep(kAcceptErrorPauseMs);
        }
        delete socket;
    }
}

bool TaskServerNew::channelTakesBody(std::string_view name) const
{
    const auto found = m_channels.constFind(QByteArray::fromRawData(name.data(), static_cast<int>(name.size())));
    return found != m_channels.constEnd() && found->takesBody;
}

void TaskServerNew::processNewConnection(vorn::utils::NamedPipeSocket* socket)
{
    // A request may arrive in pieces: read until it is whole, the buffer is full, the client has
    // closed its side or the deadline has passed, then process what came.
    char buffer[kMaxRequestSize];
    unsigned size = 0;
    const auto deadline = std::chrono::steady_clock::now() + m_requestTimeout;
    const auto takesBody = [this](std::string_view name) { return channelTakesBody(name); };
    for (;;) {
        unsigned received = 0;
        const SystemError::ErrorCode error =
            socket->read(buffer + size, kMaxRequestSize - size, &received, remainingMs(deadline));
        if (error == vorn::utils::kTimedOutError && size > 0)
            break;
        if (error != SystemError::noError) {
            VN_LOG(5, this, "Failed to receive task data. %1", static_cast<qint64>(error));
            return;
        }
        if (received == 0)
            break;
        size += received;
        if (size == kMaxRequestSize ||
            requestFrameStatus(std::string_view(buffer, size), takesBody) == RequestFrameStatus::complete) {
            break;
        }
    }

    const QByteArray message = QByteArray::fromRawData(buffer, static_cast<int>(size));
    const int lineEnd = message.indexOf('\n');
    if (lineEnd < 0) {
        VN_LOG(2,
               vorn::utils::log::Tag(vorn::scopeOfFunction(typeid(TaskServerNewLogScope),
                                                           "vorn::vms::waypoint::TaskServerNew::processNewConnection")),
               "deserializeTask(): Cannot deserialize task name:\n%1", vorn::log_support::PeerText(message));
        return;
    }

    const QByteArray name(buffer, lineEnd);
    const auto found = m_channels.find(name);
    if (found == m_channels.end()) {
        VN_LOG(2, this, "Unknown channel \"%1\"", vorn::log_support::PeerText(name));
        socket->flush();
        return;
    }

    QByteArray response;
    const ResponseError result = found->handler(*found, QByteArray(buffer, static_cast<int>(size)), response);
    switch (result) {
    case ResponseError::noError: {
        if (response.isEmpty())
            response = QByteArrayLiteral("ok\n\n");
        unsigned written = 0;
        socket->write(response.constData(), static_cast<unsigned>(response.size()), &written);
        socket->flush();
        break;
    }
    case ResponseError::deserializationFailed:
        VN_LOG(2, this, "Failed to deserialize request \"%1\"", vorn::log_support::PeerText(name));
        break;
    default:
        VN_LOG(2, this, "Unknown error while processing request \"%1\"", vorn::log_support::PeerText(name));
        break;
    }
}

} // namespace vorn::vms::waypoint
