// HTTP Digest (RFC 2617, MD5 and MD5-sess, qop "auth" or none) and Basic authentication: computing the
// answer to a challenge and writing it as an "Authorization" header value.
//
//     std::map<std::string, std::string> answer;
//     if (calcDigestResponse("GET", "admin", password, std::nullopt, "/cgi-bin/a.cgi", challenge, &answer))
//         request.set("Authorization", makeDigestAuthorization(answer));
//
// The same answer parameters serve other transports too: a camera's TCP registration carries them as JSON
// members (all but "username" there).
#pragma once

#include <map>
#include <optional>
#include <string>

#include <vorn/network/http/credentials.h>

namespace vorn::network::http {

// Computes the answer to a Digest challenge.
//
// `challenge` holds the challenge parameters by lower-case name: "nonce" (required), "realm", "qop" (a
// comma-separated list; "auth" is chosen when offered), "algorithm" ("MD5" when absent, or "MD5-sess"),
// "opaque". It may also hold "cnonce" and "nc" to use instead of a fresh random client nonce and "00000001".
// Either the password or the precomputed MD5(user:realm:password) in hex (`ha1`) must be given.
//
// On success fills *answer with "username", "realm", "nonce", "uri", "response", and, as they apply,
// "algorithm", "opaque", "qop", "nc", "cnonce"; returns true. Returns false, with *answer empty, when there is
// no nonce, no password or hash, an unknown algorithm, or a qop list without "auth".
bool calcDigestResponse(const std::string& method, const std::string& userName,
                        const std::optional<std::string>& userPassword, const std::optional<std::string>& ha1,
                        const std::string& uri, const std::map<std::string, std::string>& challenge,
                        std::map<std::string, std::string>* answer);

// The "Authorization" header value for an answer of calcDigestResponse: "Digest username="...", ...".
std::string makeDigestAuthorization(const std::map<std::string, std::string>& answer);

// The "Authorization" header value for Basic authentication: "Basic " and base64 of "user:password".
std::string makeBasicAuthorization(const Credentials& credentials);

} // namespace vorn::network::http
