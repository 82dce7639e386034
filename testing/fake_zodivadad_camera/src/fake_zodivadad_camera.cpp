#include <fake_zodivadad_camera/fake_zodivadad_camera.h>

namespace vorn::testing {

namespace {

constexpr std::string_view kActionKey = "action";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%XX" escapes only; a "+" is a plus sign, as the camera's CGI library reads it.
std::string percentDecoded(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            result.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
            continue;
        }
        result.push_back(text[i]);
    }
    return result;
}

std::optional<std::string> actionOf(const std::vector<std::pair<std::string, std::string>>& items)
{
    for (const auto& [key, value] : items) {
        if (key == kActionKey)
            return value;
    }
    return std::nullopt;
}

FakeHttpServer::Reply unknownAction()
{
    return FakeHttpServer::Reply::withStatus(400, "var error='unknown action';\n");
}

} // namespace

FakeZodivadadCamera::FakeZodivadadCamera()
    : m_systemInformation{
          {"system_firmware", "2.4.1"},
          {"system_model", "ZV-IPC5000"},
          {kLprSupportKey, "0"},
      }
{
    m_http.route("GET", kAdminCgiPath, FakeHttpServer::Handler([this](const FakeHttpServer::RecordedRequest& request) {
                     return answerAdmin(request);
                 }));
    m_http.route("GET", kOperatorCgiPath,
                 FakeHttpServer::Handler(
                     [this](const FakeHttpServer::RecordedRequest& request) { return answerOperator(request); }));
}

FakeZodivadadCamera::~FakeZodivadadCamera()
{
    m_http.stop();
}

std::string FakeZodivadadCamera::url() const
{
    return m_http.url("/");
}

std::string FakeZodivadadCamera::urlWithCredentials(std::string_view user, std::string_view password) const
{
    return "http://" + std::string(user) + ":" + std::string(password) + "@127.0.0.1:" + std::to_string(httpPort()) +
           "/";
}

void FakeZodivadadCamera::setSystemInformation(Settings settings)
{
    const std::lock_guard lock(m_settingsMutex);
    m_systemInformation = std::move(settings);
}

FakeZodivadadCamera::Settings FakeZodivadadCamera::systemInformation() const
{
    const std::lock_guard lock(m_settingsMutex);
    return m_systemInformation;
}

void FakeZodivadadCamera::setLprSupport(bool supported)
{
    const std::lock_guard lock(m_settingsMutex);
    m_systemInformation[kLprSupportKey] = std::string(supported ? "1" : "0");
}

void FakeZodivadadCamera::setLprSettings(Settings settings)
{
    const std::lock_guard lock(m_settingsMutex);
    m_lprSettings = std::move(settings);
}

FakeZodivadadCamera::Settings FakeZodivadadCamera::lprSettings() const
{
    const std::lock_guard lock(m_settingsMutex);
    return m_lprSettings;
}

void FakeZodivadadCamera::setCgiReply(std::optional<FakeHttpServer::Reply> reply)
{
    const std::lock_guard lock(m_settingsMutex);
    m_cgiReply = std::move(reply);
}

void FakeZodivadadCamera::requireAuth(FakeHttpServer::AuthScheme scheme, std::string user, std::string password)
{
    m_http.requireAuth(scheme, std::move(user), std::move(password));
}

void FakeZodivadadCamera::refuseConnections()
{
    m_http.stopListening();
}

std::vector<FakeHttpServer::RecordedRequest> FakeZodivadadCamera::cgiRequests() const
{
    return m_http.requests();
}

bool FakeZodivadadCamera::waitForCgiRequests(std::size_t count) const
{
    return m_http.waitForRequests(count);
}

std::string FakeZodivadadCamera::settingsReply(const Settings& settings)
{
    std::string body;
    for (const auto& [name, value] : settings)
        body += "var " + name + "='" + value + "';\n";
    return body;
}

std::vector<std::pair<std::string, std::string>> FakeZodivadadCamera::queryItems(std::string_view query)
{
    std::vector<std::pair<std::string, std::string>> items;
    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view item = query.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            items.emplace_back(percentDecoded(item), std::string());
        else
            items.emplace_back(percentDecoded(item.substr(0, equals)), percentDecoded(item.substr(equals + 1)));
        start = end + 1;
    }
    return items;
}

FakeHttpServer::Reply FakeZodivadadCamera::answerAdmin(const FakeHttpServer::RecordedRequest& request)
{
    const std::lock_guard lock(m_settingsMutex);
    if (m_cgiReply)
        return *m_cgiReply;
    if (actionOf(queryItems(request.query)) == "get.system.information")
        return FakeHttpServer::Reply::ok(settingsReply(m_systemInformation));
    return unknownAction();
}

FakeHttpServer::Reply FakeZodivadadCamera::answerOperator(const FakeHttpServer::RecordedRequest& request)
{
    const std::lock_guard lock(m_settingsMutex);
    if (m_cgiReply)
        return *m_cgiReply;
    const auto items = queryItems(request.query);
    const std::optional<std::string> action = actionOf(items);
    if (action == "get.lpr.settings")
        return FakeHttpServer::Reply::ok(settingsReply(m_lprSettings));
    if (action == "set.lpr.settings") {
        for (const auto& [key, value] : items) {
            if (key != kActionKey)
                m_lprSettings[key] = value;
        }
        return FakeHttpServer::Reply::ok("OK\n");
    }
    return unknownAction();
}

} // namespace vorn::testing
