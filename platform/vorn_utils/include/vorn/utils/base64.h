// vorn::utils::fromBase64: decodes Base64 text (RFC 4648, standard alphabet) into a caller's buffer.
//
//     const std::int64_t size = vorn::utils::fromBase64(text, nullptr);    // -1: not Base64
//     std::vector<char> bytes(size);
//     bytes.resize(vorn::utils::fromBase64(text, bytes.data()));
//
// The text comes from cameras, so it is checked completely: characters outside the alphabet, padding
// anywhere but at the end, more than two padding characters or a length that leaves a single stray
// character make it invalid. Ask for the size first (null output): a valid answer is exactly what the
// second call writes, and nothing is ever written past it. Blanks, tabs and line breaks between the
// characters are skipped (cameras break long pictures into lines). Missing padding is accepted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorn::utils {

// The number of decoded bytes, or -1 when the text is not valid Base64. With a null `output` nothing is
// written and the number is what the buffer needs; otherwise `output` must hold that many bytes.
std::int64_t fromBase64(std::string_view text, char* output);

// The standard encoding with padding; for tests and tools that build camera data.
std::string toBase64(std::string_view bytes);

} // namespace vorn::utils
