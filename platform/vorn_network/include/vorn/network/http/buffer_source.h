// vorn::network::http::BufferSource: a request body held in memory, with its content type.
//
//     client.doPost(url, BufferSource("application/json", json.dump()), [this] { onPosted(); });
#pragma once

#include <string>
#include <utility>

namespace vorn::network::http {

struct BufferSource
{
    BufferSource() = default;
    BufferSource(std::string contentType, std::string body)
        : contentType(std::move(contentType))
        , body(std::move(body))
    {}

    std::string contentType;
    std::string body;
};

} // namespace vorn::network::http
