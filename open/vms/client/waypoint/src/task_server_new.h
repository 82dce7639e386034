// vorn::vms::waypoint::TaskServerNew: the launcher's request server on its named pipe.
//
// One thread accepts one connection at a time, reads one request (the channel name, a line feed, the
// request body), hands it to the handler subscribed for the channel and writes the handler's reply
// (or "ok\n\n" for an empty one); then it closes the connection. A request it cannot read, for an
// unknown channel or with a body that does not deserialise, gets no reply bytes at all.
//
// Rules:
// - Channels are subscribed before listen() and never changed afterwards: the table has no lock
//   because only the server thread reads it once it runs.
// - Every handler runs on the server thread, one request after the other; a long one holds the rest.
// - pleaseStop() only asks (from any thread, the server's own included); the thread ends within one
//   accept period (1 s) or the request that runs. The destructor stops and waits for the thread.
// - listen() refuses when another launcher instance runs, or when the pipe is served already (the
//   socket file of a running server is never taken over; a stale one is), or when the socket file or
//   its lock file belongs to another user (logged as an error).
//
//     TaskServerNew server;
//     server.subscribe("pingWaypoint",
//         [](const api::PingRequest& request, api::PingResponse& response) { response.value1 = ...; });
//     server.subscribeSimple("quit", [&] { server.pleaseStop(); return true; });
//     if (!server.listen(api::launcherPipeName())) ...
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <type_traits>

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QString>

#include <vorn/log_support/assert.h>
#include <vorn/utils/named_pipe/named_pipe_server.h>
#include <vorn/utils/thread/long_runnable.h>
#include <vorn/utils/thread/stoppable.h>

namespace vorn::vms::waypoint {

namespace detail {

// The request and response types of a handler callable as handler(const Request&, Response&).
template <typename T>
struct HandlerTraits : HandlerTraits<decltype(&T::operator())>
{
};

template <typename Class, typename Result, typename Request, typename Response>
struct HandlerTraits<Result (Class::*)(const Request&, Response&) const>
{
    using RequestType = Request;
    using ResponseType = Response;
};

template <typename Class, typename Result, typename Request, typename Response>
struct HandlerTraits<Result (Class::*)(const Request&, Response&)>
    : HandlerTraits<Result (Class::*)(const Request&, Response&) const>
{
};

template <typename Result, typename Request, typename Response>
struct HandlerTraits<Result (*)(const Request&, Response&)>
{
    using RequestType = Request;
    using ResponseType = Response;
};

} // namespace detail

class TaskServerNew : public VnLongRunnable, public VnStoppable, public Vn::EnableSafeDirectConnection
{
public:
    enum class ResponseError : int {
        noError = 0,
        deserializationFailed = 2,
        // Every other value is an unknown error.
    };

    struct Channel
    {
        QByteArray name;
        std::function<ResponseError(Channel& channel, const QByteArray& request, QByteArray& response)> handler;
        // Whether a JSON object follows the channel line (false for subscribeSimple channels).
        bool takesBody = true;
    };

    // Bounds what one client can make the server hold; every request of the launcher fits easily.
    static constexpr unsigned kMaxRequestSize = 4096;
    // How long a client may take to deliver its whole request before what came is processed.
    static constexpr std::chrono::milliseconds kDefaultRequestTimeout{3000};
    // How long one accept waits before the loop looks at the stop flag again.
    static constexpr int kAcceptTimeoutMs = 1000;
    // The pause after an accept error, so a broken pipe does not spin.
    static constexpr int kAcceptErrorPauseMs = 1000;

    TaskServerNew();
    ~TaskServerNew() override;

    bool listen(const QString& pipeName);

    template <typename Handler>
    bool subscribe(const QByteArray& name, Handler handler);
    bool subscribeSimple(const QByteArray& name, std::function<bool()> callback);

    void pleaseStop() override;

    // Tests shorten the request deadline; set it before listen().
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_requestTimeout = timeout; }

    // The pipe served, empty until a listen succeeded.
    QString pipeName() const { return m_pipeName; }

protected:
    void run() override;

private:
    bool addChannel(const QByteArray& name, bool hasHandler, Channel channel);
    void processNewConnection(vorn::utils::NamedPipeSocket* socket);
    bool channelTakesBody(std::string_view name) const;

    vorn::utils::NamedPipeServer m_pipeServer;
    QString m_pipeName;
    // Set by pleaseStop() on any thread, read by the server thread before each accept; cleared by
    // listen() before the thread starts again.
    std::atomic<bool> m_stopRequested{false};
    QHash<QByteArray, Channel> m_channels;
    std::chrono::milliseconds m_requestTimeout = kDefaultRequestTimeout;
};

template <typename Handler>
bool TaskServerNew::subscribe(const QByteArray& name, Handler handler)
{
    using Traits = detail::HandlerTraits<std::decay_t<Handler>>;
    using Request = std::decay_t<typename Traits::RequestType>;
    using Response = std::decay_t<typename Traits::ResponseType>;

    // Only what can be empty is checked: a function pointer, or a std::function (whose bool conversion
    // is explicit); a lambda always holds code.
    bool hasHandler = true;
    if constexpr (std::is_pointer_v<Handler>)
        hasHandler = handler != nullptr;
    else if constexpr (!std::is_convertible_v<const Handler&, bool> && std::is_constructible_v<bool, const Handler&>)
        hasHandler = static_cast<bool>(handler);

    Channel channel;
    channel.handler = [handler = std::move(handler)](Channel& /*channel*/, const QByteArray& message,
                                                     QByteArray& responseBytes) mutable {
        Request request;
        Response response;
        if (!request.deserialize(message))
            return ResponseError::deserializationFailed;
        handler(request, response);
        responseBytes = response.serialize();
        return ResponseError::noError;
    };
    return addChannel(name, hasHandler, std::move(channel));
}

} // namespace vorn::vms::waypoint
