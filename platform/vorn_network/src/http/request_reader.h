// vorn::network::http::detail::RequestReader: reads the requests of one connection of the HTTP server, one
// after the other, from the bytes as reads deliver them, under the server's limits, and counts what it
// holds in the server's HeldBytes. Private to the library.
//
// The connection reads into the room that the reader hands out and tells it how much came:
//
//     RequestReader reader(&pool);
//     RequestReader::Status status = reader.start();
//     while (status == RequestReader::Status::needMore)
//         status = reader.commit(socket.read_some(reader.room()));
//     if (status == RequestReader::Status::done)
//         handle(reader.takeRequest(&keepAlive));  // then start() for the next request of the connection
//
// Rules of use:
// - start() begins each request; the bytes read past the end of the one before are its first bytes, so it
//   may be done at once. takeRequest() hands out a request that is done; bodyTooLarge (answer 413),
//   malformed (answer 400) and overHeldBytes (close) end the connection's reading.
// - After needMore the room is the reader's until commit() says how much of it was filled. put() takes a
//   byte range the same way, a read of at most the room at a time, until the request ends; what follows
//   its end in the last read stays for the next request, the rest of the range is left to the caller.
// - Whatever it holds is counted in the pool, as malloc takes it, before it is allocated: the read buffer
//   and the parsed header's fields on a HeldAllocator, the body's room as it grows. The header and the body
//   go from the count when the request is taken, everything when the reader is released or destroyed. A
//   reader whose next bytes would take the pool past its bound (when the pool could make no room for them)
//   reserves nothing for them and says overHeldBytes.
// - One thread. release() frees the header and the body at once, keeps the read buffer (a read may still
//   be pending into the room) and takes no more bytes; after it the reader no longer touches the pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/buffer.hpp>
#include <boost/beast/core/buffer_traits.hpp>
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/optional/optional.hpp>
#include <boost/system/errc.hpp>
#include <boost/system/error_code.hpp>

#include <vorn/network/http/http_stream_socket_server.h>
#include <vorn/network/http/request_handler.h>

#include "held_bytes.h"

namespace vorn::network::http::detail {

// The room a read of a request's header asks for: a push's header (and often its whole body) comes in one
// such read, and a connection kept alive between requests keeps no more than this.
inline constexpr std::size_t kHeaderReadSize = 1024;

// A request body in a std::string whose room is counted in HeldBytes before it is reserved. Unlike
// Beast's string_body it reserves nothing for the declared length up front, which a peer that declares
// 16 MiB and stalls would have the server hold for nothing: the room grows with what arrives, doubling
// up to the declared length (or kMaxRequestBodySize for a chunked body), so that a body is copied a few
// times at most and one of a declared length ends without room to spare (a body of a few bytes gets the
// string library's smallest room on the heap). A growth that the count refuses fails the parse with
// kOverHeldBytes.
struct HeldBody
{
    struct value_type
    {
        std::string text;
        HeldShare* share = nullptr; //< set before the request is parsed
    };

    class reader
    {
    public:
        template <bool isRequest, class Fields>
        reader(boost::beast::http::header<isRequest, Fields>&, value_type& body)
            : m_body(body)
        {}

        void init(const boost::optional<std::uint64_t>& length, boost::system::error_code& error)
        {
            // The parser refuses a declared length above its body limit before this.
            m_limit = length ? static_cast<std::size_t>(*length) : HttpStreamSocketServer::kMaxRequestBodySize;
            error = {};
        }

        template <class ConstBufferSequence>
        std::size_t put(const ConstBufferSequence& buffers, boost::system::error_code& error)
        {
            const std::size_t incoming = boost::beast::buffer_bytes(buffers);
            const std::size_t needed = m_body.text.size() + incoming;
            if (needed > m_body.text.capacity() && !grow(needed)) {
                error = kOverHeldBytes;
                return 0;
            }
            for (const auto buffer : boost::beast::buffers_range_ref(buffers))
                m_body.text.append(static_cast<const char*>(buffer.data()), buffer.size());
            error = {};
            return incoming;
        }

        void finish(boost::system::error_code& error) { error = {}; }

    private:
        bool grow(std::size_t needed);

        value_type& m_body;
        std::size_t m_limit = HttpStreamSocketServer::kMaxRequestBodySize;
    };

    // What a body's growth fails with when the count refuses it.
    static inline const boost::system::error_code kOverHeldBytes =
        boost::system::errc::make_error_code(boost::system::errc::not_enough_memory);
};

class RequestReader
{
public:
    enum class Status {
        needMore,      //< read into room(), then commit()
        done,          //< the request is complete: takeRequest()
        bodyTooLarge,  //< the body passes HttpStreamSocketServer::kMaxRequestBodySize: answer 413
        malformed,     //< no HTTP request, or a header, chunk size line or trailer above kMaxHeaderSize: 400
        overHeldBytes, //< the next bytes would take the pool past its bound: close without an answer
    };

    // `pool` and `account` (what the connection holds; none for a reader of its own) are not owned; see
    // the rules above for how long they must live.
    explicit RequestReader(HeldBytes* pool, HeldAccount* account = nullptr);
    ~RequestReader();

    RequestReader(const RequestReader&) = delete;
    RequestReader& operator=(const RequestReader&) = delete;

    // Bytes of the next request read already (sent right behind the last one).
    bool hasBufferedBytes() const;

    // Begins the next request with the bytes read already. A kept connection that has none holds no more
    // than kHeaderReadSize while it waits.
    Status start();
    // After needMore: where the next read goes, counted already.
    boost::asio::mutable_buffer room() const;
    // The next read put `size` bytes at the front of room().
    Status commit(std::size_t size);
    // Takes from the front of `*bytes` as reads into room() would, until the request ends, and removes what
    // it took.
    Status put(std::string_view* bytes);

    // After done: the request, without its peer; `keepAlive` tells whether the client keeps the connection.
    // Its header and body leave the count.
    RequestContext takeRequest(bool* keepAlive);

    // The connection closes: everything leaves the count, the memory stays until the reader is destroyed.
    void release();

    // What the reader holds now, read from its buffers as malloc takes them: the read buffer's room, the
    // header's fields and the body's room. Until release(), the count in the pool says the same.
    std::size_t heldBytes() const;

private:
    using Fields = boost::beast::http::basic_fields<HeldAllocator<char>>;
    using Parser = boost::beast::http::parser<true, HeldBody, HeldAllocator<char>>;

    Status parse();
    Status prepareRoom();

    // Before the buffers they count, which free their blocks into them.
    HeldShare m_bufferShare; //< the read buffer's blocks
    HeldShare m_headerShare; //< the parsed header's fields until the request is taken
    HeldShare m_bodyShare;   //< the body's room until then
    // The bytes read and not parsed yet.
    boost::beast::basic_flat_buffer<HeldAllocator<char>> m_buffer;
    std::optional<Parser> m_parser;
    boost::asio::mutable_buffer m_room;
    // Of the last step; overHeldBytes after release(), so that no more bytes are taken.
    Status m_status = Status::needMore;
};

} // namespace vorn::network::http::detail
