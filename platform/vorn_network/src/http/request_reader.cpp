#include "request_reader.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include <QtCore/QByteArray>
#include <QtCore/QUrl>

#include <boost/beast/http/error.hpp>

#include "request_support.h"

namespace vorn::network::http::detail {

namespace bhttp = boost::beast::http;
using boost::system::error_code;

namespace {

// The smallest room a body gets: below it a growth would cost more than it saves.
constexpr std::size_t kMinBodyRoom = 64;
// What a std::string holds within itself, on no heap memory. The library makes a first room on the heap at
// least twice this, rounding a smaller one up.
const std::size_t kInPlaceRoom = std::string().capacity();
// What a body's room of `capacity` takes on the heap: none while it is the string's in-place room.
std::size_t bodyFootprint(std::size_t capacity)
{
    return capacity > kInPlaceRoom ? allocationFootprint(capacity + 1) : 0;
}

std::string decodedPath(const std::string& target)
{
    const std::string::size_type query = target.find('?');
    const std::string rawPath = target.substr(0, query);
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(rawPath), QUrl::TolerantMode);
    const QString path = url.path(QUrl::FullyDecoded);
    return path.isEmpty() ? rawPath : path.toStdString();
}

RequestReader::Status statusOf(const error_code& error)
{
    if (error == bhttp::error::body_limit)
        return RequestReader::Status::bodyTooLarge;
    const bool malformed = error.category() == bhttp::make_error_code(bhttp::error::bad_target).category() &&
                           error != bhttp::error::end_of_stream && error != bhttp::error::partial_message;
    // What remains is a body's growth that the count refused.
    return malformed ? RequestReader::Status::malformed : RequestReader::Status::overHeldBytes;
}

} // namespace

bool HeldBody::reader::grow(std::size_t needed)
{
    // Doubled, but a small body stays within kMaxSmallBodySize while it can; a larger one counts against
    // what large bodies may hold.
    std::size_t room = std::min(m_limit, std::max(2 * m_body.text.capacity(), kMinBodyRoom));
    if (needed <= HttpStreamSocketServer::kMaxSmallBodySize)
        room = std::min(room, HttpStreamSocketServer::kMaxSmallBodySize);
    room = std::max(room, needed);
    const std::size_t limit = room > HttpStreamSocketServer::kMaxSmallBodySize ? m_body.share->pool->largeBodyBound
                                                                               : m_body.share->pool->bound;
    // Where the count has less left than that, all it has left, so that a body near the bound is not copied
    // again for every read.
    const std::size_t most = largestBlockWithin(m_body.share->most(limit));
    room = std::max(needed, std::min(room, most > 0 ? most - 1 : 0));
    // Counted as the library will make it: a room below twice the in-place one comes rounded up.
    room = std::max(room, 2 * kInPlaceRoom);
    if (!m_body.share->resize(bodyFootprint(room), limit))
        return false;
    {
        // Into a new string: reserve() on the old one may round the room up to twice its capacity. The old
        // room is gone at the end of this block, within the step.
        std::string grown;
        grown.reserve(room);
        grown.append(m_body.text);
        m_body.text.swap(grown);
    }
    // What the library made of it: the same, as the room was rounded up as the library does.
    m_body.share->resize(bodyFootprint(m_body.text.capacity()), limit);
    return true;
}

RequestReader::RequestReader(HeldBytes* pool, HeldAccount* account)
    : m_bufferShare{pool, account}
    , m_headerShare{pool, account}
    , m_bodyShare{pool, account}
    , m_buffer(HeldAllocator<char>(&m_bufferShare))
{}

RequestReader::~RequestReader()
{
    release();
}

bool RequestReader::hasBufferedBytes() const
{
    return m_buffer.size() > 0;
}

RequestReader::Status RequestReader::start()
{
    // A request that was not taken leaves the count with its parser.
    m_parser.reset();
    m_bodyShare.release();
    // A kept connection holds no room of a large request while it waits.
    if (m_buffer.size() == 0 && m_buffer.capacity() > kHeaderReadSize)
        m_buffer.shrink_to_fit();
    m_parser.emplace(std::piecewise_construct, std::make_tuple(), std::make_tuple(HeldAllocator<char>(&m_headerShare)));
    m_parser->header_limit(static_cast<std::uint32_t>(HttpStreamSocketServer::kMaxHeaderSize));
    m_parser->body_limit(static_cast<std::uint64_t>(HttpStreamSocketServer::kMaxRequestBodySize));
    m_parser->eager(true);
    m_parser->get().body().share = &m_bodyShare;
    return m_status = parse();
}

boost::asio::mutable_buffer RequestReader::room() const
{
    return m_room;
}

RequestReader::Status RequestReader::commit(std::size_t size)
{
    if (m_status != Status::needMore)
        return m_status;
    m_buffer.commit(size);
    m_room = {};
    return m_status = parse();
}

RequestReader::Status RequestReader::put(std::string_view* bytes)
{
    while (!bytes->empty() && m_status == Status::needMore) {
        const std::size_t size = std::min(m_room.size(), bytes->size());
        std::memcpy(m_room.data(), bytes->data(), size);
        bytes->remove_prefix(size);
        commit(size);
    }
    return m_status;
}

RequestReader::Status RequestReader::parse()
{
    Parser& parser = *m_parser;
    error_code error;
    try {
        while (m_buffer.size() > 0 && !parser.is_done()) {
            const std::size_t used = parser.put(m_buffer.data(), error);
            m_buffer.consume(used);
            if (error == bhttp::error::need_more)
                error = {};
            if (error || used == 0)
                break;
        }
    } catch (const HeldBytesRefused&) {
        // A header field the count refused: the parser is left where it stood, and so is the connection.
        return Status::overHeldBytes;
    }
    if (error)
        return statusOf(error);
    if (parser.is_done())
        return Status::done;
    // Past a whole header the parser leaves unparsed only the start of a chunk's size line or of the
    // trailer, which Beast does not bound: held to the header's limit, or one peer could fill the count
    // with them, the part kept for small requests included.
    if (parser.is_header_done() && m_buffer.size() > HttpStreamSocketServer::kMaxHeaderSize)
        return Status::malformed;
    return prepareRoom();
}

RequestReader::Status RequestReader::prepareRoom()
{
    std::size_t room = kHeaderReadSize;
    if (m_parser->is_header_done()) {
        room = kReadBufferSize;
        if (const auto remaining = m_parser->content_length_remaining())
            room = static_cast<std::size_t>(std::clamp<std::uint64_t>(*remaining, 1, room));
    }
    try {
        m_room = m_buffer.prepare(room);
    } catch (const HeldBytesRefused&) {
        return Status::overHeldBytes;
    }
    return Status::needMore;
}

RequestContext RequestReader::takeRequest(bool* keepAlive)
{
    *keepAlive = false;
    if (m_status != Status::done || !m_parser)
        return {};
    // From here the request is the caller's: no longer one the server holds unfinished. Its fields leave
    // the count as they are freed, at the end of this.
    bhttp::request<HeldBody, Fields> message = m_parser->release();
    m_parser.reset();
    m_bodyShare.release();
    *keepAlive = message.keep_alive();
    RequestContext request;
    request.method = std::string(message.method_string());
    request.target = std::string(message.target());
    request.path = decodedPath(request.target);
    for (const auto& field : message)
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    request.body = std::move(message.body().text);
    return request;
}

void RequestReader::release()
{
    m_parser.reset(); // no read goes into the header or the body
    m_bufferShare.detach();
    m_headerShare.detach();
    m_bodyShare.detach();
    m_status = Status::overHeldBytes;
}

std::size_t RequestReader::heldBytes() const
{
    const std::size_t body = m_parser ? bodyFootprint(m_parser->get().body().text.capacity()) : 0;
    const std::size_t buffer = m_buffer.capacity() > 0 ? allocationFootprint(m_buffer.capacity()) : 0;
    // Beast's fields keep no measure of their blocks: what their allocator counted.
    return buffer + m_headerShare.bytes + body;
}

} // namespace vorn::network::http::detail
