#include <vorn/network/http/message_dispatcher.h>

namespace vorn::network::http {

bool AbstractMessageDispatcher::registerRequestProcessorFunc(const std::string& method, const std::string& path,
                                                             Factory factory)
{
    if (!factory)
        return false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_routes.emplace(std::make_pair(method, path), std::move(factory)).second;
}

bool AbstractMessageDispatcher::dispatchRequest(RequestContext request, RequestProcessedHandler completionHandler)
{
    Factory factory;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Factory* found = findFactory(m_routes, request.method, request.path);
        if (!found)
            return false;
        factory = *found;
    }
    std::unique_ptr<AbstractRequestHandler> handler = factory();
    if (!handler)
        return false;
    handler->processRequest(std::move(request), std::move(completionHandler));
    return true;
}

const AbstractMessageDispatcher::Factory*
MessageDispatcher::findFactory(const Routes& routes, const std::string& method, const std::string& path) const
{
    auto it = routes.find({method, path});
    if (it == routes.end())
        it = routes.find({method, std::string()});
    return it == routes.end() ? nullptr : &it->second;
}

} // namespace vorn::network::http
