// What the HTTP servers hold for requests not yet complete, counted as it is allocated. Private to the
// library.
//
// - ProcessHeldBytes: the count of every server of the process beyond what each keeps for itself.
// - HeldBytes: the count of one server, bounded on its own and within the process's count.
// - HeldAccount: what one connection, and one peer address, holds of it.
// - HeldShare: one holder's part (a connection's read buffer, its parsed header, its body), and
//   HeldAllocator, which counts what a container allocates in a share before it allocates it.
//
// A holder counts its bytes before it reserves them, and reserves nothing that the count refused:
//
//     HeldShare share{&pool, &connectionAccount};
//     if (!share.resize(allocationFootprint(room)))
//         return close();           // the bytes would take a count past its bound
//     buffer.reserve(room);
//     ...
//     share.release();              // the holder lets go of its bytes, or hands them on
//
// Rules of use:
// - A server's count, its shares and accounts live on one thread (the server's); `published` is a copy for
//   other threads. The process's count is shared by the servers' threads.
// - Bytes are counted as malloc takes them (allocationFootprint()), so that the bound is one of memory.
// - When a growth would pass a bound, the count asks its owner to make room (`makeRoom`): the server closes
//   a stalled holder of another peer address that holds more than the one that asks. Only when no such
//   holder is left is the growth refused.
// - The pool outlives every share that holds bytes. A share at 0 does not touch the pool, and a share
//   that was released for good (detach()) never again does, so a holder whose bytes went back (a closed
//   connection) may be destroyed after it.
// - Bodies above HttpStreamSocketServer::kMaxSmallBodySize count against largeBodyBound, which leaves
//   kHeldBytesKeptForSmallRequests of the bound (all of a bound smaller than that) to the rest.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <new>

#include <vorn/network/http/http_stream_socket_server.h>

namespace vorn::network::http::detail {

// What glibc's malloc takes for a block of `size` bytes: the block with its header, aligned to 16 bytes and
// at least 32, or whole pages for a block it maps on its own (from 128 KiB).
inline constexpr std::size_t kMallocMapsFrom = 128 * 1024;
inline constexpr std::size_t kMallocPage = 4096;
constexpr std::size_t allocationFootprint(std::size_t size)
{
    if (size >= kMallocMapsFrom)
        return (size + 16 + kMallocPage - 1) / kMallocPage * kMallocPage;
    return std::max<std::size_t>(32, (size + 8 + 15) / 16 * 16);
}

// The largest block whose footprint is within `footprint`; 0 when none is.
constexpr std::size_t largestBlockWithin(std::size_t footprint)
{
    const std::size_t mapped = footprint / kMallocPage * kMallocPage;
    if (mapped >= 16 && mapped - 16 >= kMallocMapsFrom)
        return mapped - 16;
    const std::size_t small = footprint / 16 * 16;
    return small >= 32 ? std::min(small - 8, kMallocMapsFrom - 1) : 0;
}

// The count of every server of the process beyond HttpStreamSocketServer::kHeldBytesKeptPerServer of each.
class ProcessHeldBytes
{
public:
    constexpr explicit ProcessHeldBytes(std::size_t bound)
        : m_bound(bound)
    {}

    ProcessHeldBytes(const ProcessHeldBytes&) = delete;
    ProcessHeldBytes& operator=(const ProcessHeldBytes&) = delete;

    // The one every server counts in by default, bounded at kMaxProcessHeldRequestBytes.
    static ProcessHeldBytes& shared();

    // False, and nothing changes, when `bytes` more would take the count past its bound.
    bool tryAdd(std::size_t bytes)
    {
        std::size_t total = m_total.load(std::memory_order_relaxed);
        do {
            if (bytes > m_bound - std::min(total, m_bound))
                return false;
        } while (!m_total.compare_exchange_weak(total, total + bytes, std::memory_order_relaxed));
        return true;
    }
    void remove(std::size_t bytes) { m_total.fetch_sub(bytes, std::memory_order_relaxed); }

    std::size_t left() const
    {
        const std::size_t total = m_total.load(std::memory_order_relaxed);
        return m_bound - std::min(total, m_bound);
    }
    std::size_t total() const { return m_total.load(std::memory_order_relaxed); }

private:
    const std::size_t m_bound;
    std::atomic<std::size_t> m_total{0};
};

// What one holder (a connection) holds, added up into its parent (the peer address it came from).
struct HeldAccount
{
    std::size_t bytes = 0;
    HeldAccount* parent = nullptr;

    void add(std::size_t added, std::size_t removed)
    {
        for (HeldAccount* account = this; account; account = account->parent)
            account->bytes = account->bytes + added - removed;
    }
};

struct HeldBytes
{
    // `process`: the count of the process that the bytes beyond `keptFromProcess` go to as well; none for a
    // count of its own.
    explicit HeldBytes(std::size_t bound = HttpStreamSocketServer::kMaxHeldRequestBytes,
                       ProcessHeldBytes* process = nullptr,
                       std::size_t keptFromProcess = HttpStreamSocketServer::kHeldBytesKeptPerServer)
        : bound(bound)
        , largeBodyBound(bound - std::min(bound, HttpStreamSocketServer::kHeldBytesKeptForSmallRequests))
        , process(process)
        , keptFromProcess(keptFromProcess)
    {}

    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;

    ~HeldBytes()
    {
        if (process)
            process->remove(beyondKept(total));
    }

    // What every holder together may hold.
    const std::size_t bound;
    // What a body's room beyond kMaxSmallBodySize counts against: the bound less what it keeps for others.
    const std::size_t largeBodyBound;
    ProcessHeldBytes* const process;
    const std::size_t keptFromProcess;

    std::size_t total = 0;
    std::atomic<std::size_t> published{0};

    // Asked, when `growth` more bytes of `requester` would take a count past its bound, to free bytes of
    // other holders; false when it freed none. Called on the count's thread, from within the growth.
    std::function<bool(const HeldAccount* requester, std::size_t growth)> makeRoom;

    // Moves `share` to `bytes`: false, and nothing changes, when that would take the total past `limit` (or
    // the process's count past its bound) and no room could be made.
    bool resize(std::size_t* share, HeldAccount* account, std::size_t bytes, std::size_t limit)
    {
        // A share that stays as it is is checked too: a body's room may pass into another class (a large
        // body's) without a byte more.
        while (bytes > *share || (bytes == *share && bytes != 0 && total > limit)) {
            const std::size_t next = total - *share + bytes;
            const std::size_t charged = beyondKept(next) - beyondKept(total);
            if (next <= limit && (!process || charged == 0 || process->tryAdd(charged)))
                break;
            // Whatever it frees goes from the total and from `*share` of no one but others: read them anew.
            if (!makeRoom || !makeRoom(account, bytes - *share))
                return false;
        }
        if (process && bytes < *share)
            process->remove(beyondKept(total) - beyondKept(total - *share + bytes));
        if (account)
            account->add(bytes, *share);
        total = total - *share + bytes;
        *share = bytes;
        published.store(total, std::memory_order_relaxed);
        return true;
    }

    // The most that a share of `share` bytes may grow to under `limit` without making room.
    std::size_t mostFor(std::size_t share, std::size_t limit) const
    {
        std::size_t left = total >= limit ? 0 : limit - total;
        if (process)
            left = std::min(left, process->left() + (keptFromProcess - std::min(total, keptFromProcess)));
        return share + left;
    }

private:
    std::size_t beyondKept(std::size_t bytes) const { return bytes - std::min(bytes, keptFromProcess); }
};

// One holder's part of HeldBytes.
struct HeldShare
{
    HeldBytes* pool = nullptr;
    HeldAccount* account = nullptr;
    std::size_t bytes = 0;

    // `limit`: the pool's bound, or its largeBodyBound for the room of a large body.
    bool resize(std::size_t newBytes) { return resize(newBytes, pool ? pool->bound : 0); }
    bool resize(std::size_t newBytes, std::size_t limit)
    {
        if (!pool) // released for good: nothing is counted any more
            return newBytes <= bytes;
        return pool->resize(&bytes, account, newBytes, limit);
    }
    std::size_t most(std::size_t limit) const { return pool ? pool->mostFor(bytes, limit) : bytes; }
    void release()
    {
        if (bytes != 0 && pool)
            resize(0);
    }
    // Releases the bytes and leaves the pool for good: what is allocated or freed later is not counted.
    void detach()
    {
        release();
        pool = nullptr;
        account = nullptr;
    }
};

// What HeldAllocator throws when the count refuses an allocation; the reader catches it.
struct HeldBytesRefused : std::bad_alloc
{
    const char* what() const noexcept override { return "the held bytes would pass their bound"; }
};

// An allocator that counts each block in a HeldShare before it allocates it and throws HeldBytesRefused
// when the count refuses. The share outlives every block (a detached one counts nothing).
template <typename T>
struct HeldAllocator
{
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    HeldShare* share = nullptr;

    HeldAllocator() = default;
    explicit HeldAllocator(HeldShare* share)
        : share(share)
    {}
    template <typename U>
    HeldAllocator(const HeldAllocator<U>& other)
        : share(other.share)
    {}

    T* allocate(std::size_t count)
    {
        const std::size_t size = count * sizeof(T);
        if (share && !share->resize(share->bytes + allocationFootprint(size)))
            throw HeldBytesRefused();
        return static_cast<T*>(::operator new(size));
    }

    void deallocate(T* block, std::size_t count) noexcept
    {
        // Counted off before the block goes: nothing runs after the free that the optimiser could take for
        // a use of it.
        if (share && share->pool) {
            const std::size_t footprint = allocationFootprint(count * sizeof(T));
            share->resize(share->bytes - std::min(share->bytes, footprint));
        }
        ::operator delete(block);
    }

    template <typename U>
    bool operator==(const HeldAllocator<U>& other) const
    {
        return share == other.share;
    }
};

} // namespace vorn::network::http::detail
