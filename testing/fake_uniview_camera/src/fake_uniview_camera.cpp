#include <fake_uniview_camera/fake_uniview_camera.h>

#include <ctime>

#include <boost/json.hpp>

namespace vorn::testing {

namespace {

constexpr int kSuccess = 0;
constexpr char kSucceed[] = "Succeed";

// The methods the camera's LAPI takes; the fake routes them all to its own dispatcher.
const char* const kMethods[] = {"GET", "POST", "PUT", "DELETE"};

FakeHttpServer::Reply jsonReply(std::string body)
{
    return FakeHttpServer::Reply::ok(std::move(body), "application/json");
}

} // namespace

FakeUniviewCamera::FakeUniviewCamera(FakeHttpServer::Transport transport)
    : m_http(transport)
{
    // The fake server routes exact paths, so a catch-all handler per canned path is installed when a reply
    // is set; the clock is the only path the camera answers on its own.
    for (const char* method : kMethods) {
        m_http.route(method, std::string(kLapiPrefix) + kSystemTimePath,
                     FakeHttpServer::Handler(
                         [this](const FakeHttpServer::RecordedRequest& request) { return answer(request); }));
    }
}

FakeUniviewCamera::~FakeUniviewCamera()
{
    m_http.stop();
}

std::string FakeUniviewCamera::url() const
{
    return m_http.url("/");
}

std::string FakeUniviewCamera::urlWithCredentials(std::string_view user, std::string_view password) const
{
    return "http://" + std::string(user) + ":" + std::string(password) + "@127.0.0.1:" + std::to_string(httpPort()) +
           "/";
}

std::string FakeUniviewCamera::envelope(std::string_view path, int code, std::string_view text,
                                        std::string_view dataJson)
{
    boost::json::object response;
    response["ResponseURL"] = std::string(kLapiPrefix) + std::string(path);
    response["CreatedID"] = -1;
    response["ResponseCode"] = code;
    response["SubResponseCode"] = 0;
    response["ResponseString"] = text;
    response["StatusCode"] = code;
    response["StatusString"] = text;
    if (!dataJson.empty())
        response["Data"] = boost::json::parse(dataJson);
    return boost::json::serialize(boost::json::object{{"Response", std::move(response)}});
}

void FakeUniviewCamera::setLapiData(const std::string& method, const std::string& path, std::string dataJson)
{
    setLapiReply(method, path, jsonReply(envelope(path, kSuccess, kSucceed, dataJson)));
}

void FakeUniviewCamera::setLapiError(const std::string& method, const std::string& path, int code, std::string text)
{
    setLapiReply(method, path, jsonReply(envelope(path, code, text, {})));
}

void FakeUniviewCamera::setLapiReply(const std::string& method, const std::string& path, FakeHttpServer::Reply reply)
{
    {
        const std::lock_guard lock(m_repliesMutex);
        m_replies.insert_or_assign({method, path}, std::move(reply));
    }
    m_http.route(
        method, std::string(kLapiPrefix) + path,
        FakeHttpServer::Handler([this](const FakeHttpServer::RecordedRequest& request) { return answer(request); }));
}

void FakeUniviewCamera::clearLapiReply(const std::string& method, const std::string& path)
{
    const std::lock_guard lock(m_repliesMutex);
    m_replies.erase({method, path});
}

void FakeUniviewCamera::requireAuth(FakeHttpServer::AuthScheme scheme, std::string user, std::string password)
{
    m_http.requireAuth(scheme, std::move(user), std::move(password));
}

void FakeUniviewCamera::refuseConnections()
{
    m_http.stopListening();
}

std::vector<FakeHttpServer::RecordedRequest> FakeUniviewCamera::requests() const
{
    return m_http.requests();
}

bool FakeUniviewCamera::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    return m_http.waitForRequests(count, timeout);
}

FakeHttpServer::Reply FakeUniviewCamera::answer(const FakeHttpServer::RecordedRequest& request)
{
    const std::string path = request.path.substr(std::string_view(kLapiPrefix).size());
    {
        const std::lock_guard lock(m_repliesMutex);
        if (const auto it = m_replies.find({request.method, path}); it != m_replies.end())
            return it->second;
    }
    if (request.method == "GET" && path == kSystemTimePath) {
        const boost::json::object clock{{"TimeZone", 0}, {"DeviceTime", static_cast<std::int64_t>(std::time(nullptr))}};
        return jsonReply(envelope(path, kSuccess, kSucceed, boost::json::serialize(clock)));
    }
    return FakeHttpServer::Reply::withStatus(404, envelope(path, 404, "Not Found", {}), "application/json");
}

} // namespace vorn::testing
