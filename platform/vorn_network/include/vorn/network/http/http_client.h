// vorn::network::http::HttpClient: a synchronous HTTP/1.1 client for camera requests made from a thread that
// may block (the server's threads asking a camera before they answer).
//
//     HttpClient client(ssl::kAcceptAnyCertificate);
//     client.setCredentials(PasswordCredentials(login, password));
//     if (!client.doGet(url))                                   // false: no response at all
//         return fail(client.lastSysErrorCode());
//     if (!StatusCode::isSuccessCode(client.statusCode()))      // a response, but not a good one
//         return fail(StatusCode::toString(client.statusCode()));
//     const std::optional<QByteArray> body = client.fetchEntireMessageBody();
//     if (!body)                                                // cut off, too large, or too slow
//         return fail(client.lastSysErrorCode());
//
// doGet() and doPost() return once the response header has arrived; the body is read by
// fetchEntireMessageBody(), at most kMaxMessageBodySize bytes of it. Every request goes out without
// credentials first; a 401 reply is answered once, with Basic or Digest as the challenge and the
// authentication type allow, and the second reply is the response whatever its status. Without credentials
// set, the user name and password of the URL are used.
//
// Each request opens its own connection ("http" or "https"; TLS follows the certificate check given at
// construction) and every phase has a finite time-out (Timeouts), so a silent peer costs at most that long.
// The time-outs run on the ScaledClock, as those of AsyncClient do. A host name is resolved by the system
// resolver, whose own time limits apply to that step.
//
// One thread at a time: the client holds no lock and must not be used by two threads at once. It may be used
// for any number of requests in a row; each request replaces the previous response. A client may be moved
// (to be made by a function); the moved-from client may only be destroyed or assigned to.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QtCore/QByteArray>

#include <vorn/network/http/auth_type.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/http/response.h>
#include <vorn/network/http/timeouts.h>
#include <vorn/network/ssl/certificate_check.h>
#include <vorn/utils/system_error.h>
#include <vorn/utils/url.h>

namespace vorn::network::http {

class HttpClient
{
public:
    // Largest message body fetchEntireMessageBody() accepts: camera replies (settings, XML catalogues, JSON
    // documents) stay far below it, and a peer cannot make the client hold more than this in memory.
    static constexpr std::size_t kMaxMessageBodySize = 16 * 1024 * 1024;
    // Largest response header: bounds what a peer can make the client buffer before the body.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;

    explicit HttpClient(ssl::CertificateCheck certificateCheck);
    ~HttpClient();

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    HttpClient(HttpClient&&) noexcept;
    HttpClient& operator=(HttpClient&&) noexcept;

    void setCredentials(const Credentials& credentials);
    void setAuthType(AuthType authType);
    // A header field sent with every later request, as AsyncClient's: it replaces a field of that name that
    // the client sets itself before the body's fields (e.g. "Connection: close", which tells the peer that
    // the connection ends with the response).
    void addAdditionalHeader(std::string name, std::string value);

    const Timeouts& timeouts() const;
    void setTimeouts(const Timeouts& timeouts);
    void setSendTimeout(std::chrono::milliseconds timeout);
    void setResponseReadTimeout(std::chrono::milliseconds timeout);
    void setMessageBodyReadTimeout(std::chrono::milliseconds timeout);

    // Sends the request and reads the response header. True when a response arrived (any status, 401
    // included); false when none did, with the reason in lastSysErrorCode().
    bool doGet(const utils::Url& url);
    bool doPost(const utils::Url& url, const std::string& contentType, std::string_view body);
    bool doPost(const utils::Url& url, const std::string& contentType, const QByteArray& body);
    bool doPost(const utils::Url& url, const std::string& contentType, const char* body);

    // The response of the last request, or null when it got none.
    const Response* response() const;
    // The status code of the last response, or 0 when there is none.
    int statusCode() const;

    // The whole body of the last response (empty for a response without one). None when there is no
    // response, or the body could not be read completely: the peer closed early, it exceeds
    // kMaxMessageBodySize, or it did not arrive in time. A second call gives the same answer.
    std::optional<QByteArray> fetchEntireMessageBody();

    // The system error code of the last failure of doGet(), doPost() or fetchEntireMessageBody(), 0 after
    // success. Failures that are not system calls map to the nearest code: ETIMEDOUT for a time-out,
    // ECONNRESET for a peer that closed mid-message, EMSGSIZE for a body or header over its limit, EPROTO for
    // malformed HTTP and TLS failures (an untrusted certificate included), EHOSTUNREACH for a host name that
    // does not resolve, EINVAL for a URL without a host, EPROTONOSUPPORT for a scheme other than http(s).
    SystemError::ErrorCode lastSysErrorCode() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace vorn::network::http
