// Reading the authentication challenges of a "WWW-Authenticate" header.
//
// Plain functions over the header text: they never read past it, never throw on bad input, and return
// false for text that does not follow the header's grammar, so a peer's bytes can go straight in:
//
//     std::map<std::string, std::string> challenge;
//     if (parseDigestChallenge(headerValue, &challenge))
//         calcDigestResponse("GET", user, password, std::nullopt, uri, challenge, &answer);
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::network::http {

struct AuthChallenge
{
    std::string scheme;                        //< As sent ("Digest", "Basic"); compare without letter case.
    std::map<std::string, std::string> params; //< Names in lower case; values unquoted and unescaped.
    std::string token68;                       //< The single-token form ("Negotiate abc=="), else empty.
};

// Reads every challenge of one header value ("Basic realm="a", Digest realm="b", nonce="n""), in order.
// A parameter named twice keeps its first value. False, with *challenges unspecified, for malformed text:
// no scheme, an unterminated quoted string, a parameter without a value, a stray character.
bool parseAuthChallenges(std::string_view headerValue, std::vector<AuthChallenge>* challenges);

// The parameters of the first Digest challenge of the header value ("realm", "nonce", "qop", "opaque",
// "algorithm", ...). False when the text is malformed or holds no Digest challenge.
bool parseDigestChallenge(std::string_view headerValue, std::map<std::string, std::string>* params);

} // namespace vorn::network::http
