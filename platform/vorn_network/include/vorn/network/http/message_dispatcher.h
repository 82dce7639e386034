// vorn::network::http::AbstractMessageDispatcher and MessageDispatcher: route a request to a processor by its
// method and its decoded URL path.
//
//     MessageDispatcher dispatcher;
//     dispatcher.registerRequestProcessorFunc("POST", "/LAPI/V1.0/System/Event/Notification/Alarm", factory);
//     dispatcher.registerRequestProcessorFunc("POST", "", catchAllFactory);   // every other POST
//     HttpStreamSocketServer server(&dispatcher);
//
// MessageDispatcher compares paths byte for byte (no prefixes, letter case counts); the empty path registers
// the method's default, used for paths that have no processor of their own. Each request gets a new
// processor from the factory. Registration is thread-safe and may happen while requests are dispatched on
// the server's thread; a factory is never called under the dispatcher's lock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <vorn/network/http/request_handler.h>

namespace vorn::network::http {

class AbstractMessageDispatcher
{
public:
    using Factory = std::function<std::unique_ptr<AbstractRequestHandler>()>;

    virtual ~AbstractMessageDispatcher() = default;

    // False, changing nothing, when (method, path) already has a processor or the factory is empty.
    bool registerRequestProcessorFunc(const std::string& method, const std::string& path, Factory factory);

    // Runs the processor for the request; false, without calling `completionHandler`, when there is none.
    bool dispatchRequest(RequestContext request, RequestProcessedHandler completionHandler);

protected:
    using Routes = std::map<std::pair<std::string, std::string>, Factory>;

    // Called under the dispatcher's lock: picks the factory for a request, or null.
    virtual const Factory* findFactory(const Routes& routes, const std::string& method,
                                       const std::string& path) const = 0;

private:
    std::mutex m_mutex; //< Guards m_routes.
    Routes m_routes;
};

class MessageDispatcher : public AbstractMessageDispatcher
{
protected:
    const Factory* findFactory(const Routes& routes, const std::string& method, const std::string& path) const override;
};

} // namespace vorn::network::http
