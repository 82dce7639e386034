// HeldBytes, the count of what one HTTP server holds for requests not yet complete, and HeldShare, one
// holder's part of it (a connection's read buffer, its parsed header, its body). Private to the library.
//
// A holder counts its bytes before it reserves them, and reserves nothing that the count refused:
//
//     HeldShare share{&pool};
//     if (!share.resize(room))
//         return close();           // the bytes would take the pool past its bound
//     buffer.reserve(room);
//     ...
//     share.release();              // the holder lets go of its bytes, or hands them on
//
// Rules of use:
// - The count and its shares live on one thread (the server's); `published` is a copy for other threads.
// - The pool outlives every share that holds bytes. A share at 0 does not touch the pool, so a holder
//   whose bytes went back (a closed connection) may be destroyed after it.
// - Bodies above HttpStreamSocketServer::kMaxSmallBodySize count against largeBodyBound, which leaves
//   kHeldBytesKeptForSmallRequests of the bound (all of a bound smaller than that) to the rest.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>

#include <vorn/network/http/http_stream_socket_server.h>

namespace vorn::network::http::detail {

struct HeldBytes
{
    explicit HeldBytes(std::size_t bound = HttpStreamSocketServer::kMaxHeldRequestBytes)
        : bound(bound)
        , largeBodyBound(bound - std::min(bound, HttpStreamSocketServer::kHeldBytesKeptForSmallRequests))
    {}

    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;

    // What every holder together may hold.
    const std::size_t bound;
    // What a body's room beyond kMaxSmallBodySize counts against: the bound less what it keeps for others.
    const std::size_t largeBodyBound;

    std::size_t total = 0;
    std::atomic<std::size_t> published{0};

    // Moves `share` to `bytes`: false, and nothing changes, when that would take the total past `limit`.
    bool resize(std::size_t* share, std::size_t bytes, std::size_t limit)
    {
        if (bytes > mostFor(*share, limit))
            return false;
        total = total - *share + bytes;
        *share = bytes;
        published.store(total, std::memory_order_relaxed);
        return true;
    }

    // The most that a share of `share` bytes may grow to under `limit`.
    std::size_t mostFor(std::size_t share, std::size_t limit) const
    {
        return total >= limit ? share : share + (limit - total);
    }
};

// One holder's part of HeldBytes.
struct HeldShare
{
    HeldBytes* pool = nullptr;
    std::size_t bytes = 0;

    // `limit`: the pool's bound, or its largeBodyBound for the room of a large body.
    bool resize(std::size_t newBytes) { return resize(newBytes, pool->bound); }
    bool resize(std::size_t newBytes, std::size_t limit) { return pool->resize(&bytes, newBytes, limit); }
    std::size_t most(std::size_t limit) const { return pool->mostFor(bytes, limit); }
    void release()
    {
        if (bytes != 0)
            resize(0);
    }
};

} // namespace vorn::network::http::detail
