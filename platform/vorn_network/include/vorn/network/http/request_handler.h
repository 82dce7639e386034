// The request side of the HTTP server: what a request processor receives (RequestContext), what it answers
// (RequestResult), and the processor interface with its function-based implementation.
//
//     dispatcher.registerRequestProcessorFunc("POST", "/LAPI/V1.0/System/Event/Notification/Alarm", [] {
//         return std::make_unique<CustomRequestHandler>(
//             [](RequestContext request, RequestProcessedHandler done) {
//                 handle(request.body);
//                 done(RequestResult(StatusCode::ok));
//             });
//     });
//
// A processor runs on the server's I/O thread with the whole request (body included). It must call the
// completion exactly once, from any thread, at once or later; the answer goes out on the server's thread.
// A processor that drops the completion without calling it gets the answer 500.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <vorn/network/socket_address.h>
#include <vorn/utils/move_only_func.h>

namespace vorn::network::http {

struct RequestContext
{
    std::string method; //< "POST", as on the wire
    std::string target; //< path and query as sent, still encoded
    std::string path;   //< the URL path, fully decoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    SocketAddress peer;
};

struct RequestResult
{
    RequestResult(int statusCode = 200, std::string body = {}, std::string contentType = {})
        : statusCode(statusCode)
        , body(std::move(body))
        , contentType(std::move(contentType))
    {}

    int statusCode;
    std::string body;
    std::string contentType;
};

using RequestProcessedHandler = utils::MoveOnlyFunc<void(RequestResult)>;

class AbstractRequestHandler
{
public:
    virtual ~AbstractRequestHandler() = default;
    virtual void processRequest(RequestContext request, RequestProcessedHandler completionHandler) = 0;
};

class CustomRequestHandler : public AbstractRequestHandler
{
public:
    using Func = std::function<void(RequestContext, RequestProcessedHandler)>;

    explicit CustomRequestHandler(Func func)
        : m_func(std::move(func))
    {}

    void processRequest(RequestContext request, RequestProcessedHandler completionHandler) override
    {
        m_func(std::move(request), std::move(completionHandler));
    }

private:
    Func m_func;
};

} // namespace vorn::network::http
