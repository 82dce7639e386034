// The HTTP server's reading of requests, without a socket: the bytes fed as reads would deliver them.
#include "../src/http/request_reader.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <vorn/network/http/http_stream_socket_server.h>

#include "allocation_trace.h"

namespace vorn::network::http::detail {

void PrintTo(RequestReader::Status status, std::ostream* out)
{
    static const char* const names[] = {"needMore", "done", "bodyTooLarge", "malformed", "overHeldBytes"};
    *out << names[static_cast<int>(status)];
}

namespace {

using Status = RequestReader::Status;
using Headers = std::vector<std::pair<std::string, std::string>>;

constexpr std::size_t kCap = HttpStreamSocketServer::kMaxRequestBodySize;

// A reader over its own pool, fed in pieces.
struct Feed
{
    explicit Feed(std::size_t bound = HttpStreamSocketServer::kMaxHeldRequestBytes)
        : pool(bound)
        , reader(std::make_unique<RequestReader>(&pool))
        , status(reader->start())
    {}

    // Feeds `bytes` cut at `cuts` (offsets into it, ascending) until the request ends.
    Status put(std::string_view bytes, const std::vector<std::size_t>& cuts = {})
    {
        std::size_t begin = 0;
        for (std::size_t end : cuts) {
            std::string_view piece = bytes.substr(begin, end - begin);
            status = reader->put(&piece);
            begin = end;
        }
        std::string_view rest = bytes.substr(begin);
        return status = reader->put(&rest);
    }

    HeldBytes pool;
    std::unique_ptr<RequestReader> reader;
    Status status;
};

// The header of a POST that declares a body of `length` bytes, with `extra` fields.
std::string postHeader(const std::string& target, std::size_t length, const std::string& extra = {})
{
    return "POST " + target + " HTTP/1.1\r\nHost: camera\r\nContent-Length: " + std::to_string(length) + "\r\n" +
           extra + "\r\n";
}

std::string post(const std::string& target, const std::string& body, const std::string& extra = {})
{
    return postHeader(target, body.size(), extra) + body;
}

TEST(RequestReader, ARequestInOnePieceOrSplitAtEveryByteIsTheSame)
{
    const std::string alarm = R"({"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":1700000000}})";
    // Longer than a header read: it comes in several reads, and its room grows.
    const std::string pictures(3000, 'p');
    struct Row
    {
        const char* name;
        std::string bytes;
        std::string method;
        std::string target;
        std::string path;
        Headers headers;
        std::string body;
        bool keepAlive;
    };
    const std::vector<Row> rows = {
        {"alarm push", post("/LAPI/V1.0/System/Event/Notification/Alarm", alarm, "Content-Type: application/json\r\n"),
         "POST", "/LAPI/V1.0/System/Event/Notification/Alarm", "/LAPI/V1.0/System/Event/Notification/Alarm",
         Headers{{"Host", "camera"},
                 {"Content-Length", std::to_string(alarm.size())},
                 {"Content-Type", "application/json"}},
         alarm, true},
        {"body longer than a header read", post("/push", pictures), "POST", "/push", "/push",
         Headers{{"Host", "camera"}, {"Content-Length", "3000"}}, pictures, true},
        {"encoded path with a query, connection closed", post("/a%20b/%41larm?x=%41", "{}", "Connection: close\r\n"),
         "POST", "/a%20b/%41larm?x=%41", "/a b/Alarm",
         Headers{{"Host", "camera"}, {"Content-Length", "2"}, {"Connection", "close"}}, "{}", false},
        {"chunked body",
         "POST /push HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6;x=y\r\n world\r\n0\r\n\r\n", "POST",
         "/push", "/push", Headers{{"Transfer-Encoding", "chunked"}}, "hello world", true},
        {"GET of HTTP/1.0, no body", "GET /probe HTTP/1.0\r\n\r\n", "GET", "/probe", "/probe", Headers{}, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Every split in two, then every byte a piece of its own.
        std::vector<std::vector<std::size_t>> splits;
        for (std::size_t cut = 0; cut < row.bytes.size(); ++cut)
            splits.push_back({cut});
        splits.emplace_back();
        for (std::size_t cut = 1; cut < row.bytes.size(); ++cut)
            splits.back().push_back(cut);
        for (const std::vector<std::size_t>& cuts : splits) {
            SCOPED_TRACE(cuts.size() == 1 ? "cut at " + std::to_string(cuts[0]) : "byte by byte");
            Feed feed;
            ASSERT_EQ(feed.put(row.bytes, cuts), Status::done);
            const std::size_t held = feed.pool.total;
            bool keepAlive = !row.keepAlive;
            const RequestContext request = feed.reader->takeRequest(&keepAlive);
            ASSERT_EQ(request.method, row.method);
            ASSERT_EQ(request.target, row.target);
            ASSERT_EQ(request.path, row.path);
            ASSERT_EQ(request.headers, row.headers);
            ASSERT_EQ(request.body, row.body);
            ASSERT_EQ(keepAlive, row.keepAlive);
            ASSERT_EQ(feed.pool.total, feed.reader->heldBytes()) << "the count is not what the reader holds";
            ASSERT_LT(feed.pool.total, held) << "the header stayed in the count";
            feed.reader.reset();
            ASSERT_EQ(feed.pool.total, 0u);
            ASSERT_EQ(feed.pool.published.load(), 0u);
        }
    }
}

TEST(RequestReader, BytesPastARequestBeginTheNextAndAKeptReaderShrinksItsBuffer)
{
    Feed feed;
    // Both come in one read.
    ASSERT_EQ(feed.put(post("/first", "{}") + post("/second", "[]")), Status::done);
    bool keepAlive = false;
    EXPECT_EQ(feed.reader->takeRequest(&keepAlive).target, "/first");
    EXPECT_TRUE(feed.reader->hasBufferedBytes());
    ASSERT_EQ(feed.reader->start(), Status::done) << "the second request was lost";
    const RequestContext second = feed.reader->takeRequest(&keepAlive);
    EXPECT_EQ(second.target, "/second");
    EXPECT_EQ(second.body, "[]");

    // A body's reads stop at its end: the request behind it stays with the caller.
    const std::string large(100 * 1024, 'l');
    const std::string fourth = post("/fourth", "{}");
    const std::string bytes = post("/third", large) + fourth;
    std::string_view rest = bytes;
    ASSERT_EQ(feed.reader->start(), Status::needMore);
    ASSERT_EQ(feed.reader->put(&rest), Status::done);
    EXPECT_EQ(rest, fourth);
    EXPECT_EQ(feed.reader->takeRequest(&keepAlive).body, large);
    EXPECT_GT(feed.pool.total, large.size() / 2) << "no large read buffer: nothing shows the shrink";

    // Waiting for the next request, the reader holds no more than a header read, not the large one's room.
    EXPECT_FALSE(feed.reader->hasBufferedBytes());
    ASSERT_EQ(feed.reader->start(), Status::needMore);
    EXPECT_EQ(feed.reader->room().size(), kHeaderReadSize);
    EXPECT_EQ(feed.pool.total, allocationFootprint(kHeaderReadSize));
    EXPECT_EQ(feed.pool.total, feed.reader->heldBytes());
}

TEST(RequestReader, RefusedRequests)
{
    // A request whose fields, with the blank line after them, take `size` bytes.
    const auto withFieldsOf = [](std::size_t size) {
        return "POST /push HTTP/1.1\r\nX: " + std::string(size - 7, 'h') + "\r\n\r\n";
    };
    const std::string chunked = "POST /push HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    struct Row
    {
        const char* name;
        std::string bytes;
        Status status;
    };
    const std::vector<Row> rows = {
        {"declared length at the cap waits for the body", postHeader("/push", kCap), Status::needMore},
        {"declared length one past the cap", postHeader("/push", kCap + 1), Status::bodyTooLarge},
        {"a chunk at the cap waits for its bytes", chunked + "1000000\r\nabc", Status::needMore},
        {"a chunk one past the cap", chunked + "1000001\r\nabc", Status::bodyTooLarge},
        {"fields at the header limit", withFieldsOf(HttpStreamSocketServer::kMaxHeaderSize), Status::done},
        {"fields one byte past it", withFieldsOf(HttpStreamSocketServer::kMaxHeaderSize + 1), Status::malformed},
        // Beast leaves these two unbounded: they are held to the header's limit.
        {"a chunk's size line at the header limit waits",
         chunked + "5;" + std::string(HttpStreamSocketServer::kMaxHeaderSize - 2, 'e'), Status::needMore},
        {"a chunk's size line one byte past it",
         chunked + "5;" + std::string(HttpStreamSocketServer::kMaxHeaderSize - 1, 'e'), Status::malformed},
        {"a trailer past the header limit",
         chunked + "0\r\nX: " + std::string(HttpStreamSocketServer::kMaxHeaderSize, 't'), Status::malformed},
        {"no HTTP", "\x16\x03\x01\x02 hello\r\n\r\n", Status::malformed},
        {"two lengths", post("/push", "{}", "Content-Length: 3\r\n"), Status::malformed},
        {"length and chunks", post("/push", "{}", "Transfer-Encoding: chunked\r\n"), Status::malformed},
        {"bad chunk size", chunked + "zz\r\n", Status::malformed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Feed feed;
        EXPECT_EQ(feed.put(row.bytes), row.status);
        EXPECT_EQ(feed.pool.total, feed.reader->heldBytes());
        // A header at its limit comes in a buffer that doubled to hold it; nothing is reserved for what a
        // request declares.
        EXPECT_LE(feed.pool.total, 4 * HttpStreamSocketServer::kMaxHeaderSize);
        feed.reader.reset();
        EXPECT_EQ(feed.pool.total, 0u);
    }
}

TEST(RequestReader, NothingBeyondThePoolsBoundIsHeld)
{
    constexpr std::size_t kKept = HttpStreamSocketServer::kHeldBytesKeptForSmallRequests;
    constexpr std::size_t kSmall = HttpStreamSocketServer::kMaxSmallBodySize;
    struct Row
    {
        const char* name;
        std::size_t bound;
        std::size_t body;
        Status status;
    };
    const std::vector<Row> rows = {
        {"a body within the bound", 8 * 1024, 4 * 1024, Status::done},
        {"a body that would pass it", 8 * 1024, 8 * 1024, Status::overHeldBytes},
        {"a header read that would pass it", 1000, 0, Status::overHeldBytes},
        {"a small body in what large ones leave", kKept + 64 * 1024, kSmall, Status::done},
        {"a large body within what they may take", kKept + 256 * 1024, 128 * 1024, Status::done},
        {"a large body past what they may take", kKept + 64 * 1024, kSmall + 1, Status::overHeldBytes},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Feed feed(row.bound);
        std::size_t mostHeld = feed.reader->heldBytes();
        const std::string bytes = post("/push", std::string(row.body, 'b'));
        // In pieces of a few hundred bytes, as a slow peer sends them.
        for (std::size_t begin = 0; begin < bytes.size() && feed.status == Status::needMore; begin += 300) {
            feed.put(std::string_view(bytes).substr(begin, 300));
            mostHeld = std::max(mostHeld, feed.reader->heldBytes());
            ASSERT_EQ(feed.pool.total, feed.reader->heldBytes());
        }
        EXPECT_EQ(feed.status, row.status);
        EXPECT_LE(mostHeld, row.bound);
        if (row.status == Status::overHeldBytes) {
            EXPECT_EQ(feed.put("more"), Status::overHeldBytes);
            EXPECT_EQ(feed.reader->heldBytes(), feed.pool.total);
        }
        feed.reader.reset();
        EXPECT_EQ(feed.pool.total, 0u);
    }
}

// Every bound from one that leaves nothing past the header read to one that holds the whole request: each
// byte held is counted before it is held, and none past the bound, whatever growth the bound cuts short.
TEST(RequestReader, AtEveryBoundTheCountIsWhatIsHeld)
{
    // 20 bytes: a room that the string library rounds up; 100: one that it does not.
    for (const std::size_t body : {20, 100}) {
        for (std::size_t bound = kHeaderReadSize; bound < kHeaderReadSize + 512; ++bound) {
            SCOPED_TRACE("body of " + std::to_string(body) + " bytes, bound " + std::to_string(bound));
            Feed feed(bound);
            feed.put(post("/push", std::string(body, 'b')));
            ASSERT_EQ(feed.pool.total, feed.reader->heldBytes());
            ASSERT_LE(feed.reader->heldBytes(), bound);
        }
    }
}

// The count is what the reader's blocks take from malloc, whatever holds them: Beast's fields of a header
// of many small fields (each a block of its own, about 80 bytes for a field of a few), the read buffer, a
// body's room, and what a request taken leaves behind.
TEST(RequestReader, TheCountIsWhatTheReaderAllocated)
{
    std::string manyFields = "POST /push HTTP/1.1\r\nContent-Length: 100\r\n";
    for (int i = 0; manyFields.size() + 12 < HttpStreamSocketServer::kMaxHeaderSize; ++i)
        manyFields += "X" + std::to_string(i % 1000) + ": v\r\n";
    manyFields += "\r\n";
    const std::string chunked = "POST /push HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    struct Row
    {
        const char* name;
        std::string bytes;
        Status status;
    };
    const std::vector<Row> rows = {
        {"a header of small fields at the limit, its body not sent", manyFields, Status::needMore},
        {"1 MiB of a body that declares the cap", postHeader("/push", kCap) + std::string(1024 * 1024, 'b'),
         Status::needMore},
        {"a chunked body in its second chunk", chunked + "4000\r\n" + std::string(0x4000, 'c') + "\r\n8000\r\nabc",
         Status::needMore},
        {"a whole request and the start of the next", post("/push", "{}") + "POST /next HTTP/1.1\r\nX: y\r\n",
         Status::done},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HeldBytes pool;
        test::AllocationTrace trace;
        std::optional<RequestReader> reader(std::in_place, &pool);
        Status status = reader->start();
        std::string_view rest = row.bytes;
        while (status == Status::needMore && !rest.empty()) {
            std::string_view piece = rest.substr(0, 1500); // a read of what one TCP segment brings
            const std::size_t offered = piece.size();
            status = reader->put(&piece);
            rest.remove_prefix(offered - piece.size());
        }
        if (status == Status::done) {
            bool keepAlive = false;
            static_cast<void>(reader->takeRequest(&keepAlive)); // the caller's, freed here
            status = reader->start();
            status = reader->put(&rest);
        }
        const test::AllocationTrace::Figures held = trace.live();
        const std::size_t counted = pool.total;
        reader.reset();
        const test::AllocationTrace::Figures left = trace.live();
        trace.stop();

        EXPECT_EQ(status, Status::needMore);
        EXPECT_GT(held.blocks, 0);
        EXPECT_EQ(static_cast<std::int64_t>(counted), held.footprint)
            << held.blocks << " blocks, " << held.bytes << " bytes";
        EXPECT_EQ(left.blocks, 0) << "the reader left blocks behind";
        EXPECT_EQ(pool.total, 0u);
    }
}

} // namespace
} // namespace vorn::network::http::detail
