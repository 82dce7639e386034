// Byte builders of the larkspur benchmarks: frames, chunks and blobs of the camera's wire formats,
// written from the layout tables (not with the product's writers, which are not what is measured).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vorn::bench::larkspur {

inline void appendBigEndian(std::string* bytes, std::uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i)
        bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline void appendLittleEndian(std::string* bytes, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

/** A JSON object of about `size` bytes: {"event":..., "items":[{...}, ...]} with numbered items. */
inline std::string jsonObjectOfSize(std::size_t size)
{
    std::string text = R"({"event":"vcacount","alarm":1,"time":"2024-05-01 10:20:30","items":[)";
    for (int i = 0; text.size() + 64 < size; ++i) {
        if (i != 0)
            text += ',';
        text += R"({"id":)" + std::to_string(i) + R"(,"name":"area)" + std::to_string(i) + R"(","count":)" +
                std::to_string(i * 7 % 1000) + "}";
    }
    text += "]}";
    return text;
}

} // namespace vorn::bench::larkspur
