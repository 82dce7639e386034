#include <fake_axis_camera/fake_axis_camera.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <utility>

namespace vorn::testing {

namespace {

constexpr std::string_view kGetEventInstancesAction =
    "action=\"http://www.axis.com/vapix/ws/event1/GetEventInstances\"";

// The value of one query item, as sent (the camera's CGI reads plain digits here).
std::optional<std::string> queryValue(const std::string& query, std::string_view key)
{
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view item = std::string_view(query).substr(start, end - start);
        if (item.starts_with(key) && item.size() > key.size() && item[key.size()] == '=')
            return std::string(item.substr(key.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

FakeHttpServer::Reply soapFault(const std::string& reason)
{
    return FakeHttpServer::Reply::withStatus(
        500,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<SOAP-ENV:Body><SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value>"
        "</SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">" +
            reason + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>\n",
        "application/soap+xml; charset=utf-8");
}

} // namespace

FakeAxisCamera::FakeAxisCamera()
{
    for (const char* path : {kImageSizePath, kEventServicePath, kPlateSearchPath}) {
        const std::string method = path == std::string_view(kEventServicePath) ? "POST" : "GET";
        m_http.route(
            method, path,
            FakeHttpServer::Handler([this, path = std::string(path)](const FakeHttpServer::RecordedRequest& request) {
                return answer(path, request);
            }));
    }
}

FakeAxisCamera::~FakeAxisCamera()
{
    m_http.stop();
}

std::string FakeAxisCamera::url() const
{
    return m_http.url("/");
}

void FakeAxisCamera::setImageSize(int width, int height)
{
    const std::lock_guard lock(m_mutex);
    m_width = width;
    m_height = height;
}

void FakeAxisCamera::setImageSizeBody(std::optional<std::string> body)
{
    const std::lock_guard lock(m_mutex);
    m_imageSizeBody = std::move(body);
}

void FakeAxisCamera::setTopicSet(std::string topicSetXml)
{
    const std::lock_guard lock(m_mutex);
    m_topicSet = std::move(topicSetXml);
}

void FakeAxisCamera::setCatalogueBody(std::optional<std::string> body)
{
    const std::lock_guard lock(m_mutex);
    m_catalogueBody = std::move(body);
}

void FakeAxisCamera::addPlateRecord(PlateRecord record)
{
    const std::lock_guard lock(m_mutex);
    m_plateRecords.push_back(std::move(record));
}

void FakeAxisCamera::setReply(const std::string& path, std::optional<FakeHttpServer::Reply> reply)
{
    const std::lock_guard lock(m_mutex);
    if (reply)
        m_replies[path] = std::move(*reply);
    else
        m_replies.erase(path);
}

void FakeAxisCamera::setReplyDelay(const std::string& path, std::chrono::milliseconds delay)
{
    const std::lock_guard lock(m_mutex);
    if (delay > std::chrono::milliseconds::zero())
        m_replyDelays[path] = delay;
    else
        m_replyDelays.erase(path);
}

void FakeAxisCamera::setRequestAction(const std::string& path, std::function<void()> action)
{
    const std::lock_guard lock(m_mutex);
    if (action)
        m_requestActions[path] = std::move(action);
    else
        m_requestActions.erase(path);
}

void FakeAxisCamera::requireAuth(FakeHttpServer::AuthScheme scheme, std::string user, std::string password)
{
    m_http.requireAuth(scheme, std::move(user), std::move(password));
}

std::vector<FakeHttpServer::RecordedRequest> FakeAxisCamera::requests() const
{
    return m_http.requests();
}

std::vector<FakeHttpServer::RecordedRequest> FakeAxisCamera::requestsTo(std::string_view path) const
{
    std::vector<FakeHttpServer::RecordedRequest> result;
    for (auto& request : m_http.requests()) {
        if (request.path == path)
            result.push_back(std::move(request));
    }
    return result;
}

std::string FakeAxisCamera::catalogueReply(const std::string& topicSetXml)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wstop=\"http://docs.oasis-open.org/wsn/t-1\" "
           "xmlns:aev=\"http://www.axis.com/vapix/ws/event1\" "
           "xmlns:tns1=\"http://www.onvif.org/ver10/topics\" "
           "xmlns:tnsaxis=\"http://www.axis.com/2009/event/topics\">\n"
           "<SOAP-ENV:Body>\n"
           "<aev:GetEventInstancesResponse>\n"
           "<wstop:TopicSet>\n" +
           topicSetXml +
           "</wstop:TopicSet>\n"
           "</aev:GetEventInstancesResponse>\n"
           "</SOAP-ENV:Body>\n"
           "</SOAP-ENV:Envelope>\n";
}

std::string FakeAxisCamera::dataFilePath(const std::string& name)
{
    return std::string(FAKE_AXIS_CAMERA_DATA_DIR) + "/" + name;
}

std::string FakeAxisCamera::readDataFile(const std::string& name)
{
    std::ifstream file(dataFilePath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

FakeHttpServer::Reply FakeAxisCamera::answer(const std::string& path, const FakeHttpServer::RecordedRequest& request)
{
    std::function<void()> action;
    {
        const std::lock_guard lock(m_mutex);
        if (const auto it = m_requestActions.find(path); it != m_requestActions.end())
            action = it->second;
    }
    if (action)
        action(); // outside the lock: it may call the camera
    FakeHttpServer::Reply reply = answerAtOnce(path, request);
    const std::lock_guard lock(m_mutex);
    if (const auto it = m_replyDelays.find(path); it != m_replyDelays.end())
        reply.delay = it->second;
    return reply;
}

FakeHttpServer::Reply FakeAxisCamera::answerAtOnce(const std::string& path,
                                                   const FakeHttpServer::RecordedRequest& request)
{
    {
        const std::lock_guard lock(m_mutex);
        if (const auto it = m_replies.find(path); it != m_replies.end())
            return it->second;
    }
    if (path == kImageSizePath)
        return answerImageSize();
    if (path == kEventServicePath)
        return answerEventService(request);
    return answerPlateSearch(request);
}

FakeHttpServer::Reply FakeAxisCamera::answerImageSize() const
{
    const std::lock_guard lock(m_mutex);
    if (m_imageSizeBody)
        return FakeHttpServer::Reply::ok(*m_imageSizeBody);
    return FakeHttpServer::Reply::ok("image width = " + std::to_string(m_width) +
                                     "\r\nimage height = " + std::to_string(m_height) + "\r\n");
}

FakeHttpServer::Reply FakeAxisCamera::answerEventService(const FakeHttpServer::RecordedRequest& request) const
{
    // The camera dispatches on the SOAP action and the body's operation; anything else is a fault.
    if (request.header("Content-Type").value_or("").find(kGetEventInstancesAction) == std::string::npos)
        return soapFault("Unknown SOAP action");
    if (request.body.find("<GetEventInstances xmlns=\"http://www.axis.com/vapix/ws/event1\"/>") == std::string::npos)
        return soapFault("Unknown operation");
    const std::lock_guard lock(m_mutex);
    return FakeHttpServer::Reply::ok(m_catalogueBody ? *m_catalogueBody : catalogueReply(m_topicSet),
                                     "application/soap+xml; charset=utf-8");
}

FakeHttpServer::Reply FakeAxisCamera::answerPlateSearch(const FakeHttpServer::RecordedRequest& request) const
{
    const std::optional<std::string> from = queryValue(request.query, "timestampFrom");
    std::int64_t timestampFrom = 0;
    if (!from || std::from_chars(from->data(), from->data() + from->size(), timestampFrom).ec != std::errc())
        return FakeHttpServer::Reply::withStatus(400, "<error>timestampFrom missing</error>\n", "text/xml");

    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<events>\n";
    const std::lock_guard lock(m_mutex);
    for (const PlateRecord& record : m_plateRecords) {
        if (record.timestamp < timestampFrom)
            continue;
        body += "  <event>\n    <CAR_ID>" + std::to_string(record.carId) + "</CAR_ID>\n    <TIMESTAMP>" +
                std::to_string(record.timestamp) + "</TIMESTAMP>\n    <LP_BMP>" + record.imagePath +
                "</LP_BMP>\n  </event>\n";
    }
    body += "</events>\n";
    return FakeHttpServer::Reply::ok(body, "text/xml");
}

} // namespace vorn::testing
