// Requests to hornbeam's push receiver as the HTTP server reads them and the receiver takes them: the bytes
// of one connection read by the server's own RequestReader, in pieces as reads deliver them, counted in a
// pool of held bytes; each request it completes routed by its decoded path to an exact route or the
// catch-all, and its body cleaned of control characters.
//
// Input: choices, then the bytes as they arrive on the connection.
// - Byte 0, bit 0: the pool's bound is the next two bytes (little-endian), small enough for the reader to
//   reach it; clear: the server's bound.
// - The next byte: the number of piece sizes (its low 3 bits), then that many bytes, each a piece's size
//   less one. The pieces take these sizes in turn; with none, the bytes come in one piece.
// - The rest: the connection's bytes, requests one after the other.
//
// Beyond "no crash": what the pool counts never exceeds its bound and is what the reader holds, and it is
// back to 0 once the reader is gone; a request the reader completes has the method, target and body that
// Beast's plain string_body parser makes of the same bytes; cleaning keeps the body's length and leaves no
// control character but tab, line feed and carriage return; a request goes to exactly one route.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <vorn/network/http/http_stream_socket_server.h>
#include <vorn/network/http/message_dispatcher.h>
#include <vorn/vms_server_plugins/analytics/uniview/subscription.h>

#include "fuzz_support.h"
#include "http/request_reader.h"

namespace http = vorn::network::http;
namespace bhttp = boost::beast::http;
using Status = http::detail::RequestReader::Status;

namespace {

http::MessageDispatcher& dispatcher()
{
    static http::MessageDispatcher routes;
    return routes;
}

int routed = 0;

void registerRoutes()
{
    static const bool registered = [] {
        for (const char* path :
             {"/LAPI/V1.0/System/Event/Notification/Alarm", "/LAPI/V1.0/System/Event/Notification/Structure", ""}) {
            dispatcher().registerRequestProcessorFunc("POST", path, [] {
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
}

void checkCount(const http::detail::HeldBytes& pool, const http::detail::RequestReader& reader)
{
    if (pool.total > pool.bound || pool.total != reader.heldBytes() || pool.published.load() != pool.total)
        std::abort();
}

// Reads the request at the front of `bytes` with Beast's string_body parser under the server's limits, as
// the reader's twin: the reader completed it, so it must be complete and the same. How many bytes it took.
std::size_t checkAgainstBeast(std::string_view bytes, const http::RequestContext& request)
{
    bhttp::request_parser<bhttp::string_body> parser;
    parser.header_limit(static_cast<std::uint32_t>(http::HttpStreamSocketServer::kMaxHeaderSize));
    parser.body_limit(static_cast<std::uint64_t>(http::HttpStreamSocketServer::kMaxRequestBodySize));
    parser.eager(true);
    std::size_t used = 0;
    boost::system::error_code error;
    while (!parser.is_done()) {
        const std::size_t size = parser.put(boost::asio::buffer(bytes.data() + used, bytes.size() - used), error);
        used += size;
        if (error == bhttp::error::need_more)
            error = {};
        if (error || size == 0)
            break;
    }
    if (error || !parser.is_done())
        std::abort();
    const auto& message = parser.get();
    if (message.method_string() != request.method || message.target() != request.target ||
        message.body() != request.body) {
        std::abort();
    }
    return used;
}

void route(http::RequestContext request)
{
    registerRoutes();
    const int before = routed;
    const bool dispatched = dispatcher().dispatchRequest(std::move(request), [](http::RequestResult) {});
    if (dispatched != (routed == before + 1))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vorn::fuzz::prepare(false);
    vorn::fuzz::FuzzInput input(data, size);
    const std::size_t bound =
        input.takeBool() ? input.takeUint16() : http::HttpStreamSocketServer::kMaxHeldRequestBytes;
    std::vector<std::size_t> pieces(input.takeByte() & 7);
    for (std::size_t& piece : pieces)
        piece = input.takeByte() + std::size_t(1);
    const std::string_view bytes = input.rest();

    http::detail::HeldBytes pool(bound);
    {
        http::detail::RequestReader reader(&pool);
        std::string_view unread = bytes; // what the connection has not delivered yet
        std::size_t parsed = 0;          // where the next request starts, by Beast's reading
        std::size_t nextPiece = 0;
        Status status = reader.start();
        checkCount(pool, reader);
        for (;;) {
            if (status == Status::done) {
                bool keepAlive = false;
                http::RequestContext request = reader.takeRequest(&keepAlive);
                checkCount(pool, reader);
                parsed += checkAgainstBeast(bytes.substr(parsed), request);
                route(std::move(request));
                status = reader.start();
                checkCount(pool, reader);
                continue;
            }
            if (status != Status::needMore || unread.empty())
                break;
            std::string_view piece =
                unread.substr(0, pieces.empty() ? unread.size() : pieces[nextPiece++ % pieces.size()]);
            const std::size_t offered = piece.size();
            status = reader.put(&piece);
            unread.remove_prefix(offered - piece.size());
            checkCount(pool, reader);
        }
    }
    if (pool.total != 0 || pool.published.load() != 0)
        std::abort();
    return 0;
}
