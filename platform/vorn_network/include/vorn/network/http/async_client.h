// vorn::network::http::AsyncClient: an asynchronous HTTP/1.1 client on an I/O thread, for camera requests
// that must not block the thread that starts them.
//
//     m_client = std::make_unique<AsyncClient>();
//     m_client->bindToAioThread(m_timer.getAioThread());        // completions on the timer's thread
//     m_client->setCredentials(PasswordCredentials(login, password));
//     m_client->doPost(url, BufferSource("application/json", body), [this] {
//         if (!m_client->hasRequestSucceeded())                  // no response, or not 2xx
//             return fail(m_client->lastSysErrorCode());
//         onReply(m_client->fetchMessageBodyBuffer());
//     });
//     ...
//     m_client->pleaseStopSync();                                // no completion runs after this
//
// Rules of use (see also BasicPollable):
// - Every started request ends in exactly one call of its completion, on the client's thread and never
//   inside the call that started it, unless pleaseStopSync() (or the destructor) comes first: that destroys
//   the pending completion without calling it. pleaseStopSync() may be called from the completion itself.
// - One request at a time: starting another while one is in flight ends the first at once (its connection
//   closes), and its completion runs with ECANCELED next on the client's thread, before anything of the new
//   request. A request that this completion starts (a retry) ends the new one in the same way: the one
//   started last goes on, and every completion still runs exactly once.
// - The state read in a completion (URL, response, body, error) is that of its own request. It belongs to
//   the client's thread: read it there, or after pleaseStopSync() has returned (then it is that of the
//   request started last). Settings are taken when a request starts.
// - A request is "succeeded" when a response with a 2xx status arrived and its whole body was read. The body
//   is read whatever the status, at most kMaxMessageBodySize bytes of it.
// - A 401 is answered once, with Basic or Digest as the challenge and the authentication type allow.
// - Each request opens its own connection; the three time-outs of Timeouts bound its phases and run on the
//   ScaledClock. Plain "http" only: an "https" URL fails with EPROTONOSUPPORT (camera event requests go
//   over plain HTTP), so there is no certificate to check.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <vorn/network/aio/basic_pollable.h>
#include <vorn/network/http/auth_type.h>
#include <vorn/network/http/buffer_source.h>
#include <vorn/network/http/credentials.h>
#include <vorn/network/http/response.h>
#include <vorn/network/http/timeouts.h>
#include <vorn/utils/move_only_func.h>
#include <vorn/utils/system_error.h>
#include <vorn/utils/url.h>

namespace vorn::network::http {

class AsyncClient : public aio::BasicPollable
{
public:
    using CompletionHandler = utils::MoveOnlyFunc<void()>;

    // Largest response body read: camera replies stay far below it, and a peer cannot make the client hold
    // more than this in memory.
    static constexpr std::size_t kMaxMessageBodySize = 16 * 1024 * 1024;
    // Largest response header: bounds what a peer can make the client buffer before the body.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;

    explicit AsyncClient(aio::AbstractAioThread* thread = nullptr);
    ~AsyncClient() override;

    void setCredentials(const Credentials& credentials);
    void setAuthType(AuthType authType);
    void setTimeouts(const Timeouts& timeouts);
    Timeouts timeouts() const;
    // Sent with every later request.
    void addAdditionalHeader(std::string name, std::string value);

    // From any thread.
    void doGet(const utils::Url& url, CompletionHandler completion);
    void doPost(const utils::Url& url, BufferSource body, CompletionHandler completion);
    void doPut(const utils::Url& url, BufferSource body, CompletionHandler completion);
    void doDelete(const utils::Url& url, CompletionHandler completion);

    // The outcome of the last request; see the class comment for the thread to read them on.
    bool hasRequestSucceeded() const;
    // The response of the last request, or null when none arrived.
    const Response* response() const;
    // The body of the last response (empty when it could not be read completely).
    const std::string& fetchMessageBodyBuffer() const;
    // 0 after success; the nearest system error code otherwise (see HttpClient::lastSysErrorCode), also
    // for a response whose body could not be read. A non-2xx response with its body read leaves it 0.
    SystemError::ErrorCode lastSysErrorCode() const;
    const utils::Url& url() const;

protected:
    void stopWhileInAioThread() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vorn::network::http
