// vorn::network::http::AuthType: which authentication challenges an HTTP client answers.
//
// A client sends its first request without credentials and answers one 401 challenge of an allowed scheme.
// Restricting the client to Digest keeps the password itself off the wire when a peer (or something
// pretending to be it) asks for Basic.
#pragma once

namespace vorn::network::http {

enum class AuthType {
    basicAndDigest = 0, //< Digest when offered, else Basic.
    digest = 1,         //< Digest only; a Basic challenge stays unanswered.
    basic = 2,          //< Basic only.
};

} // namespace vorn::network::http
