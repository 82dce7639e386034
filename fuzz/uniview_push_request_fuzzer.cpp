// A request to hornbeam's push receiver as the HTTP server reads it and the receiver takes it: the raw
// request parsed under the server's limits, routed by its decoded path to an exact route or the
// catch-all, and its body cleaned of control characters.
//
// Input: the request's bytes as they arrive on the connection.
//
// Beyond "no crash": cleaning keeps the body's length and leaves no control character but tab, line feed
// and carriage return; a request goes to exactly one route.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <QtCore/QByteArray>
#include <QtCore/QUrl>

#include <vorn/network/http/http_stream_socket_server.h>
#include <vorn/network/http/message_dispatcher.h>
#include <vorn/vms_server_plugins/analytics/uniview/subscription.h>

#include "fuzz_support.h"

namespace http = vorn::network::http;
namespace bhttp = boost::beast::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    bhttp::request_parser<bhttp::string_body> parser;
    parser.header_limit(static_cast<std::uint32_t>(http::HttpStreamSocketServer::kMaxHeaderSize));
    parser.body_limit(static_cast<std::uint64_t>(http::HttpStreamSocketServer::kMaxRequestBodySize));
    parser.eager(true);
    boost::system::error_code error;
    parser.put(boost::asio::buffer(data, size), error);
    if (error || !parser.is_done())
        return 0;
    bhttp::request<bhttp::string_body> message = parser.release();

    static http::MessageDispatcher dispatcher;
    static int routed = 0;
    static const bool registered = [] {
        for (const char* path :
             {"/LAPI/V1.0/System/Event/Notification/Alarm", "/LAPI/V1.0/System/Event/Notification/Structure", ""}) {
            dispatcher.registerRequestProcessorFunc("POST", path, [] {
                return std::make_unique<http::CustomRequestHandler>([](http::RequestContext request,
                                                                       http::RequestProcessedHandler done) {
                    ++routed;
                    const std::size_t length = request.body.size();
                    vorn::vms_server_plugins::analytics::uniview::Subscription::cleanControlCharacters(&request.body);
                    if (request.body.size() != length)
                        std::abort();
                    for (const char c : request.body) {
                        const auto byte = static_cast<unsigned char>(c);
                        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
                            std::abort();
                    }
                    done(http::RequestResult(200));
                });
            });
        }
        return true;
    }();
    (void)registered;

    http::RequestContext request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(request.target.substr(0, request.target.find('?'))));
    request.path = url.path(QUrl::FullyDecoded).toStdString();
    request.body = std::move(message.body());
    const int before = routed;
    const bool dispatched = dispatcher.dispatchRequest(std::move(request), [](http::RequestResult) {});
    if (dispatched != (routed == before + 1))
        std::abort();
    return 0;
}
